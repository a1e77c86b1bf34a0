// The forms only POSIX systems give a data file's name: pipes, devices and symbolic links.

#include "common/read_cases.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace zar4::test {

std::vector<ReadCase> systemReadCases() {
    using Status = FileRead::Status;
    return {
        {"missing, in the system's words", madeAt([](const std::string&) {}), Status::Missing,
         "no such file or directory"},
        {"FIFO", madeAt([](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }),
         Status::NotRegular, "is a FIFO"},
        {"link to a device",
         madeAt([](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }),
         Status::NotRegular, "is a link to a device"},
        {"dangling link",
         madeAt([](const std::string& p) { ASSERT_EQ(symlink("gone", p.c_str()), 0); }),
         Status::NotRegular, "is a link to nothing"},
    };
}

} // namespace zar4::test
