#include "params/parameter_file.h"

#include "common/file_access.h"

#include <algorithm>
#include <cstdio>

namespace zar4 {

std::string parameterFileName(const std::string& base, int item) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string name = base;
    name += ".pr";
    if (item == kCommonItem)
        name += 'M';
    else
        name += kDigits[item & 0x0F];
    name += ".zar4";
    return name;
}

bool baseNameFits(const std::string& base) {
    std::size_t characters = 0;
    for (char c : base) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++characters;
    }
    return characters <= kMaxBaseNameLength;
}

std::string baseNameProblem(const std::string& base) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    // Both separators on every system: a backup made for Windows may be restored on Linux.
    const std::size_t separator = base.find_last_of("/\\");
    const std::size_t lastStart = separator == std::string::npos ? 0 : separator + 1;
    const std::string last = base.substr(lastStart);
    const std::string proposal =
        "; give a base name such as " + base.substr(0, lastStart) + "line1";
    if (base.empty())
        return "the file name is empty" + proposal;
    if (std::all_of(base.begin(), base.end(), blank))
        return "the file name holds only blanks; give a base name such as line1";
    if (last.empty() || last == "." || last == "..")
        return base + ": the name is a folder" + proposal;
    if (std::all_of(last.begin(), last.end(), blank))
        return base + ": the last part of the name holds only blanks" + proposal;
    return {};
}

namespace {

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Parses a value while its characters arrive one by one, so a line of any length is read
// in one pass without holding it in memory.
class ValueParser {
public:
    void feed(unsigned char c) {
        if (done_)
            return;
        if (!started_ && isBlank(c))
            return;
        if (isDigit(c)) {
            started_ = true;
            value_ = value_ * 10u + static_cast<std::uint32_t>(c - '0');
            return;
        }
        done_ = true;
    }
    std::int32_t value() const { return static_cast<std::int32_t>(value_); }

private:
    std::uint32_t value_ = 0;
    bool started_ = false;
    bool done_ = false;
};

} // namespace

std::int32_t parseValueLine(std::string_view line) {
    ValueParser parser;
    for (char c : line)
        parser.feed(static_cast<unsigned char>(c));
    return parser.value();
}

namespace {

// Splits a stream of characters into value lines: a line ends at its line feed, however long
// it is, and a last line without a line feed still holds a value.
class LineReader {
public:
    LineReader(std::int32_t* words, int count) : words_(words), count_(count) {}
    bool full() const { return lines_ >= count_; }
    int completeLines() const { return lines_; }
    void feed(int c) {
        if (c == '\n') {
            words_[lines_++] = parser_.value();
            parser_ = ValueParser();
            inLine_ = false;
            return;
        }
        inLine_ = true;
        parser_.feed(static_cast<unsigned char>(c));
    }
    int finish() {
        if (inLine_ && !full())
            words_[lines_++] = parser_.value();
        inLine_ = false;
        return lines_;
    }

private:
    std::int32_t* words_;
    int count_;
    int lines_ = 0;
    bool inLine_ = false;
    ValueParser parser_;
};

} // namespace

int readValueLines(const std::string& path, std::int32_t* words, int count) {
    // Lines beyond the ones read are never looked at, so the first 64 KiB hold every value a
    // sound file has.
    const FileRead file = readRegularFile(path, kSmallFileLimit, BeyondLimit::Ignore);
    if (file.status != FileRead::Status::Ok)
        return -1;
    return readValueLinesFromText(file.bytes, words, count, file.truncated);
}

std::string readStrictValueLines(std::string_view text, std::uint16_t* words, int count) {
    std::size_t at = 0;
    for (int line = 0; line < count; ++line) {
        const std::string where = "line " + std::to_string(line + 1);
        if (at >= text.size())
            return where + " is missing";
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view value = text.substr(at, end - at);
        at = end + 1;
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!value.empty() && blank(value.front()))
            value.remove_prefix(1);
        while (!value.empty() && blank(value.back()))
            value.remove_suffix(1);
        std::uint32_t number = 0;
        bool ok = !value.empty();
        for (char c : value) {
            if (!isDigit(static_cast<unsigned char>(c)) || number > 65535) {
                ok = false;
                break;
            }
            number = number * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (!ok || number > 65535)
            return where + " is not a number from 0 to 65535";
        words[line] = static_cast<std::uint16_t>(number);
    }
    return {};
}

int readValueLinesFromText(std::string_view text, std::int32_t* words, int count, bool cut) {
    LineReader reader(words, count);
    for (std::size_t i = 0; i < text.size() && !reader.full(); ++i)
        reader.feed(static_cast<unsigned char>(text[i]));
    // Where the reading stopped at the bound, a line cut off there is not a value.
    return cut ? reader.completeLines() : reader.finish();
}

std::string formatValueLines(const std::int32_t* words, int count, bool crlf) {
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * 8);
    for (int i = 0; i < count; ++i) {
        text += std::to_string(words[i]);
        if (crlf)
            text += '\r';
        text += '\n';
    }
    return text;
}

bool bankWordsAreThisModel(const std::int32_t* words) {
    return static_cast<std::uint32_t>(words[8]) <= 255u &&
           static_cast<std::uint32_t>(words[9]) <= 255u;
}

} // namespace zar4
