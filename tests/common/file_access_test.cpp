// Reading the program's own files: only plain files, never beyond a bound, never waiting on
// a pipe; every refusal names the file and the reason.

#include "common/file_access.h"
#include "common/safe_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zar4 {
namespace {

class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zar4-fileaccess-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    void write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string dir_;
};

TEST_F(FileAccessTest, OnlyPlainFilesWithinTheBoundAreRead) {
    using Status = FileRead::Status;
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        Status status;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"plain", [&](const std::string& p) { write(p, "1\n2\n"); }, Status::Ok, ""},
        {"at the bound", [&](const std::string& p) { write(p, std::string(16, 'x')); }, Status::Ok,
         ""},
        {"missing", [](const std::string&) {}, Status::Missing, "no such file or directory"},
        {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
         Status::NotRegular, "is a FIFO"},
        {"folder", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); },
         Status::NotRegular, "is a folder"},
        {"link to a device",
         [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); },
         Status::NotRegular, "is a link to a device"},
        {"dangling link", [](const std::string& p) { ASSERT_EQ(symlink("gone", p.c_str()), 0); },
         Status::NotRegular, "is a link to nothing"},
        {"beyond the bound",
         [&](const std::string& p) {
             write(p, "");
             ASSERT_EQ(truncate(p.c_str(), 1LL << 32), 0); // 4 GB, sparse
         },
         Status::TooLarge, "larger than 0 KiB"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir_ + "/f" + std::to_string(n++);
        c.make(path);
        const FileRead r = readRegularFile(path, 16);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.reason, *c.reason ? path + ": " + c.reason : "");
    }
    // A reader that uses only the start takes the bound's worth and hears that there is more.
    write(dir_ + "/long", "0123456789abcdefXYZ");
    const FileRead start = readRegularFile(dir_ + "/long", 16, BeyondLimit::Ignore);
    EXPECT_EQ(start.bytes, "0123456789abcdef");
    EXPECT_TRUE(start.truncated);
}

TEST_F(FileAccessTest, WideNamesForWindowsAreUtf16) {
    EXPECT_EQ(utf16FromUtf8("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"),
              (std::wstring{L'a', 0xE9, 0x65E5, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16FromUtf8("\xFF\xC3"), (std::wstring{0xFFFD, 0xFFFD}));
}

} // namespace
} // namespace zar4
