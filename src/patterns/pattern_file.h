#pragma once
// Pattern image files: 24-bit bitmaps of exactly 147318 bytes (54-byte header, 208 stored
// rows of 236 pixels, blue-green-red), with the mask flag carried inside the pixel bytes.

#include <array>
#include <cstdint>
#include <string>

namespace zar4 {

constexpr int kPatternRows = 208;
constexpr int kPatternColumns = 236;
constexpr int kPatternHeaderSize = 54;
constexpr int kPatternRasterSize = kPatternRows * kPatternColumns * 3; // 147264
constexpr int kPatternFileSize = kPatternHeaderSize + kPatternRasterSize; // 147318

// base + ".pt%X.bmp" for banks 0-14, ".cmp.bmp" for 15 (and above).
std::string patternFileName(const std::string& base, int bank);

// The header every writer produces, byte for byte.
std::array<std::uint8_t, kPatternHeaderSize> patternHeader();
// The test the write transfer makes: "BM", size 147318 in bytes 2-4, 24 bits per pixel.
bool headerAcceptedForSending(const std::uint8_t* header);

// Sensor word <-> the three file bytes (blue, green, red).
void wordToFilePixel(std::uint16_t word, std::uint8_t* bgr);
std::uint16_t filePixelToWord(const std::uint8_t* bgr);

bool isMasked(const std::uint8_t* bgr);
void maskPixel(std::uint8_t* bgr);   // for a pixel that is not masked
void unmaskPixel(std::uint8_t* bgr); // for a masked pixel

// The raster of one pattern: stored row k, pixel c at byte (k * 236 + c) * 3.
struct PatternImage {
    std::array<std::uint8_t, kPatternRasterSize> raster{};
    std::uint8_t* pixel(int row, int column) { return &raster[(row * kPatternColumns + column) * 3]; }
    const std::uint8_t* pixel(int row, int column) const {
        return &raster[(row * kPatternColumns + column) * 3];
    }
};

} // namespace zar4
