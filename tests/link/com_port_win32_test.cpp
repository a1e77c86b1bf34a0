// The Windows port table against the simulated sensor: wine maps the COM port named by
// ZAR4_TEST_COM (a number) onto zar4sim's pseudo-terminal (HKLM\Software\Wine\Ports), so every
// call goes through CreateFileW, SetCommState, ReadFile and the rest as on a Windows PC.

#include "link/port_map.h"
#include "link/protocol.h"
#include "link/serial_port.h"

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
        ASSERT_EQ(openPort(port_, 512, 512), 0) << lastOpenFailure();
        ASSERT_EQ(configurePort(port_, 0xC), 0); // 57600, the sensor's rate
        ASSERT_EQ(purgeReceive(port_), 0);
    }
    void TearDown() override {
        if (portIsOpen(port_)) {
            EXPECT_EQ(closePort(port_), 0);
        }
    }
    int port_ = 0;
};

TEST_F(ComPortTest, FramesReachTheSensorAndItsRepliesComeBack) {
    ASSERT_TRUE(requestPcMode(port_)) << lastErrorText;
    ASSERT_TRUE(exchange(port_, Command::Stop)) << lastErrorText;
    transferBuffer[0] = 0; // bank 0
    ASSERT_TRUE(exchange(port_, Command::GetParameterBlock)) << lastErrorText;
    EXPECT_TRUE(blockIsThisModel(transferBuffer));
    ASSERT_TRUE(exchange(port_, Command::Run)) << lastErrorText;
}

TEST_F(ComPortTest, ReadsEndAtTheTimeoutWithWhatArrived) {
    ASSERT_EQ(setReadTimeout(port_, 300), 0);
    std::uint8_t buffer[66] = {};
    auto start = Clock::now();
    EXPECT_EQ(readPort(port_, buffer, 66), 0);
    EXPECT_GE(elapsedMs(start), 250);
    EXPECT_LT(elapsedMs(start), 1500);

    ASSERT_EQ(writePort(port_, kModeRequest, 3), 3);
    start = Clock::now();
    ASSERT_EQ(readPort(port_, buffer, 66), 2);
    EXPECT_GE(elapsedMs(start), 250);
    EXPECT_EQ(buffer[0], ACK);
    EXPECT_EQ(buffer[1], PC_MODE);

    // A whole reply ends the read at once.
    ASSERT_EQ(writePort(port_, kModeRequest, 3), 3);
    start = Clock::now();
    ASSERT_EQ(readPort(port_, buffer, 2), 2);
    EXPECT_LT(elapsedMs(start), 250);

    // A time-out of 0 hands on what is there without waiting.
    ASSERT_EQ(setReadTimeout(port_, 0), 0);
    start = Clock::now();
    EXPECT_EQ(readPort(port_, buffer, 66), 0);
    EXPECT_LT(elapsedMs(start), 250);
}

TEST_F(ComPortTest, WaitingBytesAndPurge) {
    ASSERT_EQ(writePort(port_, kModeRequest, 3), 3);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (bytesWaiting(port_) < 2 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(bytesWaiting(port_), 2);
    EXPECT_EQ(purgeReceive(port_), 0);
    EXPECT_EQ(bytesWaiting(port_), 0);
    ASSERT_EQ(setReadTimeout(port_, 100), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(readPort(port_, &byte, 1), 0);
}

TEST_F(ComPortTest, SlotsAndClosedPorts) {
    EXPECT_EQ(openPort(port_, 512, 512), 2);
    EXPECT_EQ(openPort(0, 512, 512), 1);
    EXPECT_EQ(openPort(257, 512, 512), 1);
    // A COM port nothing stands behind.
    EXPECT_EQ(openPort(201, 512, 512), 3);
    EXPECT_EQ(lastOpenFailure(), "\\\\.\\COM201: no such device");

    ASSERT_EQ(closePort(port_), 0);
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(readPort(port_, &byte, 1), 0);
    EXPECT_EQ(writePort(port_, &byte, 1), 0);
    EXPECT_EQ(bytesWaiting(port_), 0);
    EXPECT_EQ(purgeReceive(port_), 1);
    EXPECT_EQ(configurePort(port_, defaultPortSettings), 1);
    EXPECT_EQ(setReadTimeout(port_, 10), 1);
    EXPECT_EQ(closePort(port_), 1);
    EXPECT_LT(elapsedMs(start), 100);
}

// The port map may put a COM number on another device name, as on Linux.
TEST_F(ComPortTest, PortMapNamesTheDevice) {
    ASSERT_EQ(closePort(port_), 0);
    setPortDevice(7, "\\\\.\\COM" + std::to_string(port_));
    EXPECT_EQ(openPort(7, 512, 512), 0) << lastOpenFailure();
    EXPECT_EQ(closePort(7), 0);
    setPortDevice(7, "");
    EXPECT_EQ(devicePathForPort(7), "\\\\.\\COM7");

    // A map entry that names a plain file is no serial port.
    const std::string file = (std::filesystem::temp_directory_path() / "zar4-not-a-port").string();
    std::ofstream(file) << "x";
    setPortDevice(8, file);
    EXPECT_EQ(openPort(8, 512, 512), 3);
    EXPECT_EQ(lastOpenFailure(), file + ": not a serial port");
    EXPECT_FALSE(portIsOpen(8));
    setPortDevice(8, "");
    std::filesystem::remove(file);
}

} // namespace
} // namespace zar4::test
