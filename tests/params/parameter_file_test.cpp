#include "params/open_for_editing_fixture.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(ParameterFileName, SuffixIsOneUpperCaseHexDigitOrM) {
    EXPECT_EQ(parameterFileName("/d/line1", 0), "/d/line1.pr0.zar4");
    EXPECT_EQ(parameterFileName("/d/line1", 9), "/d/line1.pr9.zar4");
    EXPECT_EQ(parameterFileName("/d/line1", 10), "/d/line1.prA.zar4");
    EXPECT_EQ(parameterFileName("/d/line1", 14), "/d/line1.prE.zar4");
    EXPECT_EQ(parameterFileName("/d/line1", 15), "/d/line1.prM.zar4");
    EXPECT_TRUE(baseNameFits(std::string(250, 'a')));
    EXPECT_FALSE(baseNameFits(std::string(251, 'a')));
    // Characters, as the operator counts them: 250 Japanese characters are 750 bytes.
    std::string japanese;
    for (int i = 0; i < 250; ++i)
        japanese += "\xE6\x97\xA5";
    EXPECT_TRUE(baseNameFits(japanese));
    EXPECT_FALSE(baseNameFits(japanese + "a"));
}

// A name that leaves its files no name of their own (".pr0.zar4" in some folder) is refused,
// and the reason proposes one that would do.
TEST(BaseNameProblem, EmptyBlankOrFolderNamesAreRefusedWithANameThatWouldDo) {
    const std::pair<std::string, std::string> refused[] = {
        {"", "the file name is empty; give a base name such as line1"},
        {" \t ", "the file name holds only blanks; give a base name such as line1"},
        {"b4/", "b4/: the name is a folder; give a base name such as b4/line1"},
        {"C:\\data\\",
         "C:\\data\\: the name is a folder; give a base name such as C:\\data\\line1"},
        {"/d/b4/..", "/d/b4/..: the name is a folder; give a base name such as /d/b4/line1"},
        {"b4/  ", "b4/  : the last part of the name holds only blanks; give a base name such as "
                  "b4/line1"},
    };
    for (const auto& [base, reason] : refused)
        EXPECT_EQ(baseNameProblem(base), reason) << "[" << base << "]";
    for (const char* base : {"line1", "b4/line1", "C:\\data\\line1", " x", ".x", "b4/.x"})
        EXPECT_EQ(baseNameProblem(base), "") << base;
}

// A write sends only files whose every line read is one number the sensor can hold.
TEST(StrictValueLines, EachLineReadIsOneNumberFrom0To65535) {
    struct Case {
        const char* text;
        int count;
        const char* why; // empty: accepted
    };
    const Case cases[] = {
        {"0\n65535\n", 2, ""},
        {" 7 \r\n\t42\r\n", 2, ""},
        {"1\n2", 2, ""},          // no line feed after the last line
        {"1\n2\nhello\n", 2, ""}, // lines after the ones read are not looked at
        {"1\n", 2, "line 2 is missing"},
        {"", 1, "line 1 is missing"},
        {"1\n\n", 2, "line 2 is not a number from 0 to 65535"},
        {"hello world\n", 1, "line 1 is not a number from 0 to 65535"},
        {"-1\n", 1, "line 1 is not a number from 0 to 65535"},
        {"+5\n", 1, "line 1 is not a number from 0 to 65535"},
        {"65536\n", 1, "line 1 is not a number from 0 to 65535"},
        {"99999999999\n", 1, "line 1 is not a number from 0 to 65535"},
        {"1 2\n", 1, "line 1 is not a number from 0 to 65535"},
        {"12x\n", 1, "line 1 is not a number from 0 to 65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint16_t words[2] = {};
        EXPECT_EQ(readStrictValueLines(c.text, words, c.count), c.why);
    }
    std::uint16_t words[2] = {};
    ASSERT_EQ(readStrictValueLines(" 7 \r\n65535", words, 2), "");
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(words[1], 65535);
}

TEST(ValueLine, DigitsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(parseValueLine("1654\r\n"), 1654);
    EXPECT_EQ(parseValueLine(" \t 42"), 42);
    EXPECT_EQ(parseValueLine("12x34"), 12);
    EXPECT_EQ(parseValueLine("abc"), 0);
    EXPECT_EQ(parseValueLine("-5"), 0);
    // Digits keep accumulating as an unsigned 32-bit number.
    EXPECT_EQ(parseValueLine("4294967296"), 0);
    EXPECT_EQ(parseValueLine("4294967295"), -1);
}

TEST(ValueLine, LineBreaksLastLineAndLongLines) {
    std::int32_t words[4] = {-7, -7, -7, -7};
    EXPECT_EQ(readValueLinesFromText("1\r\n2\n\n x\r\n", words, 4), 4);
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(words[1], 2);
    EXPECT_EQ(words[2], 0);
    EXPECT_EQ(words[3], 0);

    // A last line without its line break is still a line; nothing beyond the end is touched.
    std::int32_t more[3] = {-7, -7, -7};
    EXPECT_EQ(readValueLinesFromText("5\n6", more, 3), 2);
    EXPECT_EQ(more[1], 6);
    EXPECT_EQ(more[2], -7);
    EXPECT_EQ(readValueLinesFromText("", more, 3), 0);

    // However long a line is, it is one value: the next line is the next word.
    std::string longLine = "123" + std::string(5000, ' ') + "999\n7\n";
    std::int32_t two[2] = {};
    EXPECT_EQ(readValueLinesFromText(longLine, two, 2), 2);
    EXPECT_EQ(two[0], 123);
    EXPECT_EQ(two[1], 7);

    TempFolder folder;
    std::string path = folder.base() + ".txt";
    writeText(path, longLine);
    two[0] = two[1] = 0;
    EXPECT_EQ(readValueLines(path, two, 2), 2);
    EXPECT_EQ(two[0], 123);
    EXPECT_EQ(two[1], 7);
    EXPECT_EQ(readValueLines(folder.base() + ".none", two, 2), -1);
}

TEST(ModelCheck, WordsEightAndNineAtMost255) {
    BankRecord r = initialBankRecordA();
    r.words[8] = 255;
    r.words[9] = 255;
    EXPECT_TRUE(bankWordsAreThisModel(r.words.data()));
    r.words[9] = 256;
    EXPECT_FALSE(bankWordsAreThisModel(r.words.data()));
    // "4294967295" in a file wraps to -1: not a model mark of this sensor.
    r.words[9] = 0;
    r.words[8] = -1;
    EXPECT_FALSE(bankWordsAreThisModel(r.words.data()));
}

TEST(InitialData, RecordsAAndB) {
    const BankRecord a = initialBankRecordA();
    const BankRecord b = initialBankRecordB();
    const std::int32_t expectedA[kBankWords] = {
        5,    0,    0, 0, 0, 0,   0,   0,     236, 208, 100,  100, 0, 0, 1, 0,
        1654, 1640, 0, 0, 0, 472, 416, 49088, 0,   7,   8192, 0,   0, 0, 0, 0};
    for (int i = 0; i < kBankWords; ++i) {
        EXPECT_EQ(a.words[static_cast<std::size_t>(i)], expectedA[i]) << "word " << i;
        const std::int32_t expectedB = i == 15 ? 100 : i == 25 ? 6 : expectedA[i];
        EXPECT_EQ(b.words[static_cast<std::size_t>(i)], expectedB) << "word " << i;
    }
    const CommonRecord c = initialCommonRecord();
    EXPECT_EQ(c.words, (std::array<std::int32_t, kCommonWords>{16, 0, 0, 0, 32}));
}

// Every other test goes through these names, so a slip in the words themselves would pass
// unseen: the operator's texts, word for word, the trailing blank included.
TEST(ParameterTexts, WordForWord) {
    EXPECT_STREQ(kInvalidFileText, "The parameters file is invalid.");
    EXPECT_STREQ(kWrongModelText, "The model of the parameters file is not ZAR4. ");
    EXPECT_STREQ(kNothingFoundQuestion, "Bank parameters file and Common parameters file are not "
                                        "found. Create an initial data. Do you agree?");
    EXPECT_STREQ(kNothingFoundText,
                 "Bank parameters file and Common parameters file are not found.");
    EXPECT_STREQ(kNoBankFileQuestion,
                 "Bank parameters file is not found. Create an initial data. Do you agree?");
    EXPECT_STREQ(kNoCommonFileQuestion,
                 "Common parameters file is not found. Create an initial data. Do you agree?");
    EXPECT_STREQ(kWriteFailedText, "Failed to write a setup file.");
    EXPECT_STREQ(kCopyDestinationQuestion, "Bank parameters file at the copy destination is not "
                                           "found. Create data. Do you agree?");
    EXPECT_STREQ(kDiscardQuestion, "Quit and Discard the edited parameters. Do you agree?");
}

TEST_F(OpenForEditing, TransferFilesAndEditorFilesLoadAlike) {
    writeWholeSet(false);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, 0);
    for (int k = 0; k < kBankCount; ++k)
        EXPECT_EQ(set.bank[static_cast<std::size_t>(k)].words, distinctBankRecord(k).words);
    EXPECT_EQ(set.common.words, distinctCommonRecord().words);

    // Saved by the editor (CR LF), then loaded again: the same set.
    ASSERT_TRUE(saveSet(set, base, messages));
    EXPECT_EQ(readText(parameterFileName(base, 0)).substr(0, 6), "1\r\n8\r\n");
    ParameterSet again;
    ASSERT_TRUE(openForEditing(again, base, messages));
    EXPECT_EQ(again.missingMask, 0);
    for (int k = 0; k < kBankCount; ++k)
        EXPECT_EQ(again.bank[static_cast<std::size_t>(k)].words,
                  set.bank[static_cast<std::size_t>(k)].words);
    EXPECT_EQ(again.common.words, set.common.words);
}

TEST_F(OpenForEditing, MissingBanksMarkTheirBitsWithoutAQuestion) {
    writeBankFile(base, 0, distinctBankRecord(0));
    writeBankFile(base, 5, distinctBankRecord(5));
    writeCommonFile(base, distinctCommonRecord());
    set.bank[3].words[0] = 4711; // a missing record keeps what it held
    ASSERT_TRUE(openForEditing(set, base, messages));
    // Bits 14-11 and 9-1 set (banks 1-4 and 6-14); bit 15 (bank 0), 10 (bank 5), 0 clear.
    EXPECT_EQ(set.missingMask, 0x7BFE);
    EXPECT_TRUE(bankPresent(set, 0));
    EXPECT_TRUE(bankPresent(set, 5));
    EXPECT_FALSE(bankPresent(set, 1));
    EXPECT_FALSE(bankPresent(set, 14));
    EXPECT_TRUE(commonPresent(set));
    EXPECT_EQ(lowestPresentBank(set), 0);
    EXPECT_EQ(set.bank[3].words[0], 4711);
}

TEST_F(OpenForEditing, ExtraLinesAreIgnoredAndAShortFileIsInvalid) {
    writeWholeSet(false);
    writeBankFile(base, 4, distinctBankRecord(4), false, 40);
    writeText(
        parameterFileName(base, kCommonItem),
        valueLines(std::vector<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32},
                   32, false));
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.bank[4].words, distinctBankRecord(4).words);
    EXPECT_EQ(set.common.words, (std::array<std::int32_t, kCommonWords>{1, 2, 3, 4, 5}));
    ASSERT_TRUE(saveSet(set, base, messages));
    EXPECT_EQ(readText(parameterFileName(base, kCommonItem)), "1\r\n2\r\n3\r\n4\r\n5\r\n");

    // One bank file of 31 lines spoils the whole set, even with every other file fine.
    writeBankFile(base, 12, distinctBankRecord(12), false, 31);
    messages.expectNotice(std::string(kInvalidFileText) + "\n" + parameterFileName(base, 12) +
                          ": holds 31 of its 32 value lines");
    EXPECT_FALSE(openForEditing(set, base, messages));
    // So does a short common file.
    writeBankFile(base, 12, distinctBankRecord(12));
    writeText(parameterFileName(base, kCommonItem), "1\n2\n3\n4\n");
    messages.expectNotice(std::string(kInvalidFileText) + "\n" +
                          parameterFileName(base, kCommonItem) + ": holds 4 of its 5 value lines");
    EXPECT_FALSE(openForEditing(set, base, messages));
}

TEST_F(OpenForEditing, ModelMarkAbove255StopsLoading) {
    writeWholeSet(false);
    BankRecord edge = distinctBankRecord(2);
    edge.words[8] = 255;
    edge.words[9] = 255;
    writeBankFile(base, 2, edge);
    ASSERT_TRUE(openForEditing(set, base, messages));

    BankRecord foreign = distinctBankRecord(7);
    foreign.words[8] = 256;
    writeBankFile(base, 7, foreign);
    writeBankFile(base, 3, distinctBankRecord(3), false, 20); // short, before the foreign one
    set.bank[9].words[0] = -1;
    messages.expectNotice(std::string(kWrongModelText) + "\n" + parameterFileName(base, 7) +
                          ": lines 9 and 10 are not both at most 255, as in a file of this "
                          "sensor model");
    EXPECT_FALSE(openForEditing(set, base, messages));
    // Loading stopped at bank 7: bank 9's file was never read.
    EXPECT_EQ(set.bank[9].words[0], -1);
}

TEST_F(OpenForEditing, ShortFileIsNotJudgedByAnEarlierSetsModelMark) {
    set.bank[6].words[8] = 300; // left over from another set
    writeWholeSet(false);
    writeBankFile(base, 6, distinctBankRecord(6), false, 5);
    messages.expectNotice(std::string(kInvalidFileText) + "\n" + parameterFileName(base, 6) +
                          ": holds 5 of its 32 value lines");
    EXPECT_FALSE(openForEditing(set, base, messages));
    messages.verify();

    // A short file that did hold a foreign mark in word 8 is judged by it: loading stops there.
    BankRecord foreign = distinctBankRecord(6);
    foreign.words[8] = 300;
    writeBankFile(base, 6, foreign, false, 9);
    set.bank[7].words[0] = -1;
    messages.expectNotice(std::string(kWrongModelText) + "\n" + parameterFileName(base, 6) +
                          ": lines 9 and 10 are not both at most 255, as in a file of this "
                          "sensor model");
    EXPECT_FALSE(openForEditing(set, base, messages));
    EXPECT_EQ(set.bank[7].words[0], -1);
}

TEST_F(OpenForEditing, NoFileAtAll) {
    messages.expectQuestion(kNothingFoundQuestion, false).expectNotice(kNothingFoundText);
    EXPECT_FALSE(openForEditing(set, base, messages));
    messages.verify();

    messages.expectQuestion(kNothingFoundQuestion, true);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, 0);
    for (const BankRecord& r : set.bank)
        EXPECT_EQ(r.words, initialBankRecordA().words);
    EXPECT_EQ(set.common.words, initialCommonRecord().words);
    // Nothing reaches the disk before a save.
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(OpenForEditing, OnlyTheCommonFile) {
    writeCommonFile(base, distinctCommonRecord());
    messages.expectQuestion(kNoBankFileQuestion, false);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, kOnlyCommonFound);
    EXPECT_FALSE(anyBankPresent(set));
    messages.verify();

    messages.expectQuestion(kNoBankFileQuestion, true);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, 0);
    for (const BankRecord& r : set.bank)
        EXPECT_EQ(r.words, initialBankRecordB().words);
    EXPECT_EQ(set.common.words, distinctCommonRecord().words);
}

TEST_F(OpenForEditing, CommonFileMissing) {
    writeBankFile(base, 14, distinctBankRecord(14));
    messages.expectQuestion(kNoCommonFileQuestion, false);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, 0xFFFF & ~bankMissingBit(14));
    EXPECT_FALSE(commonPresent(set));
    messages.verify();

    messages.expectQuestion(kNoCommonFileQuestion, true);
    ASSERT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.missingMask, 0xFFFE & ~bankMissingBit(14));
    EXPECT_EQ(set.common.words, initialCommonRecord().words);
    EXPECT_EQ(lowestPresentBank(set), 14);
}

// The editor reads leniently, but a huge file is read no further than its first 64 KiB.
TEST_F(OpenForEditing, AHugeFileIsReadOnlyAtItsStart) {
    writeWholeSet(false);
    writeBankFile(base, 3, distinctBankRecord(3), false);
    fs::resize_file(parameterFileName(base, 3), 1ull << 32); // 4 GB, sparse, after 32 lines
    EXPECT_TRUE(openForEditing(set, base, messages));
    EXPECT_EQ(set.bank[3].words, distinctBankRecord(3).words);
}

TEST_F(OpenForEditing, TooLongABaseNameTouchesNothing) {
    set.missingMask = 0x1234;
    messages.expectNotice(kBaseNameTooLongText);
    EXPECT_FALSE(openForEditing(
        set, folder.path() + "/" + std::string(251 - folder.path().size() - 1, 'n'), messages));
    EXPECT_EQ(set.missingMask, 0x1234);

    set.missingMask = 0;
    messages.expectNotice(kBaseNameTooLongText);
    EXPECT_FALSE(saveSet(set, base + std::string(250, 'n'), messages));
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

class SaveSet : public OpenForEditing {};

TEST_F(SaveSet, AFolderNameWritesNoHiddenFiles) {
    set.missingMask = 0;
    const std::string folderName = folder.path() + "/";
    messages.expectNotice("Failed to create the file.\n" + baseNameProblem(folderName));
    EXPECT_FALSE(saveSet(set, folderName, messages));
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(SaveSet, WritesPresentRecordsWithExactBytes) {
    set.common = initialCommonRecord();
    set.bank[0] = initialBankRecordA();
    set.bank[14] = initialBankRecordB();
    set.missingMask = 0xFFFE & ~bankMissingBit(0) & ~bankMissingBit(14);
    ASSERT_TRUE(saveSet(set, base, messages));
    EXPECT_EQ(readText(parameterFileName(base, kCommonItem)), "16\r\n0\r\n0\r\n0\r\n32\r\n");
    EXPECT_EQ(readText(parameterFileName(base, 0)),
              valueLines(initialBankRecordA().words, 32, true));
    EXPECT_EQ(readText(parameterFileName(base, 14)),
              valueLines(initialBankRecordB().words, 32, true));
    // Records marked missing are never written.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3);

    set.missingMask = kCommonMissingBit | bankMissingBit(0) | bankMissingBit(14);
    ParameterSet only = set;
    only.missingMask = static_cast<std::uint16_t>(~bankMissingBit(3));
    only.bank[3] = distinctBankRecord(3);
    ASSERT_TRUE(saveSet(only, folder.base("other"), messages));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 4);
    EXPECT_TRUE(fs::exists(parameterFileName(folder.base("other"), 3)));
}

TEST_F(SaveSet, StopsAtTheFirstFileThatCannotBeWritten) {
    for (int k = 0; k < kBankCount; ++k)
        set.bank[static_cast<std::size_t>(k)] = distinctBankRecord(k);
    set.common = distinctCommonRecord();
    set.missingMask = 0;
    writeText(parameterFileName(base, 9), "old bank 9\n");
    // Bank 10's file cannot be replaced: a folder with something in it stands in its place.
    fs::create_directory(parameterFileName(base, 10));
    fs::create_directory(parameterFileName(base, 10) + "/keep");

    messages.expectNotice(std::string(kWriteFailedText) + "\n" + parameterFileName(base, 10) +
                          ": is a folder");
    EXPECT_FALSE(saveSet(set, base, messages));
    // Written in the order common, 14, 13, 12, 11: those are there; 10 failed; 9 down to 0
    // were never touched.
    EXPECT_EQ(readText(parameterFileName(base, kCommonItem)),
              valueLines(distinctCommonRecord().words, kCommonWords, true));
    for (int k = 11; k <= 14; ++k)
        EXPECT_EQ(readText(parameterFileName(base, k)),
                  valueLines(distinctBankRecord(k).words, kBankWords, true))
            << "bank " << k;
    EXPECT_TRUE(fs::exists(parameterFileName(base, 10) + "/keep"));
    EXPECT_EQ(readText(parameterFileName(base, 9)), "old bank 9\n");
    for (int k = 0; k < 9; ++k)
        EXPECT_FALSE(fs::exists(parameterFileName(base, k))) << "bank " << k;
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 7);
}

} // namespace
} // namespace zar4::test
