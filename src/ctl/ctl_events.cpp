#include "ctl/ctl_events.h"

#include "common/version.h"
#include "params/parameter_file.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <ostream>

namespace zar4::ctl {

void EventSink::emit(const JsonObject& event) {
    if (out_)
        writeJsonLine(*out_, event);
}

JsonObject startEvent(const std::string& command) {
    JsonObject event = JsonObject::event("start");
    event.add("program", "zar4ctl").add("version", kProjectVersion).add("command", command);
    return event;
}

JsonObject resultEvent(const std::string& command, const std::string& outcome, int status) {
    JsonObject event = JsonObject::event("result");
    event.add("command", command).add("outcome", outcome).add("status", status);
    return event;
}

const char* errorCodeName(ErrorCode code) {
    switch (code) {
    case ErrorCode::Usage:
        return "usage";
    case ErrorCode::File:
        return "file";
    case ErrorCode::PortOpen:
        return "port-open";
    case ErrorCode::PortSetting:
        return "port-setting";
    case ErrorCode::NoResponse:
        return "no-response";
    case ErrorCode::BadReply:
        return "bad-reply";
    case ErrorCode::Checksum:
        return "checksum";
    case ErrorCode::Nak:
        return "nak";
    case ErrorCode::ModeNotSecured:
        return "mode-not-secured";
    case ErrorCode::ModeRefused:
        return "mode-refused";
    case ErrorCode::WrongModel:
        return "wrong-model";
    case ErrorCode::Aborted:
        return "aborted";
    case ErrorCode::Failed:
        break;
    }
    return "failed";
}

ErrorCode errorCodeFor(LinkFailureKind kind) {
    switch (kind) {
    case LinkFailureKind::OpenFailed:
        return ErrorCode::PortOpen;
    case LinkFailureKind::BaudRateInvalid:
        return ErrorCode::PortSetting;
    case LinkFailureKind::NoResponse:
        return ErrorCode::NoResponse;
    case LinkFailureKind::BadReply:
        return ErrorCode::BadReply;
    case LinkFailureKind::Checksum:
        return ErrorCode::Checksum;
    case LinkFailureKind::Nak:
        return ErrorCode::Nak;
    case LinkFailureKind::ModeNotSecured:
        return ErrorCode::ModeNotSecured;
    case LinkFailureKind::ModeRefused:
        return ErrorCode::ModeRefused;
    case LinkFailureKind::None:
        break;
    }
    return ErrorCode::Failed;
}

ErrorCode errorCodeFor(TransferFailure why, LinkFailureKind line) {
    switch (why) {
    case TransferFailure::Line:
        return errorCodeFor(line);
    case TransferFailure::File:
        return ErrorCode::File;
    case TransferFailure::Model:
        return ErrorCode::WrongModel;
    case TransferFailure::Aborted:
        return ErrorCode::Aborted;
    case TransferFailure::BaseName:
        return ErrorCode::Usage;
    case TransferFailure::None:
        break;
    }
    return ErrorCode::Failed;
}

JsonObject errorEvent(ErrorCode code, const std::string& message, const std::string& port,
                      const std::string& device) {
    JsonObject event = JsonObject::event("error");
    event.add("code", errorCodeName(code));
    auto lineEnd = message.find('\n');
    event.add("text", message.substr(0, lineEnd));
    std::string where, reason;
    // What the sensor's line said names no file: the whole second line is what to check.
    const bool lineFailure = code != ErrorCode::File && code != ErrorCode::PortOpen &&
                             code != ErrorCode::Usage && code != ErrorCode::Failed;
    if (lineEnd != std::string::npos) {
        std::string second = message.substr(lineEnd + 1);
        auto colon = second.find(": ");
        if (lineFailure) {
            reason = second;
        } else if (colon != std::string::npos) {
            where = second.substr(0, colon);
            reason = second.substr(colon + 2);
        } else {
            reason = second;
        }
    }
    if (where.empty() || where == port || where == device)
        event.addNull("file");
    else
        event.add("file", where);
    if (port.empty())
        event.addNull("port");
    else
        event.add("port", port);
    if (reason.empty())
        event.addNull("reason");
    else
        event.add("reason", reason);
    return event;
}

std::string itemName(ItemKind kind, int item) {
    if (kind == ItemKind::Parameters && item == kCommonItem)
        return "common parameters";
    return "bank " + std::to_string(item) +
           (kind == ItemKind::Parameters ? " parameters" : " pattern");
}

JsonObject& addItem(JsonObject& object, ItemKind kind, int item) {
    object.add("kind", kind == ItemKind::Parameters ? "parameters" : "pattern");
    if (kind == ItemKind::Parameters && item == kCommonItem)
        object.addNull("bank");
    else
        object.add("bank", item);
    return object;
}

std::vector<JsonObject> skippedObjects(const std::vector<SkippedItem>& skipped) {
    std::vector<JsonObject> objects;
    for (const auto& s : skipped) {
        JsonObject o;
        addItem(o, s.kind, s.item).add("reason", s.reason);
        objects.push_back(o);
    }
    return objects;
}

BoxAnswer EventMessages::show(const std::string& title, const std::string& text, BoxIcon icon,
                              BoxButtons buttons) {
    BoxAnswer answer = inner_.show(title, text, icon, buttons);
    if (buttons == BoxButtons::YesNo) {
        JsonObject event = JsonObject::event("question");
        event.add("title", title)
            .add("text", text)
            .add("answer", answer == BoxAnswer::Yes ? "yes" : "no");
        events_.emit(event);
    } else if (title == "Error") {
        const ErrorCode code =
            events_.takeErrorCode().value_or(errorCodeFor(link_.lastFailure().kind));
        events_.emit(errorEvent(code, text, port_, device_));
    } else {
        events_.emit(JsonObject::event("warning").add("text", text));
    }
    return answer;
}

EventView::EventView(TransferView& inner, MessageService& messages, EventSink& events,
                     std::int64_t plannedBytes)
    : inner_(inner), messages_(messages), events_(events), planned_(plannedBytes) {}

void EventView::setStatusText(const std::string& text) {
    inner_.setStatusText(text);
    status_ = text;
}

void EventView::setItemText(const std::string& text) {
    inner_.setItemText(text);
    itemText_ = text;
}

void EventView::setProgress(int position) {
    inner_.setProgress(position);
    progress(false);
}

void EventView::wireBytes(int bytes) {
    inner_.wireBytes(bytes);
    bytes_ += bytes;
}

void EventView::itemStarted(ItemKind kind, int item) {
    inner_.itemStarted(kind, item);
    haveItem_ = true;
    kind_ = kind;
    item_ = item;
    itemText_.clear();
    progress(true);
}

void EventView::itemDone(ItemKind kind, int item, const std::string& file) {
    inner_.itemDone(kind, item, file);
    files_.push_back(file);
}

void EventView::itemSkipped(ItemKind kind, int item, const std::string& reason) {
    inner_.itemSkipped(kind, item, reason);
    skipped_.push_back({kind, item, reason});
}

void EventView::failing(TransferFailure why) {
    inner_.failing(why);
    // A failure of the line is told by the link's own kind.
    if (why != TransferFailure::Line)
        events_.nextErrorCode(errorCodeFor(why, LinkFailureKind::None));
}

void EventView::progress(bool force) {
    if (!events_.enabled())
        return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastEvent_ < std::chrono::milliseconds(100))
        return;
    lastEvent_ = now;
    JsonObject event = JsonObject::event("progress");
    event.add("bytes", bytes_).add("planned", std::max(planned_, bytes_)).add("status", status_);
    if (haveItem_)
        addItem(event, kind_, item_);
    else
        event.addNull("kind").addNull("bank");
    event.add("item", itemText_);
    events_.emit(event);
}

} // namespace zar4::ctl
