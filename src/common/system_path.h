#pragma once
// Names for the standard library's file calls (std::filesystem, file streams).

#include <filesystem>
#include <string>

namespace zar4 {

// The standard library's path for a UTF-8 name. On Windows a path made from a narrow string is
// read in the C library's code page, which mangles every name outside ASCII (é\b, 日本語\b):
// this one is made from the UTF-16 name.
std::filesystem::path systemPath(const std::string& utf8);

} // namespace zar4
