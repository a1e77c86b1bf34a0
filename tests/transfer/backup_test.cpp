// A backup's files judged by the one check every command shares, and backups compared.

#include "patterns/pattern_file.h"
#include "support/temp_folder.h"
#include "transfer/backup.h"
#include "transfer/transfer_texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zar4 {
namespace {

void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// `count` value lines: word i is i, word 0 is 65535, word 8 is `word8`.
std::string valueLines(int count, int word8 = 8) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(i == 0 ? 65535 : i == 8 ? word8 : i) + "\r\n";
    return text;
}

TEST(BackupCheck, KeepsWhatAWriteWouldSendAndNamesWhatItRefuses) {
    test::TempFolder dir("zar4backup");
    const std::string path = dir.base("file");
    std::string pattern(reinterpret_cast<const char*>(patternHeader().data()), kPatternHeaderSize);
    for (int i = 0; i < kPatternRasterSize; ++i)
        pattern += static_cast<char>(i * 7);
    std::string deep = pattern;
    deep[28] = 32;
    const std::string invalid = std::string(texts::kParametersFileInvalid) + "\n" + path + ": ";
    const std::string patternInvalid =
        std::string(texts::kPatternsFileInvalid) + "\n" + path + ": ";
    const struct {
        ItemKind kind;
        int item;
        std::string bytes; // "" with a folder: a folder of that name
        std::string problem;
        std::size_t kept;
    } cases[] = {
        {ItemKind::Parameters, 3, valueLines(32), "", 32},
        {ItemKind::Parameters, kCommonItem, valueLines(32, 300), "", 5}, // only lines 1-5
        {ItemKind::Parameters, 3, valueLines(31), invalid + "line 32 is missing", 0},
        {ItemKind::Parameters, 3, valueLines(32, 256),
         std::string(texts::kFileModelNotZar4) + "\n" + path, 0},
        {ItemKind::Pattern, 3, pattern, "",
         static_cast<std::size_t>(kPatternRows * kPatternColumns)},
        {ItemKind::Pattern, 3, pattern.substr(1),
         patternInvalid + "holds 147317 bytes, not the 147318 of a pattern file", 0},
        {ItemKind::Pattern, 3, deep, patternInvalid + "has no header of a 24-bit pattern file", 0},
        {ItemKind::Pattern, 3, "", patternInvalid + "is a folder", 0},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        if (c.bytes.empty())
            std::filesystem::create_directory(path);
        else
            put(path, c.bytes);
        const CheckedFile file = checkDataFile(path, c.kind, c.item);
        EXPECT_EQ(file.problem, c.problem);
        EXPECT_EQ(file.state,
                  c.problem.empty() ? CheckedFile::State::Present : CheckedFile::State::Invalid);
        EXPECT_EQ(file.otherModel, c.problem.find("model") != std::string::npos);
        const auto& kept = c.kind == ItemKind::Parameters ? file.words : file.pixels;
        ASSERT_EQ(kept.size(), c.kept) << c.problem;
        if (c.kind == ItemKind::Parameters && c.kept > 0) {
            EXPECT_EQ(kept[0], 65535);
        }
        for (std::size_t i = 0; c.kind == ItemKind::Pattern && i < c.kept; i += 997)
            EXPECT_EQ(kept[i], filePixelToWord(reinterpret_cast<const std::uint8_t*>(
                                   &c.bytes[kPatternHeaderSize + i * 3])));
    }
    std::filesystem::remove(path);
    EXPECT_EQ(checkDataFile(path, ItemKind::Pattern, 3).state, CheckedFile::State::Missing);
}

TEST(BackupCompare, AFileOnOneSideOnlyIsADifferenceOnBothSidesNone) {
    test::TempFolder dir("zar4backup");
    TransferRequest choice;
    choice.includePatterns = false;
    choice.firstBank = 1; // bank 2: on neither side
    choice.lastBank = 2;
    put(parameterFileName(dir.base("a"), 1), valueLines(32));
    put(parameterFileName(dir.base("b"), 15), valueLines(5));
    const Backup a = loadBackup(dir.base("a"), choice), b = loadBackup(dir.base("b"), choice);
    EXPECT_TRUE(a.holdsAny(choice));
    const auto found = compareBackups(a, b, choice);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].item, 1);
    EXPECT_EQ(found[0].file, parameterFileName(dir.base("b"), 1));
    EXPECT_EQ(found[1].item, kCommonItem);
    EXPECT_EQ(found[1].file, parameterFileName(dir.base("a"), 15));
    EXPECT_FALSE(loadBackup(dir.base("c"), choice).holdsAny(choice));
}

} // namespace
} // namespace zar4
