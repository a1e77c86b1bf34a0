// What the safe writer promises where Windows has its own form of the case: a read-only file
// and a file another program holds open.

#include "common/file_access.h"
#include "common/safe_file.h"
#include "common/safe_file_fixture.h"
#include "support/system_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

// Both are refused with the system's reason, and the old file and nothing else stays.
TEST_F(SafeFileTest, AReadOnlyOrHeldFileIsRefusedAndKept) {
    const std::string readOnly = dir_ + "/line1.pr0.zar4";
    const std::string held = dir_ + "/line1.pr1.zar4";
    ASSERT_TRUE(writeFileSafely(readOnly, "old 0"));
    ASSERT_TRUE(writeFileSafely(held, "old 1"));
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string reason;
    EXPECT_FALSE(writeFileSafely(readOnly, "new", &reason));
    EXPECT_EQ(reason.rfind(readOnly + ": ", 0), 0u) << reason;
    EXPECT_EQ(read(readOnly), "old 0");
    {
        const ExclusivelyOpenFile holder(held);
        ASSERT_TRUE(holder.isOpen());
        reason.clear();
        EXPECT_FALSE(writeFileSafely(held, "new", &reason));
        EXPECT_EQ(reason.rfind(held + ": ", 0), 0u) << reason;
        EXPECT_FALSE(writeFileSafelyOrInPlace(held, "new"));
    }
    EXPECT_EQ(read(held), "old 1");
    EXPECT_EQ(entries().size(), 2u) << "no temporary file is left behind";
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
}

// A name Windows keeps for a device, extension or not, is no data file: writing it would
// pour the data into the device and report success. Refused both ways, nothing left behind.
TEST_F(SafeFileTest, NamesOfDevicesAreNeitherWrittenNorRead) {
    for (const char* name : {"NUL.pr0.zar4", "nul.ptA.bmp", "COM1.pt3.bmp", "CON.ini", "aux"}) {
        SCOPED_TRACE(name);
        const std::string path = dir_ + "/" + name;
        std::string reason;
        EXPECT_FALSE(writeFileSafely(path, "data", &reason));
        EXPECT_EQ(reason.rfind(path + ": ", 0), 0u) << reason;
        EXPECT_NE(readRegularFile(path, 16).status, FileRead::Status::Ok);
    }
    EXPECT_TRUE(entries().empty());
}

} // namespace
} // namespace zar4::test
