// Where the program and the operator's files are on Windows: drive letters, backslashes and
// the folders the environment names.

#include "common/program_paths.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

namespace zar4::test {
namespace {

TEST(ProgramPathsWin32, TheFoldersOfPaths) {
    EXPECT_EQ(runningProgramPath()[1], ':');
    EXPECT_EQ(folderOf("C:\\zar4\\zar4loader.exe"), "C:\\zar4");
    EXPECT_EQ(folderOf("C:\\zar4loader.exe"), "C:\\");
    EXPECT_EQ(folderOf("D:/data/line1"), "D:/data");
    EXPECT_EQ(joinPath("C:\\zar4", "zar4loader.ports"), "C:\\zar4\\zar4loader.ports");
    EXPECT_EQ(joinPath("C:\\", "x"), "C:\\x");
    EXPECT_EQ(joinPath("D:/data/", "x"), "D:/data/x");
}

// %APPDATA%\zar4loader for the operator, %ProgramData%\zar4loader for the machine; nothing
// where the environment names no folder.
TEST(ProgramPathsWin32, TheOperatorsFolderFollowsTheEnvironment) {
    struct Case {
        const char* appData;
        const char* programData;
        std::string user;
        std::string system;
    };
    for (const Case& c :
         {Case{"C:\\Users\\op\\AppData\\Roaming", "C:\\ProgramData",
               "C:\\Users\\op\\AppData\\Roaming\\zar4loader", "C:\\ProgramData\\zar4loader"},
          Case{"D:\\Profiles\\op\xC3\xA9\\", nullptr, "D:\\Profiles\\op\xC3\xA9\\zar4loader", ""},
          Case{nullptr, nullptr, "", ""}}) {
        ScopedEnv appData("APPDATA", c.appData);
        ScopedEnv programData("ProgramData", c.programData);
        EXPECT_EQ(userConfigFolder(), c.user) << (c.appData ? c.appData : "-");
        EXPECT_EQ(systemConfigFolder(), c.system);
    }
}

} // namespace
} // namespace zar4::test
