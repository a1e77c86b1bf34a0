#include "ctl/console.h"

#include "transfer/transfer_texts.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <optional>
#include <ostream>

namespace zar4::ctl {

namespace {

// Raised by Ctrl-C, SIGTERM and SIGHUP (see catchStopSignals); the console view turns it into
// CANCEL.
std::atomic<int>& interruptFlag() {
    return stopSignalled;
}

} // namespace

void ConsoleLine::draw(const std::string& text) {
    err_ << '\r' << text;
    // Blank out what a longer earlier line, or the terminal's echo of Ctrl-C, left behind.
    const std::size_t covered = width_ + echo_;
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
    return typedAnswer(answer).value_or(fallback);
}

BoxAnswer ConsoleMessages::show(const std::string& title, const std::string& text, BoxIcon,
                                BoxButtons buttons) {
    if (buttons == BoxButtons::Ok) {
        if (title == "Error")
            lastError_ = text;
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

void ConsoleView::draw(bool force) {
    if (!showProgress_)
        return;
    auto now = std::chrono::steady_clock::now();
    // A terminal needs no more than ten pictures a second.
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    drawn_ = true;
    // The time questions waited for an answer is no time of the line's.
    auto waited = line_.answerWait() - waitBefore_;
    double seconds = std::chrono::duration<double>(now - start_ - waited).count();
    line_.draw(progressLine(bytes_, planned_, seconds, status_, item_));
}

void ConsoleView::finish() {
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

std::string progressLine(std::int64_t bytes, std::int64_t planned, double seconds,
                         const std::string& status, const std::string& item) {
    constexpr int kBarWidth = 20;
    std::int64_t total = std::max<std::int64_t>(planned, bytes);
    int filled = total > 0 ? static_cast<int>(bytes * kBarWidth / total) : 0;
    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
    text += ']';
    char figures[96];
    double rate = seconds > 0.05 ? static_cast<double>(bytes) / seconds : 0.0;
    if (rate > 0.0) {
        auto left = static_cast<long long>(static_cast<double>(total - bytes) / rate + 0.5);
        std::snprintf(figures, sizeof figures, " %6.1f/%.1f kB %5.1f kB/s %lld:%02lld left",
                      static_cast<double>(bytes) / 1000.0, static_cast<double>(total) / 1000.0,
                      rate / 1000.0, left / 60, left % 60);
    } else {
        std::snprintf(figures, sizeof figures, " %6.1f/%.1f kB",
                      static_cast<double>(bytes) / 1000.0, static_cast<double>(total) / 1000.0);
    }
    text += figures;
    if (!status.empty()) {
        text += "  ";
        text += status;
    }
    if (!item.empty()) {
        text += ", ";
        text += item;
    }
    return text;
}

} // namespace zar4::ctl
