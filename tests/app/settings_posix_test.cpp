// The settings file where only POSIX systems can show it: the environment's folders, a file
// size limit, a pipe named like the settings file.

#include "app/settings.h"
#include "app/settings_test_files.h"
#include "support/scoped_env.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

// The first EXIT of an installed program makes the operator's own folder for its settings.
TEST(SettingsFileTest, TheFirstSaveMakesTheOperatorsOwnFolder) {
    TempFolder t("zar4-settings");
    ScopedEnv xdg("XDG_CONFIG_HOME", t.base("config").c_str());
    const std::string path = joinPath(userConfigFolder(), "zar4loader.ini");
    EXPECT_EQ(path, t.base("config") + "/zar4loader/zar4loader.ini");
    ScriptedMessages messages;
    ASSERT_TRUE(saveSettingsTo(path, LoaderSettings{}, messages));
    EXPECT_EQ(readAll(path), kDefaultFile);
    messages.verify();
}

// A save that cannot be finished (here: the disk refuses to let the file grow, which stops
// root as well as an operator) says so and leaves the old settings file whole.
TEST(SettingsFileTest, ASaveThatCannotBeFinishedKeepsTheOldFileAndSaysSo) {
    TempFolder folder("zar4-settings");
    const std::string path = folder.base("zar4loader.ini");
    ScriptedMessages messages;
    ASSERT_TRUE(saveSettingsTo(path, LoaderSettings{}, messages));

    LoaderSettings changed;
    changed.baudIndex = 1;
    changed.baseName = std::string(200, 'n');
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64; // fewer bytes than the new file needs
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    messages.expectError("Failed to write a setup file.\n" + path + ": file too large");
    bool saved = saveSettingsTo(path, changed, messages);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), kDefaultFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no temporary file is left beside the settings";
    messages.verify();
}

// Start-up never waits on a pipe named like the settings file.
TEST(SettingsFileTest, APipeGivesTheDefaultsAtOnce) {
    TempFolder folder("zar4-settings");
    const std::string pipe = folder.base("pipe.ini");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    EXPECT_EQ(loadSettingsFrom(pipe), LoaderSettings{});
}

} // namespace
} // namespace zar4::test
