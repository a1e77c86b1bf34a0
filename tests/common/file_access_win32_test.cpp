// The forms Windows gives a data file's name: devices, named pipes, files another program
// holds open, read-only files.

#include "common/read_cases.h"
#include "support/system_fixtures.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <windows.h>

namespace zar4::test {

std::vector<ReadCase> systemReadCases() {
    using Status = FileRead::Status;
    // The pipe's server end lives for the whole run; a reader must refuse it at once rather
    // than wait for data.
    static const std::string pipe =
        "\\\\.\\pipe\\zar4-read-" + std::to_string(GetCurrentProcessId());
    static const HANDLE server =
        CreateNamedPipeW(utf16FromUtf8(pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    EXPECT_NE(server, INVALID_HANDLE_VALUE);
    return {
        {"a device", [](const std::string&) { return std::string("\\\\.\\NUL"); },
         Status::NotRegular, "is a device"},
        {"a named pipe", [](const std::string&) { return pipe; }, Status::NotRegular, "is a FIFO"},
        {"missing, written with backslashes",
         [](const std::string& p) {
             std::string back = p;
             for (char& c : back)
                 c = c == '/' ? '\\' : c;
             return back;
         },
         Status::Missing, nullptr},
    };
}

namespace {

namespace fs = std::filesystem;

// A file another program holds open without sharing is there, but cannot be read: it is no
// missing file, and the reason is the system's.
TEST(FileAccessWin32Test, AFileHeldOpenByAnotherIsUnreadableNotMissing) {
    const TempFolder dir("zar4-fileaccess");
    const std::string path = dir.base("held.pr0.zar4");
    std::ofstream(path, std::ios::binary) << "1\n";
    {
        const ExclusivelyOpenFile held(path);
        ASSERT_TRUE(held.isOpen());
        const FileRead r = readRegularFile(path, 16);
        EXPECT_EQ(r.status, FileRead::Status::Unreadable);
        EXPECT_EQ(r.reason.rfind(path + ": ", 0), 0u) << r.reason;
        EXPECT_GT(r.reason.size(), path.size() + 2);
    }
    EXPECT_EQ(readRegularFile(path, 16).bytes, "1\n");
}

// A read-only file is read as any other, but is not replaced.
TEST(FileAccessWin32Test, AReadOnlyFileIsReadButNotReplaced) {
    const TempFolder dir("zar4-fileaccess");
    const std::string path = dir.base("kept.pr0.zar4");
    std::ofstream(path, std::ios::binary) << "1\n";
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(GetFileAttributesW(utf16FromUtf8(path).c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(readRegularFile(path, 16).bytes, "1\n");
    EXPECT_FALSE(replaceTargetProblem(path, false).empty());
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(replaceTargetProblem(path, false), "");
}

} // namespace
} // namespace zar4::test
