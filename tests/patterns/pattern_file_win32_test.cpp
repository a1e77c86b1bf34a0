// Pattern files where Windows has its own form of the case: a read-only file and a file
// another program holds open.

#include "patterns/pattern_file_fixture.h"
#include "support/system_fixtures.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST_F(PatternFileTest, AReadOnlyOrHeldFileFailsWithoutChanges) {
    PatternHeader header{};
    PatternImage image = numberedImage();
    const PatternImage before = image;
    const std::string held = dir_ + "/held.pt0.bmp";
    writeAll(held, std::string(kPatternFileSize, '\x11'));
    {
        const ExclusivelyOpenFile holder(held);
        ASSERT_TRUE(holder.isOpen());
        EXPECT_FALSE(loadPatternForEditing(held, header, image));
        EXPECT_EQ(image.raster, before.raster);
    }

    const std::string readOnly = dir_ + "/kept.pt1.bmp";
    writeAll(readOnly, "old");
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(savePattern(readOnly, image));
    EXPECT_EQ(readAll(readOnly), "old");
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

} // namespace
} // namespace zar4::test
