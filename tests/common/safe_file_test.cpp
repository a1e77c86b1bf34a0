#include "common/file_access.h"
#include "common/program_paths.h"
#include "common/safe_file.h"
#include "common/safe_file_fixture.h"
#include "support/system_fixtures.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace zar4::test {
namespace {

TEST_F(SafeFileTest, WritesExactBytesAndReplacesOldContent) {
    std::string path = dir_ + "/a.prM.zar4";
    std::string binary("1\r\n\0\xff"
                       "2",
                       6);
    ASSERT_TRUE(writeFileSafely(path, "old content that is longer"));
    ASSERT_TRUE(writeFileSafely(path, binary));
    EXPECT_EQ(read(path), binary);
    EXPECT_EQ(entries(), std::vector<std::string>{"a.prM.zar4"});
    ASSERT_TRUE(writeFileSafely(path, ""));
    EXPECT_EQ(read(path), "");
}

TEST_F(SafeFileTest, UnfinishedWriterLeavesPreviousFileAndNoTemporary) {
    std::string path = dir_ + "/line1.pt3.bmp";
    ASSERT_TRUE(writeFileSafely(path, "previous pattern"));
    {
        SafeFileWriter writer;
        ASSERT_TRUE(writer.open(path));
        ASSERT_TRUE(writer.write("half a pat", 10));
        // Destroyed without commit: the read was cancelled or failed.
    }
    EXPECT_EQ(read(path), "previous pattern");
    EXPECT_EQ(entries().size(), 1u);

    SafeFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(writer.write("new ", 4));
    ASSERT_TRUE(writer.write("pattern", 7));
    EXPECT_EQ(read(path), "previous pattern") << "the target changes only at commit";
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(read(path), "new pattern");
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.commit()) << "a second commit has nothing to commit";
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(SafeFileTest, FailuresAreReportedAndLeaveNothingBehind) {
    EXPECT_FALSE(writeFileSafely(dir_ + "/missing-folder/x.prM.zar4", "1\n"));
    EXPECT_FALSE(writeFileSafely("", "1\n"));

    // A folder standing where the file should be is refused and left as it was.
    ASSERT_TRUE(std::filesystem::create_directory(dir_ + "/x.pr1.zar4"));
    std::string reason;
    EXPECT_FALSE(writeFileSafely(dir_ + "/x.pr1.zar4", "1\n", &reason));
    EXPECT_EQ(reason, dir_ + "/x.pr1.zar4: is a folder");
    EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/x.pr1.zar4"));
    EXPECT_EQ(entries().size(), 1u);
}

// A killed run leaves its temporary file; the next write of the same target removes the ones
// whose process has ended, and nothing that belongs to a running process or another target.
TEST_F(SafeFileTest, LeftoversOfEndedRunsOfTheSameTargetAreRemoved) {
    const OtherProcess endedProcess(OtherProcess::State::Ended);
    const OtherProcess runningProcess(OtherProcess::State::Running);
    const int ended = endedProcess.id();
    ASSERT_NE(ended, 0);
    ASSERT_NE(runningProcess.id(), 0);
    const std::string target = "x.prM.zar4";
    const std::vector<std::string> kept = {
        temporaryFileName(target, runningProcess.id(), "a1B2c3"),   // a running process
        temporaryFileName(target, currentProcessId(), "a1B2c3"),    // this one
        temporaryFileName("x.pr0.zar4", ended, "a1B2c3"),           // another target
        "." + target + ".tmpQ1w2e3",                                // no process in the name
        "." + target + ".tmp" + std::to_string(ended) + "-a1B2c3d", // not the name's shape
    };
    const std::string removed = temporaryFileName(target, ended, "a1B2c3");
    EXPECT_EQ(temporaryFileOwner(removed, target), ended);
    for (const std::string& name : kept)
        ASSERT_TRUE(writeFileSafely(dir_ + "/" + name, "half"));
    ASSERT_TRUE(writeFileSafely(dir_ + "/" + removed, "half"));

    ASSERT_TRUE(writeFileSafely(dir_ + "/" + target, "1\n"));
    auto names = entries();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    expected.push_back(target);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// Folder and file names in any script reach the system whole: the file is written, read back
// and replaced, and a killed run's leftover beside it is found by its name.
TEST_F(SafeFileTest, NamesInAnyScriptAreWrittenReadAndCleanedUp) {
    const std::string folder = dir_ + "/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"; // "データ"
    const std::string name = "\xE7\xB7\x9A"
                             "1-\xC3\xA9.prM.zar4"; // "線1-é.prM.zar4"
    ASSERT_TRUE(makeFolders(folder));
    const OtherProcess ended(OtherProcess::State::Ended);
    ASSERT_NE(ended.id(), 0);
    const std::string leftover = temporaryFileName(name, ended.id(), "a1B2c3");
    ASSERT_TRUE(writeFileSafely(folder + "/" + leftover, "half"));
    ASSERT_TRUE(writeFileSafely(folder + "/" + name, "1\n"));
    ASSERT_TRUE(writeFileSafely(folder + "/" + name, "2\n"));
    EXPECT_EQ(readRegularFile(folder + "/" + name, 16).bytes, "2\n");
    EXPECT_TRUE(fileIsReadable(folder + "/" + name));
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{name});
}

TEST_F(SafeFileTest, ReadableTest) {
    EXPECT_FALSE(fileIsReadable(dir_ + "/none"));
    ASSERT_TRUE(writeFileSafely(dir_ + "/some", "x"));
    EXPECT_TRUE(fileIsReadable(dir_ + "/some"));
}

} // namespace
} // namespace zar4::test
