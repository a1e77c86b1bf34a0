#pragma once
// The command line's face of the engine: message boxes become lines on standard error (with
// questions answered by option, by the operator at a terminal, or by a safe default), and the
// progress window becomes a one-line bar with bytes, rate and time left.

#include "common/message_service.h"
#include "common/stop_signals.h"
#include "ctl/ctl_options.h"
#include "transfer/transfer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace zar4::ctl {

enum class ConsoleStream { In, Out, Err };
// True when the stream is an operator's terminal (on Windows a console: the NUL device and
// files are none).
bool isTerminal(ConsoleStream stream);
// The width in columns of the terminal (on Windows the console window) that the stream shows
// on, as it is now; 0 when it is none.
int terminalColumns(ConsoleStream stream);

// Keeps track of a progress line that is on the terminal without its line end, so that any
// other output starts on a line of its own.
class ConsoleLine {
public:
    // `columns` tells the terminal's width at each redraw (0 or no function: unknown, and
    // nothing is cut).
    explicit ConsoleLine(std::ostream& err, std::function<int()> columns = {})
        : err_(err), columns_(std::move(columns)) {}
    std::ostream& stream() { return err_; }
    // The widest line that fits the terminal now without wrapping (0: no limit known). The
    // last column is left free: some terminals wrap as soon as it is written.
    std::size_t fitWidth() const;
    // Draws `text` over the line drawn before, never wider than fitWidth().
    void draw(const std::string& text);
    // Ends a drawn progress line so that the next output starts on a new line.
    void breakLine();
    // The terminal may have echoed "^C" after the drawn line: the next picture blanks it out.
    void noteInterruptEcho() { echo_ = open_ ? 2 : 0; }

    // Time spent waiting for the operator to answer a question, which no rate counts.
    void addAnswerWait(std::chrono::steady_clock::duration wait) { answerWait_ += wait; }
    std::chrono::steady_clock::duration answerWait() const { return answerWait_; }

    void setProgressMode(ProgressMode mode) { mode_ = mode; }
    ProgressMode progressMode() const { return mode_; }

    // Counts what keeps an item from being done though no file told it: an error shown, a
    // question answered No, CANCEL.
    void noteSetback() { ++setbacks_; }
    int setbacks() const { return setbacks_; }

private:
    std::ostream& err_;
    std::function<int()> columns_;
    ProgressMode mode_ = ProgressMode::Auto;
    int setbacks_ = 0;
    bool open_ = false;
    std::size_t width_ = 0;
    std::size_t echo_ = 0;
    std::chrono::steady_clock::duration answerWait_{};
};

class ConsoleMessages : public MessageService {
public:
    ConsoleMessages(ConsoleLine& line, std::istream& in, bool interactive, Answer overwrite,
                    Answer abortOnMissing)
        : line_(line), in_(in), interactive_(interactive), overwrite_(overwrite),
          abortOnMissing_(abortOnMissing) {}

    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

    // A Yes/No question put to the operator at the terminal; `fallback` when nobody can answer.
    bool askOperator(const std::string& title, const std::string& text, bool fallback);

    // The text of the last "Error" shown (empty before any), so the exit status can tell a
    // port-setting error from a failed exchange.
    const std::string& lastError() const { return lastError_; }

    // True once the operator pressed Ctrl-C at a question: whatever the question, that stops
    // the command as CANCEL does ("Aborted.", status 3), not as a No would.
    bool interruptedAtQuestion() const { return interruptedAtQuestion_; }

    // The transfer that a Ctrl-C at a question cancels (none: nothing to cancel).
    void cancelThrough(TransferView* view) { cancelled_ = view; }

private:
    std::string lastError_;
    bool interruptedAtQuestion_ = false;
    TransferView* cancelled_ = nullptr;
    ConsoleLine& line_;
    std::istream& in_;
    bool interactive_;
    Answer overwrite_;
    Answer abortOnMissing_;
};

class ConsoleView : public TransferView {
public:
    // `showProgress`: draw the bar (standard error is a terminal). `plannedBytes`: the wire
    // bytes of the whole transfer, for the time left.
    ConsoleView(ConsoleLine& line, MessageService& messages, bool showProgress,
                std::int64_t plannedBytes);

    void setStatusText(const std::string& text) override;
    void setItemText(const std::string& text) override;
    void setProgress(int position) override;
    void pump() override;
    MessageService& messages() override { return messages_; }
    void wireBytes(int bytes) override;
    void itemStarted(ItemKind kind, int item) override;
    void itemDone(ItemKind kind, int item, const std::string& file) override;
    void itemSkipped(ItemKind kind, int item, const std::string& reason) override;

    // Draws the last figures of the bar and ends its line; the outcome itself is left to the
    // command, which prints it once.
    void finish();
    const std::string& statusText() const { return status_; }
    std::int64_t bytesDone() const { return bytes_; }

private:
    void pollInterrupt();
    void draw(bool force);
    // --progress=plain: one line for an item that is over.
    void plainLine(ItemKind kind, int item, const std::string& how);
    double seconds() const;

    ConsoleLine& line_;
    MessageService& messages_;
    bool showProgress_;
    std::int64_t planned_;
    std::int64_t bytes_ = 0;
    int position_ = 0;
    std::string status_;
    std::string item_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::chrono::steady_clock::duration waitBefore_; // answer waits before the transfer
    bool drawn_ = false;
    // --progress=plain: the item begun and not yet told (a read into memory names no file;
    // it is done when the next one begins, or at the end when nothing went wrong).
    bool pending_ = false;
    ItemKind pendingKind_ = ItemKind::Parameters;
    int pendingItem_ = 0;
    int setbacksAtStart_ = 0;
};

// The bar's text: "[####    ]  12.3/160.2 kB  5.7 kB/s  0:25 left  <status>, <item>". With a
// `width` (0: none), the line is made to fit it: the status text goes first (word by word),
// then the item, half the bar, the rate and the rest of the bar.
std::string progressLine(std::int64_t bytes, std::int64_t planned, double seconds,
                         const std::string& status, const std::string& item, std::size_t width = 0);

} // namespace zar4::ctl
