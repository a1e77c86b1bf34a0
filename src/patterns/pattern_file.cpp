#include "patterns/pattern_file.h"

#include "common/file_access.h"
#include "common/safe_file.h"

#include <cstdio>
#include <cstring>

namespace zar4 {

std::string patternFileName(const std::string& base, int bank) {
    if (bank >= 0 && bank <= 14) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".pt%X.bmp", static_cast<unsigned>(bank));
        return base + suffix;
    }
    return base + ".cmp.bmp";
}

std::array<std::uint8_t, kPatternHeaderSize> patternHeader() {
    std::array<std::uint8_t, kPatternHeaderSize> h{};
    h[0] = 0x42; // "BM"
    h[1] = 0x4D;
    h[2] = 0x76; // file size 147318
    h[3] = 0x3F;
    h[4] = 0x02;
    h[10] = 0x36; // pixels at 54
    h[14] = 0x28; // 40-byte information header
    h[18] = 0xEC; // 236 wide
    h[22] = 0xD0; // 208 high, stored bottom-up
    h[26] = 0x01; // one plane
    h[28] = 0x18; // 24 bits per pixel
    h[34] = 0x40; // image size 147264
    h[35] = 0x3F;
    h[36] = 0x02;
    return h;
}

bool headerAcceptedForSending(const std::uint8_t* header) {
    return header[0] == 0x42 && header[1] == 0x4D && header[2] == 0x76 && header[3] == 0x3F &&
           header[4] == 0x02 && header[28] == 0x18;
}

std::string patternFileDamage(std::string_view bytes, bool more) {
    if (more || bytes.size() > static_cast<std::size_t>(kPatternFileSize))
        return "holds more than the 147318 bytes of a pattern file";
    if (bytes.size() != static_cast<std::size_t>(kPatternFileSize))
        return "holds " + std::to_string(bytes.size()) + " bytes, not the 147318 of a pattern file";
    if (!headerAcceptedForSending(reinterpret_cast<const std::uint8_t*>(bytes.data())))
        return "has no header of a 24-bit pattern file";
    return {};
}

void wordToFilePixel(std::uint16_t word, std::uint8_t* bgr) {
    const unsigned w = word;
    if (w & 1u) {
        bgr[0] = static_cast<std::uint8_t>((w & 0x1Fu) | 0xE0u);
        bgr[1] = static_cast<std::uint8_t>((w >> 10) & 0x3Fu);
        bgr[2] = static_cast<std::uint8_t>((w >> 5) & 0x1Fu);
    } else {
        bgr[0] = static_cast<std::uint8_t>((w & 0x1Fu) << 3);
        bgr[1] = static_cast<std::uint8_t>(((w >> 10) & 0x3Fu) << 2);
        bgr[2] = static_cast<std::uint8_t>(((w >> 5) & 0x1Fu) << 3);
    }
}

std::uint16_t filePixelToWord(const std::uint8_t* bgr) {
    const unsigned blue = bgr[0];
    const unsigned green = bgr[1];
    const unsigned red = bgr[2];
    // The sensor side looks at the flag bit of the blue byte alone; on every pixel written by
    // this program that agrees with isMasked().
    if (blue & 1u) {
        return static_cast<std::uint16_t>((blue & 0x1Fu) | ((red << 5) & 0x3E0u) |
                                          ((green << 10) & 0xFC00u));
    }
    return static_cast<std::uint16_t>(((blue >> 3) & 0x1Fu) | ((red << 2) & 0x3E0u) |
                                      ((green << 8) & 0xFC00u));
}

bool isMasked(const std::uint8_t* bgr) {
    return (bgr[0] & 0xE1u) == 0xE1u;
}

void maskPixel(std::uint8_t* bgr) {
    if (isMasked(bgr)) {
        return; // masking twice would shift the colour fields away
    }
    bgr[0] = static_cast<std::uint8_t>((bgr[0] >> 3) | 0xE1u);
    bgr[1] = static_cast<std::uint8_t>(bgr[1] >> 2);
    bgr[2] = static_cast<std::uint8_t>(bgr[2] >> 3);
}

void unmaskPixel(std::uint8_t* bgr) {
    if (!isMasked(bgr)) {
        return;
    }
    bgr[0] = static_cast<std::uint8_t>((bgr[0] & 0x1Eu) << 3);
    bgr[1] = static_cast<std::uint8_t>((bgr[1] << 2) & 0xFFu);
    bgr[2] = static_cast<std::uint8_t>((bgr[2] << 3) & 0xFFu);
}

std::size_t loadPatternFromBytes(const std::uint8_t* data, std::size_t size, PatternHeader& header,
                                 PatternImage& image) {
    if (data == nullptr) {
        return 0;
    }
    const std::size_t headerBytes = size < header.size() ? size : header.size();
    std::memcpy(header.data(), data, headerBytes);
    const std::size_t rest = size - headerBytes;
    const std::size_t rasterBytes = rest < image.raster.size() ? rest : image.raster.size();
    std::memcpy(image.raster.data(), data + headerBytes, rasterBytes);
    return headerBytes + rasterBytes;
}

bool loadPatternForEditing(const std::string& path, PatternHeader& header, PatternImage& image,
                           std::string* failure, std::string* damage) {
    // Only a plain file counts: a folder would "open" and then read as nothing, and a pipe
    // would hang the editor. The bytes are read into a scratch copy first so that a short
    // file leaves the bytes beyond its end exactly as they were.
    const FileRead file = readRegularFile(path, kPatternFileSize, BeyondLimit::Ignore);
    if (file.status != FileRead::Status::Ok) {
        if (failure)
            *failure = file.reason;
        return false;
    }
    if (damage) {
        const std::string why = patternFileDamage(file.bytes, file.truncated);
        *damage = why.empty() ? std::string() : fileReason(path, why);
    }
    loadPatternFromBytes(reinterpret_cast<const std::uint8_t*>(file.bytes.data()),
                         file.bytes.size(), header, image);
    return true;
}

std::string patternFileBytes(const PatternImage& image) {
    const PatternHeader header = patternHeader();
    std::string bytes;
    bytes.reserve(kPatternFileSize);
    bytes.append(reinterpret_cast<const char*>(header.data()), header.size());
    bytes.append(reinterpret_cast<const char*>(image.raster.data()), image.raster.size());
    return bytes;
}

bool savePattern(const std::string& path, const PatternImage& image, std::string* failure) {
    return writeFileSafely(path, patternFileBytes(image), failure);
}

std::uint16_t findMissingPatterns(const std::string& base) {
    std::uint16_t missing = 0;
    for (int bank = 0; bank <= 14; ++bank) {
        const std::string name = patternFileName(base, bank);
        if (fileInfo(name).kind != FileKind::Regular || !fileIsReadable(name)) {
            missing = static_cast<std::uint16_t>(missing | (1u << bank));
        }
    }
    return missing;
}

} // namespace zar4
