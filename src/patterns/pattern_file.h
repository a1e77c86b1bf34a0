#pragma once
// Pattern image files: 24-bit bitmaps of exactly 147318 bytes (54-byte header, 208 stored
// rows of 236 pixels, blue-green-red), with the mask flag carried inside the pixel bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zar4 {

constexpr int kPatternRows = 208;
constexpr int kPatternColumns = 236;
constexpr int kPatternHeaderSize = 54;
constexpr int kPatternRasterSize = kPatternRows * kPatternColumns * 3;    // 147264
constexpr int kPatternFileSize = kPatternHeaderSize + kPatternRasterSize; // 147318

// base + ".pt%X.bmp" for banks 0-14, ".cmp.bmp" for 15 (and above).
std::string patternFileName(const std::string& base, int bank);

// The header every writer produces, byte for byte.
std::array<std::uint8_t, kPatternHeaderSize> patternHeader();
// The test the write transfer makes: "BM", size 147318 in bytes 2-4, 24 bits per pixel.
bool headerAcceptedForSending(const std::uint8_t* header);
// Why the bytes of a pattern file would not be sent to the sensor, or empty when they would:
// a file is sent only when it holds exactly 147318 bytes and its header passes
// headerAcceptedForSending. `more` says the file holds more than `bytes` (a bounded read
// stopped there). The words follow "<path>: ": "holds 100000 bytes, not the 147318 of a
// pattern file", "holds more than the 147318 bytes of a pattern file", "has no header of a
// 24-bit pattern file".
std::string patternFileDamage(std::string_view bytes, bool more);

// Sensor word <-> the three file bytes (blue, green, red).
void wordToFilePixel(std::uint16_t word, std::uint8_t* bgr);
std::uint16_t filePixelToWord(const std::uint8_t* bgr);

bool isMasked(const std::uint8_t* bgr);
// maskPixel turns an unmasked pixel into the masked form of the same fields (the blue field's
// lowest bit, the flag, forced to 1); unmaskPixel turns a masked pixel into the unmasked form
// with the flag cleared. Each leaves a pixel that is already in the wanted state untouched, so
// a second call can never scramble its colour.
void maskPixel(std::uint8_t* bgr);
void unmaskPixel(std::uint8_t* bgr);

// The raster of one pattern: stored row k, pixel c at byte (k * 236 + c) * 3.
struct PatternImage {
    std::array<std::uint8_t, kPatternRasterSize> raster{};
    std::uint8_t* pixel(int row, int column) {
        return &raster[(row * kPatternColumns + column) * 3];
    }
    const std::uint8_t* pixel(int row, int column) const {
        return &raster[(row * kPatternColumns + column) * 3];
    }
};

using PatternHeader = std::array<std::uint8_t, kPatternHeaderSize>;

// The editor's load: the first 54 bytes of the file into `header`, the next 147264 into
// `image`, with no check of the header. A file shorter than 147318 bytes fills what it has;
// the header and raster bytes beyond its end keep the values they held before the call.
// Returns false, changing nothing, when the file cannot be opened for reading (missing,
// unreadable, or not a regular file such as a folder).
// `failure`, when given, receives "<path>: <why>" when the file cannot be opened; `damage`
// receives "<path>: <why>" when it was loaded but would not be sent as it is (see
// patternFileDamage), and is emptied otherwise.
bool loadPatternForEditing(const std::string& path, PatternHeader& header, PatternImage& image,
                           std::string* failure = nullptr, std::string* damage = nullptr);

// The same load from bytes already in memory. Returns how many bytes were taken (at most
// 147318); the bytes of header and raster beyond them keep their previous values.
std::size_t loadPatternFromBytes(const std::uint8_t* data, std::size_t size, PatternHeader& header,
                                 PatternImage& image);

// The whole file content for `image`: a freshly built header followed by the raster,
// exactly 147318 bytes.
std::string patternFileBytes(const PatternImage& image);

// The editor's save: the header built afresh (whatever header was loaded) and the raster,
// written through writeFileSafely. False on any failure; the previous file is then untouched
// and `failure`, when given, receives "<path>: <why>".
bool savePattern(const std::string& path, const PatternImage& image,
                 std::string* failure = nullptr);

// "Edit Patterns": bit k (1 << k) set for every bank k of 0-14 whose pattern file
// patternFileName(base, k) cannot be opened for reading the way loadPatternForEditing opens
// it. 0x7FFF (kNoPatternFiles) means no pattern file at all.
std::uint16_t findMissingPatterns(const std::string& base);
constexpr std::uint16_t kNoPatternFiles = 0x7FFF;

} // namespace zar4
