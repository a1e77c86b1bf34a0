// Where the program and the operator's files are on a POSIX system.

#include "common/program_paths.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(ProgramPathsPosix, TheFoldersOfPaths) {
    EXPECT_EQ(runningProgramPath().front(), '/');
    EXPECT_EQ(folderOf("/usr/bin/zar4loader"), "/usr/bin");
    EXPECT_EQ(folderOf("/zar4loader"), "/");
    EXPECT_EQ(joinPath("/etc", "zar4loader.ports"), "/etc/zar4loader.ports");
    EXPECT_EQ(joinPath("/", "x"), "/x");
}

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; nothing without either.
TEST(ProgramPathsPosix, TheOperatorsFolderFollowsTheEnvironment) {
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

TEST(ProgramPathsPosix, LockedFoldersAndTheModeOfFoldersMade) {
    const TempFolder temp("zar4-paths");
    const std::string root = temp.path();
    if (::geteuid() != 0) { // root writes into any folder of a writable file system
        fs::create_directory(root + "/locked");
        fs::permissions(root + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(folderTakesNewFiles(root + "/locked"));
    }
    EXPECT_TRUE(makeFolders(root + "/a/b/zar4loader"));
    EXPECT_EQ(fs::status(root + "/a/b/zar4loader").permissions() & fs::perms::all,
              fs::perms::owner_all);
}

} // namespace
} // namespace zar4::test
