#pragma once
// The settings file the tests compare against, and how they read a file back.

#include <fstream>
#include <iterator>
#include <string>

namespace zar4::test {

inline const std::string kDefaultFile("0\n4\n0\n14\n1\n1\n1\nUntitled", 23);

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace zar4::test
