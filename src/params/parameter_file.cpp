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

int readValueLines(const std::string& path, std::int32_t* words, int count) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    int lines = 0;
    bool inLine = false;
    ValueParser parser;
    while (lines < count) {
        int c = std::getc(file);
        if (c == EOF) {
            // A last line without its line break still holds a value.
            if (inLine)
                words[lines++] = parser.value();
            break;
        }
        if (c == '\n') {
            words[lines++] = parser.value();
            parser = ValueParser();
            inLine = false;
            continue;
        }
        inLine = true;
        parser.feed(static_cast<unsigned char>(c));
    }
    std::fclose(file);
    return lines;
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
    return words[8] <= 255 && words[9] <= 255;
}

} // namespace zar4
