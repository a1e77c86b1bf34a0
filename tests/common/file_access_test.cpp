// Reading the program's own files: only plain files, never beyond a bound, never waiting on
// a pipe; every refusal names the file and the reason.

#include "common/file_access.h"
#include "common/read_cases.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FileAccessTest, OnlyPlainFilesWithinTheBoundAreRead) {
    using Status = FileRead::Status;
    const TempFolder dir("zar4-fileaccess");
    std::vector<ReadCase> cases = {
        {"plain", madeAt([](const std::string& p) { write(p, "1\n2\n"); }), Status::Ok, ""},
        {"at the bound", madeAt([](const std::string& p) { write(p, std::string(16, 'x')); }),
         Status::Ok, ""},
        {"missing", madeAt([](const std::string&) {}), Status::Missing, nullptr},
        {"folder", madeAt([](const std::string& p) { ASSERT_TRUE(fs::create_directory(p)); }),
         Status::NotRegular, "is a folder"},
        {"beyond the bound", madeAt([](const std::string& p) {
             write(p, "");
             fs::resize_file(p, 1ULL << 32); // 4 GB, sparse where the file system allows
         }),
         Status::TooLarge, "larger than 0 KiB"},
    };
    for (ReadCase& c : systemReadCases())
        cases.push_back(std::move(c));
    int n = 0;
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = c.make(dir.path() + "/f" + std::to_string(n++));
        const FileRead r = readRegularFile(path, 16);
        EXPECT_EQ(r.status, c.status);
        if (c.reason)
            EXPECT_EQ(r.reason, *c.reason ? path + ": " + c.reason : "");
        else
            EXPECT_GT(r.reason.size(), path.size() + 2) << r.reason;
        EXPECT_EQ(r.reason.rfind(c.status == Status::Ok ? "" : path + ": ", 0), 0u) << r.reason;
    }
    // A reader that uses only the start takes the bound's worth and hears that there is more.
    write(dir.base("long"), "0123456789abcdefXYZ");
    const FileRead start = readRegularFile(dir.base("long"), 16, BeyondLimit::Ignore);
    EXPECT_EQ(start.bytes, "0123456789abcdef");
    EXPECT_TRUE(start.truncated);
}

TEST(FileAccessTest, WideNamesForWindowsAreUtf16) {
    EXPECT_EQ(utf16FromUtf8("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"),
              (std::wstring{L'a', 0xE9, 0x65E5, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16FromUtf8("\xFF\xC3"), (std::wstring{0xFFFD, 0xFFFD}));
}

} // namespace
} // namespace zar4::test
