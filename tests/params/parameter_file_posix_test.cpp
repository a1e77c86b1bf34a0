// Parameter files where only POSIX systems can show it: symbolic links and pipes.

#include "params/open_for_editing_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST_F(OpenForEditing, AFileThatCannotBeReadIsNotTakenForMissing) {
    writeWholeSet(false);
    fs::remove(parameterFileName(base, 8));
    // A link to itself exists, but no one can open it.
    ASSERT_EQ(::symlink(fs::path(parameterFileName(base, 8)).filename().c_str(),
                        parameterFileName(base, 8).c_str()),
              0);
    messages.expectNotice(std::string(kUnreadableFileText) + "\n" + parameterFileName(base, 8) +
                          ": too many levels of symbolic links");
    EXPECT_FALSE(openForEditing(set, base, messages));
}

// The editor reads leniently, but a pipe of a data file's name is refused at once.
TEST_F(OpenForEditing, APipeIsRefusedAtOnce) {
    writeWholeSet(false);
    fs::remove(parameterFileName(base, 3));
    ASSERT_EQ(::mkfifo(parameterFileName(base, 3).c_str(), 0644), 0);
    messages.expectNotice(std::string(kUnreadableFileText) + "\n" + parameterFileName(base, 3) +
                          ": is a FIFO");
    EXPECT_FALSE(openForEditing(set, base, messages));
    messages.verify();
}

} // namespace
} // namespace zar4::test
