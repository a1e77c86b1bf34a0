// COM names to devices: the default /dev/ttyS{n-1} (\\.\COMn on Windows), the map file
// beside the program, and its name.

#include "link/port_map.h"
#include "link/port_map_fixture.h"

#include "link/port_access.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace zar4::test {
namespace {

using PortMapTest = PortMapFixture;

TEST_F(PortMapTest, ComNIsTtySNMinusOneUnlessMapped) {
    // COM10 and above on Windows only in the \\.\ form.
    const bool windows = defaultDeviceForPort(1) == "\\\\.\\COM1";
    PortMap map;
    EXPECT_EQ(map.deviceFor(1), windows ? "\\\\.\\COM1" : "/dev/ttyS0");
    EXPECT_EQ(map.deviceFor(9), windows ? "\\\\.\\COM9" : "/dev/ttyS8");
    EXPECT_EQ(map.deviceFor(256), windows ? "\\\\.\\COM256" : "/dev/ttyS255");
    EXPECT_EQ(map.deviceFor(0), "");
    EXPECT_EQ(map.deviceFor(257), "");

    map.set(3, "/dev/ttyUSB0");
    EXPECT_EQ(map.deviceFor(3), "/dev/ttyUSB0");
    EXPECT_EQ(map.deviceFor(4), defaultDeviceForPort(4));
    map.set(3, "");
    EXPECT_EQ(map.deviceFor(3), defaultDeviceForPort(3));
}

TEST_F(PortMapTest, ParsesWhatAnOperatorWrites) {
    const auto map = parsePortMap("# the line to the sensor\n"
                                  "COM3=/dev/ttyUSB0\n"
                                  "\n"
                                  "   \t\n"
                                  "  COM1 = /dev/ttyS4  \r\n" // spaces, CRLF from a Windows editor
                                  "com2=/dev/serial/by-id/usb-FTDI_x#1\n"
                                  "COM256=/dev/ttyACM1\n"
                                  "COM3=/dev/ttyUSB1\n" // a later line wins
                                  "  # COM4=/dev/commented\n"
                                  "COM0=/dev/zero-port\n"
                                  "COM257=/dev/too-high\n"
                                  "COM=/dev/no-number\n"
                                  "COMX=/dev/letters\n"
                                  "COM5\n"
                                  "COM6=\n"
                                  "=/dev/no-name\n"
                                  "LPT1=/dev/lp0\n"
                                  "COM-7=/dev/minus\n"
                                  "COM8=/dev/last-line-without-newline");
    const std::map<int, std::string> expected = {
        {1, "/dev/ttyS4"},     {2, "/dev/serial/by-id/usb-FTDI_x#1"},
        {3, "/dev/ttyUSB1"},   {8, "/dev/last-line-without-newline"},
        {256, "/dev/ttyACM1"},
    };
    EXPECT_EQ(map, expected);
    EXPECT_TRUE(parsePortMap("").empty());
}

TEST_F(PortMapTest, LoadGivesTheFilesEntriesOrNothingWhenUnreadable) {
    writeMap("COM2=/dev/ttyUSB0\nCOM9=/dev/ttyUSB1\n");
    const auto map = PortMap::load(folder + "/zar4loader.ports");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->entries(),
              (std::map<int, std::string>{{2, "/dev/ttyUSB0"}, {9, "/dev/ttyUSB1"}}));

    // No map file: every port at its default.
    const auto none = PortMap::load(folder + "/missing.ports");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->entries().empty());

    // A map that exists but cannot be read.
    ASSERT_TRUE(std::filesystem::create_directory(folder + "/sub.ports"));
    EXPECT_FALSE(PortMap::load(folder + "/sub.ports"));
}

TEST_F(PortMapTest, MapFileIsNamedAfterTheProgram) {
    EXPECT_EQ(portMapPathForProgram("/x/zar4loader"), "/x/zar4loader.ports");
    EXPECT_EQ(portMapPathForProgram("/x/a.exe"), "/x/a.ports");
    EXPECT_EQ(portMapPathForProgram("/opt/zar4.d/zar4loader"), "/opt/zar4.d/zar4loader.ports");
    EXPECT_EQ(portMapPathForProgram("/x/.hidden"), "/x/.hidden.ports");
    EXPECT_EQ(portMapPathForProgram("zar4ctl"), "zar4ctl.ports");
    EXPECT_EQ(portMapPathForProgram("build/a.b.c"), "build/a.b.ports");
}

// The map in force: beside the program, else the operator's own, else the machine's.
TEST_F(PortMapTest, BesideTheProgramThenTheOperatorsThenTheMachines) {
    namespace fs = std::filesystem;
    const std::string bin = folder + "/bin", user = folder + "/user", etc = folder + "/etc";
    for (const auto& d : {bin, user, etc})
        fs::create_directory(d);
    const ConfigPlaces places{bin + "/zar4ctl", false, user, etc};
    struct Case {
        bool beside, own, machine;
        std::string expected;
    };
    for (const Case& c : {Case{true, true, true, bin + "/zar4ctl.ports"},
                          Case{false, true, true, user + "/zar4loader.ports"},
                          Case{false, false, true, etc + "/zar4loader.ports"},
                          Case{false, false, false, bin + "/zar4ctl.ports"}}) {
        const std::pair<bool, std::string> files[] = {{c.beside, bin + "/zar4ctl.ports"},
                                                      {c.own, user + "/zar4loader.ports"},
                                                      {c.machine, etc + "/zar4loader.ports"}};
        for (const auto& [there, path] : files) {
            if (there)
                std::ofstream(path) << "COM1=/dev/ttyUSB0\n";
            else
                fs::remove(path);
        }
        // Compared as paths: Windows joins a folder and a name with its own separator.
        EXPECT_EQ(fs::path(portMapPathIn(places)), fs::path(c.expected));
    }
    // No folder of the operator's known: the machine's map still counts.
    std::ofstream(etc + "/zar4loader.ports") << "COM1=/dev/ttyUSB0\n";
    EXPECT_EQ(fs::path(portMapPathIn({bin + "/zar4ctl", false, "", etc})),
              fs::path(etc + "/zar4loader.ports"));
    for (const auto& d : {bin, user, etc})
        fs::remove_all(d);
}

} // namespace
} // namespace zar4::test
