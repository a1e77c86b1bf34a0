// The Windows serial port against the simulated sensor: wine maps the COM port named by
// ZAR4_TEST_COM (a number) onto zar4sim's pseudo-terminal (HKLM\Software\Wine\Ports), so every
// call goes through CreateFileW, SetCommState, ReadFile and the rest as on a Windows PC.

#include "link/port_map.h"
#include "link/protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zar4::test {
namespace {

using Clock = std::chrono::steady_clock;

int elapsedMs(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

constexpr std::uint8_t kModeRequest[3] = {0x43, 0x50, 0x6C};

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = std::getenv("ZAR4_TEST_COM");
        if (com == nullptr) {
            GTEST_SKIP() << "ZAR4_TEST_COM names no COM port with zar4sim behind it";
        }
        port_ = std::atoi(com);
        ASSERT_TRUE(link.open(comPort(port_, PortMap()))) << link.lastErrorText();
        ASSERT_EQ(link.configure(0xC), 0); // 57600, the sensor's rate
        ASSERT_EQ(port.purgeReceive(), 0);
    }
    void TearDown() override {
        if (link.isOpen()) {
            EXPECT_EQ(link.close(), 0);
        }
    }
    int port_ = 0;
    SerialLink link;
    SerialPort& port = link.port();
};

TEST_F(ComPortTest, FramesReachTheSensorAndItsRepliesComeBack) {
    ASSERT_TRUE(requestPcMode(link)) << link.lastErrorText();
    ASSERT_TRUE(exchange(link, Command::Stop)) << link.lastErrorText();
    link.transferBuffer[0] = 0; // bank 0
    ASSERT_TRUE(exchange(link, Command::GetParameterBlock)) << link.lastErrorText();
    EXPECT_TRUE(blockIsThisModel(link.transferBuffer));
    ASSERT_TRUE(exchange(link, Command::Run)) << link.lastErrorText();
}

TEST_F(ComPortTest, ReadsEndAtTheTimeoutWithWhatArrived) {
    ASSERT_EQ(port.setReadTimeout(300), 0);
    std::uint8_t buffer[66] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, 66), 0);
    EXPECT_GE(elapsedMs(start), 250);
    EXPECT_LT(elapsedMs(start), 1500);

    ASSERT_EQ(port.write(kModeRequest, 3), 3);
    start = Clock::now();
    ASSERT_EQ(port.read(buffer, 66), 2);
    EXPECT_GE(elapsedMs(start), 250);
    EXPECT_EQ(buffer[0], ACK);
    EXPECT_EQ(buffer[1], PC_MODE);

    // A whole reply ends the read at once.
    ASSERT_EQ(port.write(kModeRequest, 3), 3);
    start = Clock::now();
    ASSERT_EQ(port.read(buffer, 2), 2);
    EXPECT_LT(elapsedMs(start), 250);

    // A time-out of 0 hands on what is there without waiting.
    ASSERT_EQ(port.setReadTimeout(0), 0);
    start = Clock::now();
    EXPECT_EQ(port.read(buffer, 66), 0);
    EXPECT_LT(elapsedMs(start), 250);
}

TEST_F(ComPortTest, WaitingBytesAndPurge) {
    ASSERT_EQ(port.write(kModeRequest, 3), 3);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (port.bytesWaiting() < 2 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(port.bytesWaiting(), 2);
    EXPECT_EQ(port.purgeReceive(), 0);
    EXPECT_EQ(port.bytesWaiting(), 0);
    ASSERT_EQ(port.setReadTimeout(100), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(port.read(&byte, 1), 0);
}

TEST_F(ComPortTest, SlotsAndClosedPorts) {
    EXPECT_EQ(port.open(comPort(port_, PortMap()).device), 2);
    // A COM port nothing stands behind.
    SerialLink other;
    EXPECT_FALSE(other.open(comPort(201, PortMap())));
    EXPECT_EQ(other.lastErrorText(), "\\\\.\\COM201: no such device");
    EXPECT_EQ(other.lastFailure().kind, LinkFailureKind::OpenFailed);

    ASSERT_EQ(link.close(), 0);
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.read(&byte, 1), 0);
    EXPECT_EQ(port.write(&byte, 1), 0);
    EXPECT_EQ(port.bytesWaiting(), 0);
    EXPECT_EQ(port.purgeReceive(), 1);
    EXPECT_EQ(port.configure(defaultPortSettings), 1);
    EXPECT_EQ(port.setReadTimeout(10), 1);
    EXPECT_EQ(port.close(), 1);
    EXPECT_LT(elapsedMs(start), 100);
}

// The port map may put a COM number on another device name, as on Linux.
TEST_F(ComPortTest, PortMapNamesTheDevice) {
    ASSERT_EQ(link.close(), 0);
    const PortMap map({{7, "\\\\.\\COM" + std::to_string(port_)}});
    EXPECT_TRUE(link.open(comPort(7, map))) << link.lastErrorText();
    EXPECT_EQ(link.close(), 0);

    // A map entry that names a plain file is no serial port.
    const std::string file = (std::filesystem::temp_directory_path() / "zar4-not-a-port").string();
    std::ofstream(file) << "x";
    EXPECT_EQ(port.open(file), 3);
    EXPECT_EQ(port.openFailure(), file + ": not a serial port");
    EXPECT_FALSE(port.isOpen());
    std::filesystem::remove(file);
}

} // namespace
} // namespace zar4::test
