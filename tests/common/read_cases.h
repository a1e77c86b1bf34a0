#pragma once
// Rows of the table of things a data file's name may stand for, and what reading them gives:
// the rows both systems share are in file_access_test.cpp, each system's own forms in its
// file_access_<system>_test.cpp.

#include "common/file_access.h"

#include <functional>
#include <string>
#include <vector>

namespace zar4::test {

struct ReadCase {
    const char* what;
    // Makes the thing at the given path; returns the path to read (the given one unless the
    // thing has a fixed name of the system's, such as a device).
    std::function<std::string(const std::string&)> make;
    FileRead::Status status;
    const char* reason; // what follows "<path>: "; nullptr: the system's own words
};

// A ReadCase::make for a thing made at the given path itself.
template <typename Make> std::function<std::string(const std::string&)> madeAt(Make make) {
    return [make](const std::string& path) {
        make(path);
        return path;
    };
}

std::vector<ReadCase> systemReadCases();

} // namespace zar4::test
