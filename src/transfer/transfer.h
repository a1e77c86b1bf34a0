#pragma once
// The transfer engine: the read and write sequences, connect and return to run. It owns the
// order of exchanges, the stop request and the outcome; it talks to the operator only through
// a TransferView (the progress window, the command line, the tests).

#include "common/message_service.h"
#include "link/serial_link.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zar4 {

enum class Operation { Read, Write };

struct TransferRequest {
    Operation operation = Operation::Read;
    std::string baseName;
    bool includeParameters = true;
    bool includePatterns = true;
    int firstBank = 0; // a bank b is chosen when firstBank <= b <= lastBank
    int lastBank = 14;
};

enum class StopRequest { None, Cancelled, Declined };

// The two kinds of item a transfer works through: the parameters of a bank (or, as item 15,
// the common parameters) and the pattern of a bank.
enum class ItemKind { Parameters, Pattern };

// What an "Error" box of a transfer tells: a failure of the line (the link keeps its kind), of
// a data file, the sensor's model, the operator's choice to abort, a base name too long.
enum class TransferFailure { None, Line, File, Model, Aborted, BaseName };

class TransferView {
public:
    virtual ~TransferView() = default;
    virtual void setStatusText(const std::string& text) = 0; // control 1051
    virtual void setItemText(const std::string& text) = 0;   // control 1053
    // Moves the progress bar (range 0-512) and makes the window visible.
    virtual void setProgress(int position) = 0;
    // Lets the events that are waiting through (once after every pattern block); a CANCEL
    // click seen here sets the stop request.
    virtual void pump() = 0;
    // The stop request of the transfer this view shows: CANCEL sets Cancelled, a refused
    // overwrite Declined; the transfer that saw it sets it back to None when it ends. A view
    // that passes its work on to another answers with that one's.
    virtual StopRequest& stopRequest() { return stopRequest_; }
    void requestStop(StopRequest request) { stopRequest() = request; }
    // Questions, notices and the "Error" box at the end of a failed transfer.
    virtual MessageService& messages() = 0;
    // Called after sending a command whose reply may take long (the flash write of a pattern
    // half: up to 30 s). A view whose window must stay drawn meanwhile waits here, drawing but
    // taking no input, until `replyArriving()` holds or `timeoutMs` has passed, and returns
    // what is left of `timeoutMs`, within which the engine then reads the reply. By default
    // nothing waits here: the read itself does all the waiting.
    virtual int awaitSlowReply(int timeoutMs, const std::function<bool()>& replyArriving) {
        (void)replyArriving;
        return timeoutMs;
    }
    // Bytes that went over the line in one exchange (the command frame and, when it came, the
    // reply). Only a view that shows a byte count or a rate needs it.
    virtual void wireBytes(int bytes) { (void)bytes; }
    // The item the transfer works on now, told before its first exchange.
    virtual void itemStarted(ItemKind kind, int item) { (void)kind, (void)item; }
    // An item whose file was written (read) or whose data the sensor acknowledged (write).
    virtual void itemDone(ItemKind kind, int item, const std::string& file) {
        (void)kind, (void)item, (void)file;
    }
    // An item left out with the operator's knowledge ("not found"), the transfer going on.
    virtual void itemSkipped(ItemKind kind, int item, const std::string& reason) {
        (void)kind, (void)item, (void)reason;
    }
    // Told just before an "Error" box of the transfer: what kind of failure it tells, for a
    // view that reports failures by kind (the command line's JSON codes).
    virtual void failing(TransferFailure why) { (void)why; }

private:
    StopRequest stopRequest_ = StopRequest::None;
};

// Where the data of a read go instead of the data files: a comparison in memory (verify)
// takes them without any file being written or any overwrite question asked.
class ReadSink {
public:
    virtual ~ReadSink() = default;
    // An item the sink does not want is not asked of the sensor at all.
    virtual bool wants(ItemKind kind, int item) = 0;
    // The item's block as the sensor sent it: 32 words, low byte first.
    virtual void parameterBlock(int item, const std::uint8_t* block) = 0;
    // One block of a pattern in the sensor's words, in the order they arrived.
    virtual void patternWords(int bank, const std::uint16_t* words, int count) = 0;
    // Every block of the bank's pattern has arrived.
    virtual void patternComplete(int bank) = 0;
};

enum class TransferOutcome {
    Failed,      // the "Error" box was shown; the window closes
    Declined,    // the operator refused to overwrite; the window closes at once, no message
    Cancelled,   // status "Aborted."; the window waits for OK
    Completed,   // status "Reading from ZAR4 is completed." / "Writing to ZAR4 is completed."
    NothingDone, // status "No target data for reading out." / "No target data fo writing in."
};

// Runs the whole transfer on `link` (already connected), including its end: the "Error" box
// on failure or the final status text. Sets the progress range's start (position 0) first.
// A read with a `sink` hands the sensor's data to it and writes no file. A failure of the
// line is left on the link (lastFailure()); a failure of a file is not a link failure.
TransferOutcome runTransfer(const TransferRequest& request, TransferView& view, SerialLink& link,
                            ReadSink* sink = nullptr);

// True when `bank` (0-14) lies in the request's range; bank 15 is never chosen.
bool bankIsChosen(const TransferRequest& request, int bank);

// The bytes a transfer puts on the line both ways when every chosen file and item is there:
// the total a progress display measures against.
std::int64_t plannedWireBytes(const TransferRequest& request);

// The baud code of the settings code for a position of the baud-rate list (0-4), or -1.
int baudCodeForIndex(int baudIndex);

// Connect: opens `port` on the link, asks "Agree to stop operation of ZAR4?" (unless
// `askFirst` is false, for the command line's own confirmation), sets the baud rate, mode
// request, Stop. Shows its own messages; the link keeps the failure. True when connected; on
// any failure or No the port is closed again.
bool connectSensor(SerialLink& link, const PortAddress& port, int baudIndex,
                   MessageService& messages, bool askFirst = true);

// The pieces of connect, for callers that make their own sequence (the command line):
// opening opens `port` and sets the baud rate of the list position, showing "Failed to open
// COM port." or "Baud rate setting is invalid." (the port is then closed again); the
// exchanges are purge, mode request, purge, Stop, showing the protocol's text on failure (the
// port stays open: the caller closes it).
bool openSensorPort(SerialLink& link, const PortAddress& port, int baudIndex,
                    MessageService& messages);
bool connectExchanges(SerialLink& link, MessageService& messages);

// Return to run: Run, then close the link's port whatever the reply. Shows the failure text.
// True when the sensor acknowledged Run.
bool returnToRun(SerialLink& link, MessageService& messages);

} // namespace zar4
