#pragma once
// A PNG file from RGB bytes, without any library: the pixels go uncompressed (stored deflate
// blocks), which every viewer reads; a pattern picture is about 150 kB.

#include <cstdint>
#include <string>
#include <vector>

namespace zar4::ctl {

// The whole file for a picture of `width` x `height` pixels, `rgb` holding 3 bytes a pixel,
// row by row from the top.
std::string encodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

// The checksums of the format, for the tests' reader too.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size);

} // namespace zar4::ctl
