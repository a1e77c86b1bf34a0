// Where the program is and where the operator's files may go.

#include "common/program_paths.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(ProgramPaths, TheRunningProgramAndTheFoldersOfPaths) {
    const std::string self = runningProgramPath();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(fs::path(self).is_absolute()) << self;
    EXPECT_TRUE(fs::is_regular_file(self));

    EXPECT_EQ(folderOf("zar4loader"), ".");
    EXPECT_EQ(joinPath("", "x"), "x");
}

TEST(ProgramPaths, FoldersThatTakeNewFilesAndFoldersMade) {
    const TempFolder temp("zar4-paths");
    const std::string root = temp.path();
    std::ofstream(root + "/file") << "x";

    EXPECT_TRUE(folderTakesNewFiles(root));
    EXPECT_FALSE(folderTakesNewFiles(root + "/missing"));
    EXPECT_FALSE(folderTakesNewFiles(root + "/file"));
    EXPECT_TRUE(pathExists(root + "/file"));
    EXPECT_FALSE(pathExists(root + "/missing"));

    EXPECT_TRUE(makeFolders(root + "/a/b/zar4loader"));
    EXPECT_TRUE(fs::is_directory(root + "/a/b/zar4loader"));
    EXPECT_TRUE(makeFolders(root + "/a/b/zar4loader")); // already there
    EXPECT_FALSE(makeFolders(root + "/file/sub"));
    // Nothing of the probes for new files is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
}

} // namespace
} // namespace zar4::test
