#pragma once
// A folder of its own for each pattern file test, and pattern bytes to compare.

#include "patterns/pattern_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace zar4::test {

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline PatternImage numberedImage() {
    PatternImage image;
    for (std::size_t i = 0; i < image.raster.size(); ++i) {
        image.raster[i] = static_cast<std::uint8_t>(i * 7 + i / 236);
    }
    return image;
}

class PatternFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }
    TempFolder folder_{"zar4-patterns"};
    std::string dir_ = folder_.path();
};

} // namespace zar4::test
