#pragma once
// Parameter files for the parameter tests.

#include "params/parameter_set.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zar4::test {

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `count` value lines, ended as the read transfer (LF) or the editor (CR LF) ends them.
template <typename Words> std::string valueLines(const Words& words, int count, bool crlf) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::to_string(words[static_cast<std::size_t>(i)]);
        text += crlf ? "\r\n" : "\n";
    }
    return text;
}

inline void writeBankFile(const std::string& base, int bank, const BankRecord& record,
                          bool crlf = false, int lines = kBankWords) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += std::to_string(i < kBankWords ? record.words[static_cast<std::size_t>(i)] : 0);
        text += crlf ? "\r\n" : "\n";
    }
    writeText(parameterFileName(base, bank), text);
}

inline void writeCommonFile(const std::string& base, const CommonRecord& record,
                            bool crlf = false) {
    writeText(parameterFileName(base, kCommonItem), valueLines(record.words, kCommonWords, crlf));
}

// A bank record that differs in every word from bank to bank, with a valid model mark.
inline BankRecord distinctBankRecord(int bank) {
    BankRecord r;
    for (int i = 0; i < kBankWords; ++i)
        r.words[static_cast<std::size_t>(i)] = bank * 1000 + i * 7 + 1;
    r.words[8] = 236;
    r.words[9] = 208;
    return r;
}

inline CommonRecord distinctCommonRecord() {
    CommonRecord r;
    r.words = {3, 65535, 0x8000 | 1200, 4999, (5 << 8) | (2 << 3) | 0x0800};
    return r;
}

} // namespace zar4::test
