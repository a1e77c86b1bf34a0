#pragma once
// A folder of its own for each safe-writer test, and what a test looks at in it afterwards.

#include "common/safe_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zar4::test {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }
    std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Names in the folder, so a test sees any temporary file left behind.
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        return names;
    }
    TempFolder folder_{"zar4-safefile"};
    std::string dir_ = folder_.path();
};

} // namespace zar4::test
