// Where the program is and where the operator's files may go.

#include "common/program_paths.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <unistd.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(ProgramPaths, TheRunningProgramAndTheFoldersOfPaths) {
    const std::string self = runningProgramPath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), '/');
    EXPECT_TRUE(fs::is_regular_file(self));

    EXPECT_EQ(folderOf("/usr/bin/zar4loader"), "/usr/bin");
    EXPECT_EQ(folderOf("/zar4loader"), "/");
    EXPECT_EQ(folderOf("zar4loader"), ".");
    EXPECT_EQ(joinPath("/etc", "zar4loader.ports"), "/etc/zar4loader.ports");
    EXPECT_EQ(joinPath("/", "x"), "/x");
    EXPECT_EQ(joinPath("", "x"), "x");
}

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; nothing without either.
TEST(ProgramPaths, TheOperatorsFolderFollowsTheEnvironment) {
    struct Case {
        const char* xdg;
        const char* home;
        std::string folder;
    };
    for (const Case& c :
         {Case{"/srv/cfg", "/home/op", "/srv/cfg/zar4loader"},
          Case{"cfg", "/home/op", "/home/op/.config/zar4loader"},
          Case{nullptr, "/home/op/", "/home/op/.config/zar4loader"}, Case{nullptr, nullptr, ""}}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(userConfigFolder(), c.folder) << (c.xdg ? c.xdg : "-");
    }
    EXPECT_EQ(systemConfigFolder(), "/etc");
}

TEST(ProgramPaths, FoldersThatTakeNewFilesAndFoldersMade) {
    char pattern[] = "/tmp/zar4-paths-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    std::ofstream(root + "/file") << "x";

    EXPECT_TRUE(folderTakesNewFiles(root));
    EXPECT_FALSE(folderTakesNewFiles(root + "/missing"));
    EXPECT_FALSE(folderTakesNewFiles(root + "/file"));
    if (::geteuid() != 0) { // root writes into any folder of a writable file system
        fs::create_directory(root + "/locked");
        fs::permissions(root + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(folderTakesNewFiles(root + "/locked"));
    }
    EXPECT_TRUE(pathExists(root + "/file"));
    EXPECT_FALSE(pathExists(root + "/missing"));

    EXPECT_TRUE(makeFolders(root + "/a/b/zar4loader"));
    EXPECT_TRUE(fs::is_directory(root + "/a/b/zar4loader"));
    EXPECT_EQ(fs::status(root + "/a/b/zar4loader").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_TRUE(makeFolders(root + "/a/b/zar4loader")); // already there
    EXPECT_FALSE(makeFolders(root + "/file/sub"));
    fs::remove_all(root);
}

} // namespace
} // namespace zar4::test
