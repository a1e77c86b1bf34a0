// The settings file where Windows has its own form of the case: drive letters and backslashes,
// the operator's folder under %APPDATA%, a settings file another program holds open.

#include "app/base_name.h"
#include "app/settings.h"
#include "app/settings_test_files.h"
#include "support/scoped_env.h"
#include "support/scripted_messages.h"
#include "support/system_fixtures.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(SettingsPathTest, TheProgramsExtensionBecomesIniAfterEitherSeparator) {
    EXPECT_EQ(settingsPathFor("C:\\zar4\\ZAR4LOADER.EXE"), "C:\\zar4\\ZAR4LOADER.ini");
    EXPECT_EQ(settingsPathFor("C:\\v1.2\\zar4loader"), "C:\\v1.2\\zar4loader.ini");
    EXPECT_EQ(settingsPathFor("D:/v1.2/zar4loader"), "D:/v1.2/zar4loader.ini");
}

// "Ref." puts what the file dialog hands back (C:/Users/...) into the field as Windows writes it,
// and opens the dialog again in the base name's folder, written either way.
TEST(BaseNameTest, WindowsPathsTakeBackslashesAndTheirFolderEitherSeparator) {
    EXPECT_EQ(withSystemSeparators("C:/Users/Public/line1"), "C:\\Users\\Public\\line1");
    EXPECT_EQ(withSystemSeparators("\\\\server/share\\line1"), "\\\\server\\share\\line1");
    TempFolder t("zar4-base");
    const std::string native = withSystemSeparators(t.path());
    EXPECT_EQ(existingBaseNameFolder(native + "\\line1"), native);
    EXPECT_EQ(existingBaseNameFolder(native + "\\gone\\line1"), "");
    EXPECT_EQ(existingBaseNameFolder("C:\\line1"), "C:\\");
}

// An installed program's first EXIT makes %APPDATA%\zar4loader for its settings.
TEST(SettingsFileTest, TheFirstSaveMakesTheOperatorsOwnFolderUnderAppData) {
    TempFolder t("zar4-settings");
    ScopedEnv appData("APPDATA", t.base("Roaming").c_str());
    const ConfigPlaces places = configPlacesFor(t.base("zar4loader.exe"));
    EXPECT_TRUE(places.besideTakesNewFiles);
    EXPECT_EQ(places.userFolder, t.base("Roaming") + "\\zar4loader");
    const std::string path = joinPath(places.userFolder, "zar4loader.ini");
    ScriptedMessages messages;
    ASSERT_TRUE(saveSettingsTo(path, LoaderSettings{}, messages));
    EXPECT_EQ(readAll(path), kDefaultFile);
    messages.verify();
}

// A save refused because another program holds the file says so and leaves it whole.
TEST(SettingsFileTest, ASaveOfAHeldFileKeepsTheOldFileAndSaysSo) {
    TempFolder folder("zar4-settings");
    const std::string path = folder.base("zar4loader.ini");
    ScriptedMessages messages;
    ASSERT_TRUE(saveSettingsTo(path, LoaderSettings{}, messages));
    LoaderSettings changed;
    changed.baudIndex = 1;
    {
        const ExclusivelyOpenFile holder(path);
        ASSERT_TRUE(holder.isOpen());
        messages.expectStart("Error", "Failed to write a setup file.\n" + path + ": ",
                             BoxAnswer::Ok);
        EXPECT_FALSE(saveSettingsTo(path, changed, messages));
    }
    EXPECT_EQ(readAll(path), kDefaultFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no temporary file is left beside the settings";
    messages.verify();
}

} // namespace
} // namespace zar4::test
