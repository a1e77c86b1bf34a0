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
    // Each band at its upper bound and one past it.
    const std::pair<std::int32_t, int> bands[] = {
        {511, 10},  {512, 11},  {1023, 11}, {1024, 12},  {2047, 12},  {2048, 15},  {4095, 15},
        {4096, 21}, {8191, 21}, {8192, 33}, {16383, 33}, {16384, 57}, {32767, 57}, {32768, 105}};
    for (const auto& [area, level] : bands)
        EXPECT_EQ(automaticLevel(withArea(area, 1, 0)), level) << "area " << area;
    // No overflow from the largest words.
    EXPECT_EQ(automaticLevel(withArea(65535, 65535, 0)), 105);

    const std::pair<int, int> caps[] = {
        {3, 57},  {6, 57},  {11, 57}, {14, 57}, {7, 33},  {15, 33},  {16, 33},  {17, 21},
        {18, 21}, {19, 15}, {0, 105}, {2, 105}, {8, 105}, {10, 105}, {20, 105}, {31, 105}};
    for (const auto& [zoom, level] : caps)
        EXPECT_EQ(automaticLevel(withArea(200, 200, zoom)), level) << "zoom " << zoom;
    // A cap never raises a level.
    EXPECT_EQ(automaticLevel(withArea(511, 1, 19)), 10);
}

} // namespace
} // namespace zar4::test
