#pragma once
// The --json side of zar4ctl: the event objects every command emits on standard output, and
// the two views that turn the engine's questions, notices, errors and progress into them.
// Without --json the sink writes nothing and the views only pass everything on, so the human
// text on standard error stays as it is.

#include "common/message_service.h"
#include "ctl/json_lines.h"
#include "link/serial_link.h"
#include "transfer/transfer.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zar4::ctl {

// The stable `code` of an error event, chosen from the failure's kind (never from its text).
enum class ErrorCode {
    Usage,          // "usage": the command line, or a write nobody agreed to
    File,           // "file": a data file, a picture or a base name's files
    PortOpen,       // "port-open": "Failed to open COM port."
    PortSetting,    // "port-setting": the port refused the rate
    NoResponse,     // "no-response"
    BadReply,       // "bad-reply": "Recieved an invalid communication response."
    Checksum,       // "checksum"
    Nak,            // "nak": the sensor refused the mode request
    ModeNotSecured, // "mode-not-secured"
    ModeRefused,    // "mode-refused"
    WrongModel,     // "wrong-model": the sensor's bank is another model's
    Aborted,        // "aborted": the operator chose to abort at a missing file
    Failed,         // "failed": any other failure
};
const char* errorCodeName(ErrorCode code);
ErrorCode errorCodeFor(LinkFailureKind kind);
// For a transfer's "Error" box; a failure of the line takes the link's kind.
ErrorCode errorCodeFor(TransferFailure why, LinkFailureKind line);

// Where the event objects go: standard output with --json, nowhere without it. Any command
// (ports too) builds its objects with the functions below and emits them here.
class EventSink {
public:
    explicit EventSink(std::ostream* out) : out_(out) {}
    bool enabled() const { return out_ != nullptr; }
    void emit(const JsonObject& event);
    // The code of the next error told through EventMessages, when its teller knows it better
    // than the link does (a transfer that failed on a file).
    void nextErrorCode(ErrorCode code) { nextCode_ = code; }
    std::optional<ErrorCode> takeErrorCode() { return std::exchange(nextCode_, std::nullopt); }

private:
    std::ostream* out_;
    std::optional<ErrorCode> nextCode_;
};

// {"type":"start","program":"zar4ctl","version":...,"command":...}
JsonObject startEvent(const std::string& command);
// {"type":"result","command":...,"outcome":...,"status":...}; the caller adds the rest.
JsonObject resultEvent(const std::string& command, const std::string& outcome, int status);
// {"type":"error","code":...,"text":...,"file":...,"port":...,"reason":...}. A message whose
// second line reads "<path>: <reason>" names its file (or, when it is the port, the port) and
// the reason; the second line of a link failure is its reason whole (where and what to
// check); otherwise file and reason are null. `port` is the port the command talks to ("" for
// none). `device` is the path the port stands for, which a message may name instead.
JsonObject errorEvent(ErrorCode code, const std::string& message, const std::string& port,
                      const std::string& device = "");

// "bank 3 parameters", "common parameters", "bank 3 pattern".
std::string itemName(ItemKind kind, int item);
// {"kind":"parameters"|"pattern","bank":3|null (the common parameters)}, added to `object`.
JsonObject& addItem(JsonObject& object, ItemKind kind, int item);

struct SkippedItem {
    ItemKind kind;
    int item;
    std::string reason;
};

// The questions, notices and errors of a command, passed on to the console and told as
// question, warning and error events.
// An error's code is the one its teller gave the sink, else the kind of the link's failure.
class EventMessages : public MessageService {
public:
    EventMessages(MessageService& inner, EventSink& events, const SerialLink& link,
                  std::string port, std::string device)
        : inner_(inner), events_(events), link_(link), port_(std::move(port)),
          device_(std::move(device)) {}
    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

private:
    MessageService& inner_;
    EventSink& events_;
    const SerialLink& link_;
    std::string port_;
    std::string device_;
};

// A transfer's view for the command line: passes everything to the console's view, keeps the
// files written or sent and the items skipped for the end, and tells progress events (when an
// item starts and at most ten a second in between).
class EventView : public TransferView {
public:
    EventView(TransferView& inner, MessageService& messages, EventSink& events,
              std::int64_t plannedBytes);

    void setStatusText(const std::string& text) override;
    void setItemText(const std::string& text) override;
    void setProgress(int position) override;
    void pump() override { inner_.pump(); }
    StopRequest& stopRequest() override { return inner_.stopRequest(); }
    MessageService& messages() override { return messages_; }
    void wireBytes(int bytes) override;
    void itemStarted(ItemKind kind, int item) override;
    void itemDone(ItemKind kind, int item, const std::string& file) override;
    void itemSkipped(ItemKind kind, int item, const std::string& reason) override;
    void failing(TransferFailure why) override;

    // The last progress event, so that a script sees where the transfer ended.
    void finish() { progress(true); }
    const std::vector<std::string>& files() const { return files_; }
    const std::vector<SkippedItem>& skipped() const { return skipped_; }

private:
    void progress(bool force);

    TransferView& inner_;
    MessageService& messages_;
    EventSink& events_;
    std::int64_t planned_;
    std::int64_t bytes_ = 0;
    std::string status_;
    std::string itemText_;
    bool haveItem_ = false;
    ItemKind kind_ = ItemKind::Parameters;
    int item_ = 0;
    std::chrono::steady_clock::time_point lastEvent_;
    std::vector<std::string> files_;
    std::vector<SkippedItem> skipped_;
};

// The result's list of skipped items: [{"kind":...,"bank":...,"reason":...}].
std::vector<JsonObject> skippedObjects(const std::vector<SkippedItem>& skipped);

} // namespace zar4::ctl
