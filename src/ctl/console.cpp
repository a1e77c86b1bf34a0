#include "ctl/console.h"

#include "ctl/ctl_events.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <optional>
#include <ostream>
#include <tuple>

namespace zar4::ctl {

namespace {

// Raised by Ctrl-C, SIGTERM and SIGHUP (see catchStopSignals); the console view turns it into
// CANCEL.
std::atomic<int>& interruptFlag() {
    return stopSignalled;
}

} // namespace

std::size_t ConsoleLine::fitWidth() const {
    const int columns = columns_ ? columns_() : 0;
    return columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
}

void ConsoleLine::draw(const std::string& picture) {
    // The terminal may have been made narrower since the last picture: a line that wraps
    // would leave a copy of itself behind at every redraw.
    const std::size_t limit = fitWidth();
    const std::string text =
        limit > 0 && picture.size() > limit ? picture.substr(0, limit) : picture;
    err_ << '\r' << text;
    // Blank out what a longer earlier line, or the terminal's echo of Ctrl-C, left behind.
    std::size_t covered = width_ + echo_;
    if (limit > 0)
        covered = std::min(covered, limit);
    if (text.size() < covered)
        err_ << std::string(covered - text.size(), ' ');
    width_ = text.size();
    echo_ = 0;
    err_.flush();
    open_ = true;
}

void ConsoleLine::breakLine() {
    if (open_)
        err_ << '\n';
    open_ = false;
    width_ = 0;
    echo_ = 0;
}

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The operator's word: Yes, No, or nothing usable (an empty line, anything else), which
// takes the question's safe default.
std::optional<bool> typedAnswer(std::string word) {
    for (auto& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto first = word.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::nullopt;
    word = word.substr(first, word.find_last_not_of(" \t\r") - first + 1);
    if (word == "y" || word == "yes")
        return true;
    if (word == "n" || word == "no")
        return false;
    return std::nullopt;
}

} // namespace

bool ConsoleMessages::askOperator(const std::string& title, const std::string& text,
                                  bool fallback) {
    line_.breakLine();
    std::ostream& err = line_.stream();
    if (!interactive_) {
        err << title << ": " << text << " " << (fallback ? "Yes" : "No")
            << " (no terminal to ask)\n";
        err.flush();
        if (!fallback)
            line_.noteSetback();
        return fallback;
    }
    // The capital letter shows what an empty answer chooses.
    err << title << ": " << text << (fallback ? " [Y/n] " : " [y/N] ");
    err.flush();
    std::string answer;
    const auto asked = std::chrono::steady_clock::now();
    // A Ctrl-C that came just before the question is not lost behind the wait for input.
    const bool answered = !interruptFlag() && std::getline(in_, answer);
    line_.addAnswerWait(std::chrono::steady_clock::now() - asked);
    if (!answered) {
        err << "\n";
        err.flush();
        in_.clear();
        line_.noteSetback();
        if (interruptFlag()) {
            // Ctrl-C at the question is CANCEL, seen before the next item starts; nobody
            // agreed to anything.
            interruptFlag() = 0;
            interruptedAtQuestion_ = true;
            if (cancelled_ && cancelled_->stopRequest() == StopRequest::None)
                cancelled_->requestStop(StopRequest::Cancelled);
            return false;
        }
        return fallback; // end of input: nobody is there to answer
    }
    const bool yes = typedAnswer(answer).value_or(fallback);
    if (!yes)
        line_.noteSetback();
    return yes;
}

BoxAnswer ConsoleMessages::show(const std::string& title, const std::string& text, BoxIcon,
                                BoxButtons buttons) {
    if (buttons == BoxButtons::Ok) {
        if (title == "Error") {
            lastError_ = text;
            line_.noteSetback();
        }
        line_.breakLine();
        line_.stream() << title << ": " << text << "\n";
        line_.stream().flush();
        return BoxAnswer::Ok;
    }
    Answer fixed = Answer::Ask;
    bool fallback = false; // questions nobody can answer are refused...
    const char* option = "";
    if (text == texts::kOverwriteFile) {
        fixed = overwrite_;
        option = overwrite_ == Answer::Yes ? "--overwrite" : "--no-overwrite";
    } else if (endsWith(text, texts::kAbortQuestionEnd)) {
        fixed = abortOnMissing_;
        fallback = true; // ...except a missing file, which stops the transfer
        option = abortOnMissing_ == Answer::Yes ? "--abort-on-missing" : "--skip-missing";
    }
    bool yes;
    if (fixed == Answer::Ask) {
        yes = askOperator(title, text, fallback);
    } else {
        yes = fixed == Answer::Yes;
        if (!yes)
            line_.noteSetback();
        line_.breakLine();
        line_.stream() << title << ": " << text << " " << (yes ? "Yes" : "No") << " (" << option
                       << ")\n";
        line_.stream().flush();
    }
    return yes ? BoxAnswer::Yes : BoxAnswer::No;
}

ConsoleView::ConsoleView(ConsoleLine& line, MessageService& messages, bool showProgress,
                         std::int64_t plannedBytes)
    : line_(line), messages_(messages), showProgress_(showProgress), planned_(plannedBytes),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_), waitBefore_(line.answerWait()) {}

void ConsoleView::pollInterrupt() {
    if (interruptFlag() && stopRequest() == StopRequest::None) {
        interruptFlag() = 0;
        requestStop(StopRequest::Cancelled);
        line_.noteInterruptEcho();
        line_.noteSetback();
    }
}

void ConsoleView::setStatusText(const std::string& text) {
    pollInterrupt();
    status_ = text;
    draw(false);
}

void ConsoleView::setItemText(const std::string& text) {
    item_ = text;
    draw(false);
}

void ConsoleView::setProgress(int position) {
    pollInterrupt();
    position_ = position;
    draw(false);
}

void ConsoleView::pump() {
    pollInterrupt();
}

void ConsoleView::wireBytes(int bytes) {
    bytes_ += bytes;
}

double ConsoleView::seconds() const {
    // The time questions waited for an answer is no time of the line's.
    auto waited = line_.answerWait() - waitBefore_;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_ - waited)
        .count();
}

void ConsoleView::draw(bool force) {
    if (!showProgress_ || line_.progressMode() != ProgressMode::Auto)
        return;
    auto now = std::chrono::steady_clock::now();
    // A terminal needs no more than ten pictures a second.
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    drawn_ = true;
    // The width is asked at every picture: the operator may have resized the window.
    line_.draw(progressLine(bytes_, planned_, seconds(), status_, item_, line_.fitWidth()));
}

void ConsoleView::plainLine(ItemKind kind, int item, const std::string& how) {
    if (line_.progressMode() != ProgressMode::Plain)
        return;
    const std::int64_t total = std::max<std::int64_t>(planned_, bytes_);
    const auto percent = total > 0 ? static_cast<int>(bytes_ * 100 / total) : 100;
    const auto elapsed = static_cast<long long>(seconds());
    char head[32];
    std::snprintf(head, sizeof head, "[%3d%% %lld:%02lld] ", percent, elapsed / 60, elapsed % 60);
    line_.stream() << head << itemName(kind, item) << ": " << how << "\n";
    line_.stream().flush();
}

void ConsoleView::itemStarted(ItemKind kind, int item) {
    // The item before it went through without naming a file: it was read into memory.
    if (pending_)
        plainLine(pendingKind_, pendingItem_, "read");
    pending_ = true;
    pendingKind_ = kind;
    pendingItem_ = item;
    setbacksAtStart_ = line_.setbacks();
}

void ConsoleView::itemDone(ItemKind kind, int item, const std::string& file) {
    pending_ = false;
    plainLine(kind, item, file);
}

void ConsoleView::itemSkipped(ItemKind kind, int item, const std::string& reason) {
    pending_ = false;
    plainLine(kind, item, reason + ", skipped");
}

void ConsoleView::finish() {
    if (pending_ && line_.setbacks() == setbacksAtStart_)
        plainLine(pendingKind_, pendingItem_, "read");
    pending_ = false;
    // The last picture carries the figures alone: the bank being worked on is history now,
    // and the outcome is printed once, by the command.
    const std::string status = status_;
    item_.clear();
    status_.clear();
    if (drawn_)
        draw(true);
    status_ = status;
    line_.breakLine();
}

namespace {

std::string figure(const char* format, double a, double b = 0.0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

std::string progressLine(std::int64_t bytes, std::int64_t planned, double seconds,
                         const std::string& status, const std::string& item, std::size_t width) {
    std::int64_t total = std::max<std::int64_t>(planned, bytes);
    const std::string amount = figure(" %6.1f/%.1f kB", static_cast<double>(bytes) / 1000.0,
                                      static_cast<double>(total) / 1000.0);
    double rate = seconds > 0.05 ? static_cast<double>(bytes) / seconds : 0.0;
    std::string speed, left;
    if (rate > 0.0) {
        auto secondsLeft = static_cast<long long>(static_cast<double>(total - bytes) / rate + 0.5);
        speed = figure(" %5.1f kB/s", rate / 1000.0);
        left = " " + std::to_string(secondsLeft / 60) + ":" + (secondsLeft % 60 < 10 ? "0" : "") +
               std::to_string(secondsLeft % 60) + " left";
    }
    auto compose = [&](int barWidth, bool withSpeed, const std::string& statusText,
                       const std::string& itemText) {
        std::string text;
        if (barWidth > 0) {
            int filled = total > 0 ? static_cast<int>(bytes * barWidth / total) : 0;
            text = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                   std::string(static_cast<std::size_t>(barWidth - filled), ' ') + "]";
        }
        text += amount + (withSpeed ? speed : "") + left;
        if (barWidth == 0)
            text.erase(0, text.find_first_not_of(' '));
        if (!statusText.empty())
            text += "  " + statusText;
        if (!itemText.empty())
            text += (statusText.empty() ? "  " : ", ") + itemText;
        return text;
    };
    std::string full = compose(20, true, status, item);
    if (width == 0 || full.size() <= width)
        return full;
    // The status text gives way first, a word at a time, then the item...
    for (std::string shorter = status; !shorter.empty();) {
        auto space = shorter.find_last_of(' ');
        shorter.erase(space == std::string::npos ? 0 : space);
        std::string text = compose(20, true, shorter, item);
        if (text.size() <= width)
            return text;
    }
    // ...then the bar's length, the rate and the bar; the figures are cut last.
    for (auto [bar, withSpeed, withItem] :
         {std::tuple{20, true, true}, std::tuple{20, true, false}, std::tuple{10, true, false},
          std::tuple{10, false, false}, std::tuple{0, false, false}}) {
        std::string text = compose(bar, withSpeed, "", withItem ? item : "");
        if (text.size() <= width || bar == 0)
            return text.substr(0, width);
    }
    return full.substr(0, width);
}

} // namespace zar4::ctl
