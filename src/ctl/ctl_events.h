#pragma once
// The --json side of zar4ctl: the event objects every command emits on standard output, and
// the two views that turn the engine's questions, notices, errors and progress into them.
// Without --json the sink writes nothing and the views only pass everything on, so the human
// text on standard error stays as it is.

#include "common/message_service.h"
#include "ctl/json_lines.h"
#include "transfer/transfer.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace zar4::ctl {

// Where the event objects go: standard output with --json, nowhere without it. Any command
// (ports too) builds its objects with the functions below and emits them here.
class EventSink {
public:
    explicit EventSink(std::ostream* out) : out_(out) {}
    bool enabled() const { return out_ != nullptr; }
    void emit(const JsonObject& event);

private:
    std::ostream* out_;
};

// {"type":"start","program":"zar4ctl","version":...,"command":...}
JsonObject startEvent(const std::string& command);
// {"type":"result","command":...,"outcome":...,"status":...}; the caller adds the rest.
JsonObject resultEvent(const std::string& command, const std::string& outcome, int status);
// {"type":"error","text":...,"file":...,"port":...,"reason":...}. A message whose second line
// reads "<path>: <reason>" names its file (or, when it is the port, the port) and the reason;
// otherwise file and reason are null. `port` is the port the command talks to ("" for none).
// `device` is the path the port stands for, which a message may name instead.
JsonObject errorEvent(const std::string& message, const std::string& port,
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
class EventMessages : public MessageService {
public:
    EventMessages(MessageService& inner, EventSink& events, std::string port, std::string device)
        : inner_(inner), events_(events), port_(std::move(port)), device_(std::move(device)) {}
    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

private:
    MessageService& inner_;
    EventSink& events_;
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
