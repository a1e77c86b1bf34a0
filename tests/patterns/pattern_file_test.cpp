#include "patterns/pattern_file.h"
#include "patterns/pattern_file_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zar4::test {
namespace {

TEST(PatternFileName, BankDigitIsUpperCaseHexAndFifteenIsCompensation) {
    EXPECT_EQ(patternFileName("line1", 0), "line1.pt0.bmp");
    EXPECT_EQ(patternFileName("line1", 10), "line1.ptA.bmp");
    EXPECT_EQ(patternFileName("line1", 14), "line1.ptE.bmp");
    EXPECT_EQ(patternFileName("line1", 15), "line1.cmp.bmp");
    EXPECT_EQ(patternFileName("/data/a.b", 3), "/data/a.b.pt3.bmp"); // extension kept
}

TEST(PatternHeader, EveryFieldLittleEndianAndTheRestZero) {
    std::array<std::uint8_t, 54> want{};
    auto put = [&want](int at, std::uint32_t v, int width) {
        for (int i = 0; i < width; ++i) {
            want[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(0, 0x4D42, 2);
    put(2, 147318, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, 236, 4);
    put(22, 208, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, 147264, 4);
    EXPECT_EQ(patternHeader(), want);
}

TEST(PatternHeader, SendingChecksSignatureSizeAndDepthOnly) {
    auto h = patternHeader();
    EXPECT_TRUE(headerAcceptedForSending(h.data()));
    for (int at : {0, 1, 2, 3, 4, 28}) {
        auto bad = h;
        bad[at] ^= 0x01;
        EXPECT_FALSE(headerAcceptedForSending(bad.data())) << "byte " << at;
    }
    h[10] = 0x99; // another pixel offset is not looked at
    h[22] = 0x00;
    EXPECT_TRUE(headerAcceptedForSending(h.data()));
}

TEST(PixelEncoding, KnownWordsAndEveryWordRoundTrips) {
    std::uint8_t p[3];
    wordToFilePixel(0x0001, p);
    EXPECT_EQ(p[0], 0xE1);
    EXPECT_EQ(p[1], 0x00);
    EXPECT_EQ(p[2], 0x00);
    EXPECT_TRUE(isMasked(p));
    wordToFilePixel(0xFFFE, p);
    EXPECT_EQ(p[0], 0xF0);
    EXPECT_EQ(p[1], 0xFC);
    EXPECT_EQ(p[2], 0xF8);
    EXPECT_FALSE(isMasked(p)); // 0xF0 has the flag bit clear
    for (unsigned w = 0; w <= 0xFFFF; ++w) {
        wordToFilePixel(static_cast<std::uint16_t>(w), p);
        ASSERT_EQ(filePixelToWord(p), w);
        ASSERT_EQ(isMasked(p), (w & 1u) != 0) << w;
    }
}

TEST(PixelMasking, MaskAndUnmaskAreExactInversesOnEveryWellFormedPixel) {
    for (unsigned w = 0; w <= 0xFFFF; w += 2) { // every unmasked word
        std::uint8_t plain[3], masked[3], p[3];
        wordToFilePixel(static_cast<std::uint16_t>(w), plain);
        wordToFilePixel(static_cast<std::uint16_t>(w | 1u), masked);
        std::copy(plain, plain + 3, p);
        maskPixel(p);
        ASSERT_TRUE(std::equal(p, p + 3, masked)) << w;
        maskPixel(p); // already masked: left alone
        ASSERT_TRUE(std::equal(p, p + 3, masked)) << w;
        unmaskPixel(p);
        ASSERT_TRUE(std::equal(p, p + 3, plain)) << w;
        unmaskPixel(p);
        ASSERT_TRUE(std::equal(p, p + 3, plain)) << w;
    }
}

TEST(PixelMasking, OddFormsFollowTheByteRules) {
    std::uint8_t p[3] = {0x08, 0x10, 0x18}; // blue 0x08: no writer produces it
    maskPixel(p);
    EXPECT_EQ(p[0], 0xE1);
    EXPECT_EQ(p[1], 0x04);
    EXPECT_EQ(p[2], 0x03);
    unmaskPixel(p);
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 0x10);
    EXPECT_EQ(p[2], 0x18);
    std::uint8_t q[3] = {0xE1, 0, 0};
    EXPECT_TRUE(isMasked(q));
    EXPECT_EQ(filePixelToWord(q) & 0x1F, 1);
}

TEST_F(PatternFileTest, SaveWritesFreshHeaderAndRasterAndLoadReadsThemBack) {
    const std::string path = dir_ + "/p.pt2.bmp";
    // A file with a foreign header loads without complaint...
    std::string foreign(kPatternFileSize + 10, '\x5A');
    writeAll(path, foreign);
    PatternHeader header{};
    PatternImage image;
    ASSERT_TRUE(loadPatternForEditing(path, header, image));
    EXPECT_EQ(header[0], 0x5A);
    EXPECT_EQ(image.raster.front(), 0x5A);
    EXPECT_EQ(image.raster.back(), 0x5A);
    // ...and is saved with the standard header whatever was loaded.
    image = numberedImage();
    ASSERT_TRUE(savePattern(path, image));
    const std::string bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 147318u);
    const auto want = patternHeader();
    EXPECT_EQ(bytes.compare(0, 54, std::string(want.begin(), want.end())), 0);
    EXPECT_EQ(
        bytes.compare(54, std::string::npos, std::string(image.raster.begin(), image.raster.end())),
        0);
    PatternImage back;
    ASSERT_TRUE(loadPatternForEditing(path, header, back));
    EXPECT_EQ(back.raster, image.raster);
    EXPECT_EQ(header, want);
}

TEST_F(PatternFileTest, ShortFileKeepsPreviousBytesBeyondItsEnd) {
    const std::string path = dir_ + "/short.bmp";
    writeAll(path, std::string(54 + 300, '\x11'));
    PatternHeader header{};
    PatternImage image = numberedImage();
    const PatternImage before = image;
    ASSERT_TRUE(loadPatternForEditing(path, header, image));
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(image.raster[i], 0x11);
    }
    EXPECT_TRUE(
        std::equal(image.raster.begin() + 300, image.raster.end(), before.raster.begin() + 300));

    // Shorter than the header: the raster is untouched, the header filled as far as it goes.
    writeAll(path, std::string(10, '\x22'));
    header.fill(0x33);
    ASSERT_TRUE(loadPatternForEditing(path, header, image));
    EXPECT_EQ(header[9], 0x22);
    EXPECT_EQ(header[10], 0x33);
    EXPECT_EQ(image.raster[0], 0x11);
}

TEST_F(PatternFileTest, MissingFolderOrUnwritableTargetFailWithoutChanges) {
    PatternHeader header{};
    PatternImage image = numberedImage();
    const PatternImage before = image;
    EXPECT_FALSE(loadPatternForEditing(dir_ + "/absent.bmp", header, image));
    EXPECT_FALSE(loadPatternForEditing(dir_, header, image)); // a folder is no pattern file
    EXPECT_EQ(image.raster, before.raster);
    EXPECT_FALSE(savePattern(dir_ + "/no/such/folder/x.bmp", image));
}

TEST_F(PatternFileTest, MissingPatternsMaskHasOneBitPerBank) {
    const std::string base = dir_ + "/line1";
    EXPECT_EQ(findMissingPatterns(base), kNoPatternFiles);
    writeAll(patternFileName(base, 7), "x");
    writeAll(patternFileName(base, 15), "x"); // compensation file does not count
    EXPECT_EQ(findMissingPatterns(base), 0x7FFF & ~(1u << 7));
    std::filesystem::create_directory(patternFileName(base, 3));
    EXPECT_EQ(findMissingPatterns(base), 0x7FFF & ~(1u << 7));
}

TEST(PatternBytes, InMemoryLoaderTakesAtMostOneFile) {
    std::string bytes(kPatternFileSize + 100, '\x44');
    PatternHeader header{};
    PatternImage image;
    EXPECT_EQ(loadPatternFromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size(), header, image),
              static_cast<std::size_t>(kPatternFileSize));
    EXPECT_EQ(patternFileBytes(image).size(), static_cast<std::size_t>(kPatternFileSize));
}

} // namespace
} // namespace zar4::test
