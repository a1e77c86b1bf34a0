// The settings file: where it lives, how its lines are read and ruled, and what is written.

#include "app/base_name.h"
#include "app/settings.h"
#include "app/settings_test_files.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

TEST(SettingsPathTest, ExtensionBecomesIniAndAFileWithoutOneGetsIniAppended) {
    EXPECT_EQ(settingsPathFor("/opt/zar4/LOADER.exe"), "/opt/zar4/LOADER.ini");
    EXPECT_EQ(settingsPathFor("/opt/zar4/loader.x"), "/opt/zar4/loader.ini");
    EXPECT_EQ(settingsPathFor("build/zar4loader"), "build/zar4loader.ini");
    // A dot in a folder name or opening a hidden file's name is no extension.
    EXPECT_EQ(settingsPathFor("/home/op/v1.2/zar4loader"), "/home/op/v1.2/zar4loader.ini");
    EXPECT_EQ(settingsPathFor("/home/op/.zar4loader"), "/home/op/.zar4loader.ini");
    // The running program knows its own full path.
    EXPECT_TRUE(fs::path(programPath()).is_absolute()) << programPath();
    EXPECT_EQ(settingsPath(), settingsPathFor(programPath()));
}

// Beside the program when that file is there or its folder takes new files; otherwise the
// operator's own zar4loader.ini.
TEST(SettingsPathTest, BesideTheProgramElseTheOperatorsOwnFolder) {
    TempFolder t("zar4-settings");
    const std::string bin = t.base("bin");
    fs::create_directory(bin);
    const std::string user = t.base("config") + "/zar4loader";
    const std::string beside = bin + "/zar4loader.ini";
    struct Case {
        bool takesNewFiles;
        bool besideFile;
        std::string userFolder;
        std::string expected;
    };
    for (const Case& c : {
             Case{true, false, user, beside}, // a copy in a folder of its own
             Case{false, true, user, beside}, // a file that is there stays in use
             Case{false, false, user, joinPath(user, "zar4loader.ini")}, // installed
             Case{false, false, "", beside}, // no folder of the operator's: EXIT will say so
         }) {
        if (c.besideFile)
            std::ofstream(beside) << "1";
        else
            fs::remove(beside);
        const ConfigPlaces places{bin + "/zar4loader", c.takesNewFiles, c.userFolder, "/etc"};
        EXPECT_EQ(settingsPathIn(places), c.expected) << c.takesNewFiles << c.besideFile;
    }
}

TEST(SettingsFormatTest, DefaultsMakeTheTwentyThreeByteFile) {
    EXPECT_EQ(formatSettings(LoaderSettings{}), kDefaultFile);
    EXPECT_EQ(parseSettings(kDefaultFile), LoaderSettings{});

    LoaderSettings s;
    s.portIndex = -1;
    s.baudIndex = 2;
    s.firstBank = 7;
    s.lastBank = 3;
    s.includeParameters = 0;
    s.includePatterns = 1;
    s.penSize = 10;
    s.baseName = "/data/line 1/pr\xc3\xa9";
    EXPECT_EQ(formatSettings(s), "-1\n2\n7\n3\n0\n1\n10\n/data/line 1/pr\xc3\xa9");
    // -1 on line 1 comes back as "COM1"; everything else as written.
    LoaderSettings back = parseSettings(formatSettings(s));
    EXPECT_EQ(back.portIndex, 0);
    back.portIndex = -1;
    EXPECT_EQ(back, s);

    // An empty field: seven lines ending with the line feed of line 7, read back empty.
    s.baseName.clear();
    EXPECT_EQ(formatSettings(s).back(), '\n');
    EXPECT_EQ(parseSettings(formatSettings(s)).baseName, "");
}

TEST(SettingsParseTest, RangeRulesReplaceOnlyWhatFails) {
    auto parsed = [](const std::string& text) { return parseSettings(text); };
    // Port: -1 and above 13 go to 0; 9-13 and other negatives pass (no list item).
    EXPECT_EQ(parsed("-1\n").portIndex, 0);
    EXPECT_EQ(parsed("14\n").portIndex, 0);
    EXPECT_EQ(parsed("13\n").portIndex, 13);
    EXPECT_EQ(parsed("9\n").portIndex, 9);
    EXPECT_EQ(parsed("-5\n").portIndex, -5);
    // Baud: 0-4 stay, letters without digits give 0, 5 and -1 give 4.
    EXPECT_EQ(parsed("0\n5\n").baudIndex, 4);
    EXPECT_EQ(parsed("0\n-1\n").baudIndex, 4);
    EXPECT_EQ(parsed("0\nabc\n").baudIndex, 0);
    EXPECT_EQ(parsed("0\n3\n").baudIndex, 3);
    // Banks: a start after the end is no settings error.
    LoaderSettings banks = parsed("0\n4\n7\n3\n");
    EXPECT_EQ(banks.firstBank, 7);
    EXPECT_EQ(banks.lastBank, 3);
    EXPECT_EQ(parsed("0\n4\n15\n-1\n").firstBank, 0);
    EXPECT_EQ(parsed("0\n4\n15\n-1\n").lastBank, 14);
    // Ticks: only 0 and 1.
    LoaderSettings ticks = parsed("0\n4\n0\n14\n0\n2\n");
    EXPECT_EQ(ticks.includeParameters, 0);
    EXPECT_EQ(ticks.includePatterns, 1);
    // Pen size 1-10.
    EXPECT_EQ(parsed("0\n4\n0\n14\n1\n1\n0\nx").penSize, 1);
    EXPECT_EQ(parsed("0\n4\n0\n14\n1\n1\n11\nx").penSize, 1);
    EXPECT_EQ(parsed("0\n4\n0\n14\n1\n1\n10\nx").penSize, 10);
}

TEST(SettingsParseTest, LinesAreReadAsTheWriterAndOldEditorsLeftThem) {
    // CR LF line ends give the same numbers; blanks and a sign before the digits are taken;
    // digits end at the first other character.
    LoaderSettings crlf = parseSettings("2\r\n3\r\n  +4\r\n12abc\r\n0\r\n1\r\n5\r\nname");
    EXPECT_EQ(crlf.portIndex, 2);
    EXPECT_EQ(crlf.baudIndex, 3);
    EXPECT_EQ(crlf.firstBank, 4);
    EXPECT_EQ(crlf.lastBank, 12);
    EXPECT_EQ(crlf.includeParameters, 0);
    EXPECT_EQ(crlf.penSize, 5);
    EXPECT_EQ(crlf.baseName, "name");

    // A number line holds 9 characters at most: the rest is read as the next line.
    LoaderSettings longLine = parseSettings("000000003000000002\n0\n14\n1\n1\n1\nx");
    EXPECT_EQ(longLine.portIndex, 3);
    EXPECT_EQ(longLine.baudIndex, 2);
    EXPECT_EQ(longLine.firstBank, 0); // the lone "\n" left of line 2
    EXPECT_EQ(longLine.lastBank, 0);
    EXPECT_EQ(longLine.penSize, 1);
    EXPECT_EQ(longLine.baseName, "1\n");

    // The name is taken exactly as read, a line end included, and at most 259 characters.
    EXPECT_EQ(parseSettings(kDefaultFile + "\n").baseName, "Untitled\n");
    std::string longName(300, 'n');
    EXPECT_EQ(parseSettings("0\n4\n0\n14\n1\n1\n1\n" + longName).baseName, longName.substr(0, 259));
    EXPECT_EQ(parseSettings(std::string("0\n4\n0\n14\n1\n1\n1\nab\0cd", 20)).baseName, "ab");
}

TEST(SettingsParseTest, ADamagedFileGivesDefaultsForWhatIsMissing) {
    EXPECT_EQ(parseSettings(""), LoaderSettings{});
    LoaderSettings cut = parseSettings("3\n1\n5");
    EXPECT_EQ(cut.portIndex, 3);
    EXPECT_EQ(cut.baudIndex, 1);
    EXPECT_EQ(cut.firstBank, 5);
    EXPECT_EQ(cut.lastBank, 14);
    EXPECT_EQ(cut.includeParameters, 1);
    EXPECT_EQ(cut.includePatterns, 1);
    EXPECT_EQ(cut.penSize, 1);
    EXPECT_EQ(cut.baseName, "Untitled");
    // Seven whole lines and no eighth: the empty field that was saved.
    EXPECT_EQ(parseSettings("0\n4\n0\n14\n1\n1\n7").baseName, "");
    EXPECT_EQ(parseSettings("0\n4\n0\n14\n1\n1\n7").penSize, 7);
}

TEST(SettingsFileTest, LoadAndSaveOnDisk) {
    TempFolder folder("zar4-settings");
    const std::string path = folder.base("zar4loader.ini");
    ScriptedMessages messages;

    // Missing file or a folder in its place: the defaults, no message.
    EXPECT_EQ(loadSettingsFrom(path), LoaderSettings{});
    EXPECT_EQ(loadSettingsFrom(folder.path()), LoaderSettings{});

    LoaderSettings s;
    s.portIndex = 2;
    s.baseName = "/data/line1";
    ASSERT_TRUE(saveSettingsTo(path, s, messages));
    EXPECT_EQ(readAll(path), "2\n4\n0\n14\n1\n1\n1\n/data/line1");
    EXPECT_EQ(loadSettingsFrom(path), s);
    messages.verify();
}

// Start-up never reads a huge file named like the settings file.
TEST(SettingsFileTest, AHugeFileGivesTheDefaultsAtOnce) {
    TempFolder folder("zar4-settings");
    const std::string huge = folder.base("huge.ini");
    std::ofstream(huge, std::ios::binary) << "2\n4\n0\n14\n1\n1\n1\nline1";
    fs::resize_file(huge, 64 * 1024);
    EXPECT_EQ(loadSettingsFrom(huge).portIndex, 2);
    fs::resize_file(huge, 64 * 1024 + 1);
    EXPECT_EQ(loadSettingsFrom(huge), LoaderSettings{});
}

TEST(SettingsFileTest, AMissingFolderIsReportedToo) {
    ScriptedMessages messages;
    messages.expectStart(
        "Error",
        "Failed to write a setup file.\n/nonexistent-zar4-folder/zar4loader.ini: ", BoxAnswer::Ok);
    EXPECT_FALSE(saveSettingsTo("/nonexistent-zar4-folder/zar4loader.ini", {}, messages));
    messages.verify();
}

TEST(BaseNameTest, DataFileSuffixesAreCutCaseSensitively) {
    EXPECT_EQ(cutDataFileSuffix("/data/line1.pr3.zar4"), "/data/line1");
    EXPECT_EQ(cutDataFileSuffix("/data/line1.prM.zar4"), "/data/line1");
    EXPECT_EQ(cutDataFileSuffix("/data/line1.cmp.bmp"), "/data/line1");
    EXPECT_EQ(cutDataFileSuffix("/data/line1.ptE.bmp"), "/data/line1");
    EXPECT_EQ(cutDataFileSuffix("/data/a.xyz.bmp"), "/data/a");
    EXPECT_EQ(cutDataFileSuffix(".pr3.zar4"), "");
    // Not the form of a data file suffix: the whole path.
    EXPECT_EQ(cutDataFileSuffix("/data/LINE1.PR3.ZAR4"), "/data/LINE1.PR3.ZAR4");
    EXPECT_EQ(cutDataFileSuffix("/data/notes.txt"), "/data/notes.txt");
    EXPECT_EQ(cutDataFileSuffix("/data/line1.zar4"), "/data/line1.zar4");
    EXPECT_EQ(cutDataFileSuffix("/data/l.p3.zar4"), "/data/l.p3.zar4");
    EXPECT_EQ(cutDataFileSuffix("pr3.zar4"), "pr3.zar4");
    EXPECT_EQ(cutDataFileSuffix("x.bmp"), "x.bmp");
    EXPECT_EQ(cutDataFileSuffix(""), "");
    // Three characters, not three bytes.
    EXPECT_EQ(cutDataFileSuffix("/data/b.\xc3\xa9t\xc3\xa9.bmp"), "/data/b");
}

TEST(BaseNameTest, TheLastComponentFollowsEitherSeparator) {
    EXPECT_EQ(lastComponentStart("/data/line1"), 6u);
    EXPECT_EQ(lastComponentStart("C:\\data\\line1"), 8u);
    EXPECT_EQ(lastComponentStart("line1"), 0u);
    EXPECT_EQ(lastComponentStart("/data/"), 6u);
}

TEST(BaseNameTest, TheDialogFolderIsTheBaseNamesFolderWhenItExists) {
    TempFolder t("zar4-base");
    std::filesystem::create_directory(t.base("backups"));
    EXPECT_EQ(existingBaseNameFolder(t.base("backups") + "/line1"), t.base("backups"));
    EXPECT_EQ(existingBaseNameFolder(t.base("backups") + "/"), t.base("backups"));
    EXPECT_EQ(existingBaseNameFolder(t.base("gone") + "/line1"), "");
    EXPECT_EQ(existingBaseNameFolder(t.base("notes")), t.path());
    std::ofstream(t.base("notes")) << "x";
    EXPECT_EQ(existingBaseNameFolder(t.base("notes") + "/line1"), ""); // a file, not a folder
    EXPECT_EQ(existingBaseNameFolder("line1"), "");
    EXPECT_EQ(existingBaseNameFolder(""), "");
    EXPECT_EQ(existingBaseNameFolder("/line1"), "/");
}

} // namespace
} // namespace zar4::test
