#include "params/parameter_fields.h"

#include <gtest/gtest.h>

namespace zar4::test {
namespace {

struct FieldBits {
    int word;
    std::uint32_t mask;
};

template <typename Field> void expectBits(Field field, FieldBits bits, int wordCount) {
    const FieldInfo& info = fieldInfo(field);
    SCOPED_TRACE(info.name);
    ASSERT_EQ(info.word, bits.word);
    std::vector<std::int32_t> words(static_cast<std::size_t>(wordCount), 0);
    // Every bit of the field set, nothing else.
    setFieldValue(words.data(), info, 0x7FFFFFFF);
    for (int w = 0; w < wordCount; ++w)
        EXPECT_EQ(static_cast<std::uint32_t>(words[static_cast<std::size_t>(w)]),
                  w == bits.word ? bits.mask : 0u)
            << "word " << w;
    // Cleared inside a word of ones: only the field's bits go.
    std::fill(words.begin(), words.end(), 0xFFFF);
    setFieldValue(words.data(), info, 0);
    EXPECT_EQ(static_cast<std::uint32_t>(words[static_cast<std::size_t>(bits.word)]),
              0xFFFFu & ~bits.mask);
    // The largest stored value reads back through the same bits.
    setFieldValue(words.data(), info, info.maxValue);
    EXPECT_EQ(fieldValue(words.data(), info), info.maxValue);
}

TEST(ParameterFields, EachParameterOwnsItsBits) {
    expectBits(BankField::Search, {0, 0x001F}, kBankWords);
    expectBits(BankField::JudgLvl, {4, 0x3FFF}, kBankWords);
    expectBits(BankField::BkgdLvl, {5, 0x3FFF}, kBankWords);
    expectBits(BankField::Light, {14, 0x0003}, kBankWords);
    expectBits(BankField::SearchMd, {14, 0x8000}, kBankWords);
    expectBits(BankField::Shutter, {15, 0x00FF}, kBankWords);
    expectBits(BankField::Zoom, {20, 0x001F}, kBankWords);
    expectBits(BankField::ColorFil, {26, 0xE000}, kBankWords);
    expectBits(BankField::Threshld, {27, 0x00FF}, kBankWords);
    expectBits(CommonField::OffDelay, {2, 0x7FFF}, kCommonWords);
    expectBits(CommonField::OneShot, {2, 0x8000}, kCommonWords);
    expectBits(CommonField::Synchro, {4, 0x0038}, kCommonWords);
    expectBits(CommonField::Communic, {4, 0x0700}, kCommonWords);
    expectBits(CommonField::LcdView, {4, 0x0800}, kCommonWords);

    // BANK and ONDELAY are whole words.
    CommonRecord c = initialCommonRecord();
    EXPECT_EQ(fieldValue(c.words.data(), fieldInfo(CommonField::Bank)), 16);
    setFieldValue(c.words.data(), fieldInfo(CommonField::OnDelay), 70000);
    EXPECT_EQ(c.words[3], 70000);
    EXPECT_EQ(fieldValue(c.words.data(), fieldInfo(CommonField::Synchro)), 4);
}

TEST(ParameterFields, ListItemsAndPositions) {
    const auto bank = listItems(fieldInfo(CommonField::Bank));
    ASSERT_EQ(bank.size(), 17u);
    EXPECT_EQ(bank[0], "0");
    EXPECT_EQ(bank[14], "14");
    EXPECT_EQ(bank[15], "TCH");
    EXPECT_EQ(bank[16], "BKIN");
    EXPECT_EQ(listItems(fieldInfo(BankField::Zoom)).size(), 20u);
    EXPECT_EQ(listItems(fieldInfo(BankField::Search)).back(), "25");
    EXPECT_EQ(listItems(fieldInfo(CommonField::Communic)).size(), 6u);
    EXPECT_EQ(listItems(fieldInfo(CommonField::Synchro)).size(), 5u);
    EXPECT_EQ(listItems(fieldInfo(BankField::ColorFil)).size(), 6u);
    EXPECT_EQ(listItems(fieldInfo(BankField::Light)).size(), 4u);
    EXPECT_EQ(listPosition(16, 17), 16);
    EXPECT_EQ(listPosition(17, 17), -1);
    EXPECT_EQ(listPosition(-1, 17), -1);

    EXPECT_STREQ(fieldInfo(CommonField::OffDelay).caption, "(OFF Delay Time\xEF\xBC\x89");
    EXPECT_STREQ(fieldInfo(BankField::BkgdLvl).caption, "(Bkgd Edge-pix threshold)");
}

TEST(ParameterFields, TypedNumbersAreNeverRefused) {
    EXPECT_EQ(typedNumber("300", 226), 226);
    EXPECT_EQ(typedNumber("226", 226), 226);
    EXPECT_EQ(typedNumber("-5", 5000), 5000);
    EXPECT_EQ(typedNumber("  -1", 255), 255);
    EXPECT_EQ(typedNumber("-0", 255), 0);
    EXPECT_EQ(typedNumber("abc", 255), 0);
    EXPECT_EQ(typedNumber("", 255), 0);
    EXPECT_EQ(typedNumber("-", 255), 0);
    EXPECT_EQ(typedNumber(" 42abc", 255), 42);
    EXPECT_EQ(typedNumber("+7", 255), 7);
    // Far past any range, even past 32 bits: still the maximum, never a wrapped small number.
    EXPECT_EQ(typedNumber("4294967296", 9999), 9999);
    EXPECT_EQ(typedNumber(std::string(400, '9'), 5000), 5000);
}

BankRecord withArea(std::int32_t w10, std::int32_t w11, int zoom) {
    BankRecord r = initialBankRecordA();
    r.words[10] = w10;
    r.words[11] = w11;
    setFieldValue(r.words.data(), fieldInfo(BankField::Zoom), zoom);
    return r;
}

TEST(AutomaticLevel, AreaBandsAndZoomCaps) {
    EXPECT_EQ(automaticLevel(initialBankRecordA()), 33);
    EXPECT_EQ(automaticLevel(withArea(511, 1, 0)), 10);
    EXPECT_EQ(automaticLevel(withArea(512, 1, 0)), 11);
    EXPECT_EQ(automaticLevel(withArea(1023, 1, 0)), 11);
    EXPECT_EQ(automaticLevel(withArea(1024, 1, 0)), 12);
    EXPECT_EQ(automaticLevel(withArea(2048, 1, 0)), 15);
    EXPECT_EQ(automaticLevel(withArea(4096, 1, 0)), 21);
    EXPECT_EQ(automaticLevel(withArea(8192, 1, 0)), 33);
    EXPECT_EQ(automaticLevel(withArea(16384, 1, 0)), 57);
    EXPECT_EQ(automaticLevel(withArea(32767, 1, 0)), 57);
    EXPECT_EQ(automaticLevel(withArea(32768, 1, 0)), 105);
    // No overflow from the largest words.
    EXPECT_EQ(automaticLevel(withArea(65535, 65535, 0)), 105);

    EXPECT_EQ(automaticLevel(withArea(100, 100, 19)), 15);
    EXPECT_EQ(automaticLevel(withArea(200, 200, 3)), 57);
    for (int zoom : {3, 6, 11, 14})
        EXPECT_EQ(automaticLevel(withArea(200, 200, zoom)), 57) << zoom;
    for (int zoom : {7, 15, 16})
        EXPECT_EQ(automaticLevel(withArea(200, 200, zoom)), 33) << zoom;
    for (int zoom : {17, 18})
        EXPECT_EQ(automaticLevel(withArea(200, 200, zoom)), 21) << zoom;
    for (int zoom : {0, 1, 2, 8, 9, 10, 20, 31})
        EXPECT_EQ(automaticLevel(withArea(200, 200, zoom)), 105) << zoom;
    // A cap never raises a level.
    EXPECT_EQ(automaticLevel(withArea(511, 1, 19)), 10);
}

TEST(AutoBoxes, TickAndClearChangeOnlyWhatTheyShould) {
    BankRecord r = initialBankRecordA();
    r.words[15] = 0x1200 | 90;
    r.words[27] = 0x3400 | 40;
    EXPECT_EQ(tickAuto(r, BankField::Shutter), "");
    EXPECT_EQ(r.words[15], 0x1200);
    EXPECT_TRUE(isAuto(r, BankField::Shutter));
    EXPECT_EQ(clearAuto(r, BankField::Shutter, ""), "70");
    EXPECT_EQ(r.words[15], 0x1200 | 70);
    EXPECT_EQ(tickAuto(r, BankField::Threshld), "");
    EXPECT_EQ(r.words[27], 0x3400);
    EXPECT_EQ(clearAuto(r, BankField::Threshld, "whatever"), "35");
    EXPECT_EQ(r.words[27], 0x3400 | 35);

    // The levels: ticking zeroes the whole word and shows the automatic level, which clearing
    // keeps as the manual value.
    r.words[5] = 0xC000 | 500;
    EXPECT_EQ(tickAuto(r, BankField::BkgdLvl), "33");
    EXPECT_EQ(r.words[5], 0);
    EXPECT_EQ(numberText(r, BankField::BkgdLvl), "33");
    EXPECT_EQ(clearAuto(r, BankField::BkgdLvl, "33"), "33");
    EXPECT_EQ(r.words[5], 33);
    r.words[4] = 12;
    EXPECT_EQ(tickAuto(r, BankField::JudgLvl), "33");
    EXPECT_EQ(r.words[4], 0);
    EXPECT_EQ(clearAuto(r, BankField::JudgLvl, "15"), "15");
    EXPECT_EQ(r.words[4], 15);
}

TEST(CommitRules, NumbersAndListsStoreIntoTheirBits) {
    BankRecord r = initialBankRecordA();
    // SHUTTER and THRESHLD replace their whole word.
    r.words[15] = 0x5500;
    commitNumber(r, BankField::Shutter, "300");
    EXPECT_EQ(r.words[15], 226);
    r.words[27] = 0x5500 | 9;
    commitNumber(r, BankField::Threshld, "letters");
    EXPECT_EQ(r.words[27], 0);
    EXPECT_TRUE(isAuto(r, BankField::Threshld));
    EXPECT_EQ(numberText(r, BankField::Threshld), "");
    // The levels keep bits 14 and 15.
    r.words[5] = 0xC000;
    commitNumber(r, BankField::BkgdLvl, "12345");
    EXPECT_EQ(r.words[5], 0xC000 | 9999);
    EXPECT_EQ(numberText(r, BankField::BkgdLvl), "9999");

    CommonRecord c = initialCommonRecord();
    c.words[2] = 0x8000 | 7;
    commitNumber(c, CommonField::OffDelay, "-5");
    EXPECT_EQ(c.words[2], 0x8000 | 5000);
    commitNumber(c, CommonField::OnDelay, "5001");
    EXPECT_EQ(c.words[3], 5000);
    EXPECT_EQ(numberText(c, CommonField::OffDelay), "5000");

    // A list without a selection keeps the stored bits.
    c.words[4] = (7 << 8) | 32;
    commitList(c, CommonField::Communic, -1);
    EXPECT_EQ(c.words[4], (7 << 8) | 32);
    commitList(c, CommonField::Communic, 5);
    EXPECT_EQ(c.words[4], (5 << 8) | 32);
    c.words[0] = 17;
    commitList(c, CommonField::Bank, -1);
    EXPECT_EQ(c.words[0], 17);
    commitList(c, CommonField::Bank, 16);
    EXPECT_EQ(c.words[0], 16);
    commitList(r, BankField::ColorFil, 5);
    EXPECT_EQ(r.words[26], 5 << 13);
}

} // namespace
} // namespace zar4::test
