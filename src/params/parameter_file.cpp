#include "params/parameter_file.h"

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
    return base.size() <= kMaxBaseNameLength;
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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    LineReader reader(words, count);
    while (!reader.full()) {
        int c = std::getc(file);
        if (c == EOF)
            break;
        reader.feed(c);
    }
    // A read error part-way ends the file there: a line cut off by it is not a value.
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? reader.completeLines() : reader.finish();
}

int readValueLinesFromText(std::string_view text, std::int32_t* words, int count) {
    LineReader reader(words, count);
    for (std::size_t i = 0; i < text.size() && !reader.full(); ++i)
        reader.feed(static_cast<unsigned char>(text[i]));
    return reader.finish();
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
