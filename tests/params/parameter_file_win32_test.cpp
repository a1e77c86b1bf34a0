// Parameter files where Windows has its own form of the case: a file another program holds
// open, a read-only file.

#include "params/open_for_editing_fixture.h"
#include "support/system_fixtures.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

// Held open without sharing, the file is there but cannot be read: no missing bank.
TEST_F(OpenForEditing, AHeldFileIsUnreadableNotMissing) {
    writeWholeSet(false);
    const ExclusivelyOpenFile holder(parameterFileName(base, 8));
    ASSERT_TRUE(holder.isOpen());
    messages.expectStart(
        "Warning", std::string(kUnreadableFileText) + "\n" + parameterFileName(base, 8) + ": ",
        BoxAnswer::Ok);
    EXPECT_FALSE(openForEditing(set, base, messages));
}

// A read-only bank file stops the save there and keeps its bytes.
TEST_F(OpenForEditing, AReadOnlyFileStopsTheSave) {
    writeWholeSet(false);
    ASSERT_TRUE(openForEditing(set, base, messages));
    const std::string readOnly = parameterFileName(base, 10);
    const std::string before = readText(readOnly);
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    messages.expectStart("Warning", std::string(kWriteFailedText) + "\n" + readOnly + ": ",
                         BoxAnswer::Ok);
    EXPECT_FALSE(saveSet(set, base, messages));
    EXPECT_EQ(readText(readOnly), before);
    EXPECT_NE(readText(parameterFileName(base, 11)).find("\r\n"), std::string::npos)
        << "written before";
    EXPECT_EQ(readText(parameterFileName(base, 9)).find('\r'), std::string::npos)
        << "not touched after";
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
} // namespace zar4::test
