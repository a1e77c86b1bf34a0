// Pattern files where only POSIX systems can show it: a pipe named like a pattern file and a
// folder the operator may not write into.

#include "patterns/pattern_file_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zar4::test {
namespace {

TEST_F(PatternFileTest, APipeOrALockedFolderFailWithoutChanges) {
    PatternHeader header{};
    PatternImage image = numberedImage();
    const PatternImage before = image;
    const std::string pipe = dir_ + "/pipe.pt0.bmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    std::string failure;
    // Refused at once, no wait, and the operator is told why.
    EXPECT_FALSE(loadPatternForEditing(pipe, header, image, &failure));
    EXPECT_EQ(failure, pipe + ": is a FIFO");
    ::unlink(pipe.c_str());
    EXPECT_EQ(image.raster, before.raster);

    const std::string path = dir_ + "/kept.bmp";
    writeAll(path, "old");
    ASSERT_EQ(::chmod(dir_.c_str(), 0500), 0);
    const bool saved = savePattern(path, image);
    ::chmod(dir_.c_str(), 0700);
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_FALSE(saved);
        EXPECT_EQ(readAll(path), "old");
    }
}

} // namespace
} // namespace zar4::test
