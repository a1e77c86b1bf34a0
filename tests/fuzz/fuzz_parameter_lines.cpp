// Any bytes at all as a parameter file: the value-line reader, in memory and from a file, and
// the record reader must give a defined result and never read or write out of bounds.

#include "params/parameter_file.h"
#include "params/parameter_set.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const std::string& scratchBase() {
    static const std::string base = [] {
        char folder[] = "/tmp/zar4fuzzXXXXXX";
        const char* made = ::mkdtemp(folder);
        if (!made)
            std::abort();
        return std::string(made) + "/set";
    }();
    return base;
}

void writeAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The first line on its own.
    const std::size_t end = text.find('\n');
    const std::int32_t first = zar4::parseValueLine(text.substr(0, end));

    std::int32_t inMemory[zar4::kBankWords] = {};
    const int memoryLines = zar4::readValueLinesFromText(text, inMemory, zar4::kBankWords);
    if (memoryLines < 0 || memoryLines > zar4::kBankWords)
        std::abort();
    if (memoryLines > 0 && inMemory[0] != first)
        std::abort();

    // The same bytes as a bank file and as the common file read to the same words.
    const std::string& base = scratchBase();
    const std::string bankName = zar4::parameterFileName(base, 3);
    const std::string commonName = zar4::parameterFileName(base, zar4::kCommonItem);
    writeAll(bankName, data, size);
    writeAll(commonName, data, size);

    zar4::ParameterSet set;
    int lines = -1;
    const zar4::ReadResult bank = zar4::readRecord(bankName, 3, set, &lines);
    if (lines != memoryLines)
        std::abort();
    if ((bank == zar4::ReadResult::Complete) != (memoryLines == zar4::kBankWords))
        std::abort();
    if (bank != zar4::ReadResult::Complete && bank != zar4::ReadResult::Short)
        std::abort();
    for (int i = 0; i < memoryLines; ++i) {
        if (set.bank[3].words[static_cast<std::size_t>(i)] != inMemory[i])
            std::abort();
    }
    (void)zar4::bankWordsAreThisModel(set.bank[3].words.data());

    const zar4::ReadResult common = zar4::readRecord(commonName, zar4::kCommonItem, set, &lines);
    if ((common == zar4::ReadResult::Complete) != (lines == zar4::kCommonWords))
        std::abort();
    for (int i = 0; i < lines; ++i) {
        if (set.common.words[static_cast<std::size_t>(i)] != inMemory[i])
            std::abort();
    }

    // What is read can be written back as text and read again to the same words.
    const std::string again = zar4::formatValueLines(inMemory, memoryLines, true);
    std::int32_t reread[zar4::kBankWords] = {};
    const int rereadLines = zar4::readValueLinesFromText(again, reread, zar4::kBankWords);
    if (rereadLines != memoryLines)
        std::abort();
    for (int i = 0; i < memoryLines; ++i) {
        // A word that wrapped below zero is written with its sign, and a sign reads as 0.
        if (reread[i] != (inMemory[i] < 0 ? 0 : inMemory[i]))
            std::abort();
    }
    return 0;
}
