// The serial port over real pseudo-terminals: result codes, what opening and closing do to the
// device, the settings codes as the device reports them, and the time-outs.

#include "link/serial_port.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zar4::test {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int openDescriptors() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr) {
            ++count;
        }
        ::closedir(d);
    }
    return count;
}

termios deviceSettings(const PtyPeer& peer) {
    termios t{};
    EXPECT_EQ(::tcgetattr(peer.deviceFd(), &t), 0);
    return t;
}

void expectSameSettings(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    for (int i = 0; i < NCCS; ++i) {
        EXPECT_EQ(a.c_cc[i], b.c_cc[i]) << "c_cc[" << i << "]";
    }
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }

    PtyPeer peer;
    SerialPort port;
};

TEST_F(SerialPortTest, OpenAndCloseResultCodes) {
    const int before = openDescriptors();
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.open(peer.devicePath()), 2);
    EXPECT_TRUE(port.isOpen());

    // The device is held exclusively while open, and given back on close.
    int exclusive = 0;
    ASSERT_EQ(::ioctl(peer.deviceFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    EXPECT_EQ(port.close(), 0);
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(::ioctl(peer.deviceFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(port.close(), 1);
    EXPECT_EQ(openDescriptors(), before);

    // Open again after a close: nothing of the first open is left in the way.
    EXPECT_EQ(port.open(peer.devicePath()), 0);
    EXPECT_EQ(port.close(), 0);
}

TEST_F(SerialPortTest, DevicesThatCannotBeOpenedGiveThreeAndLeakNothing) {
    const int before = openDescriptors();
    EXPECT_EQ(port.open("/nonexistent/ttyZAR4"), 3);
    EXPECT_EQ(port.openFailure(), "/nonexistent/ttyZAR4: no such device");

    // A port map entry naming a plain file: no serial line behind it.
    char plain[] = "/tmp/zar4-not-a-tty-XXXXXX";
    const int fd = ::mkstemp(plain);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(port.open(plain), 3);
    ::unlink(plain);

    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(SerialPortTest, PortHeldByAnotherOpenerGivesThree) {
    const int before = openDescriptors();
    // Another loader on the same device (here: a second slot naming it).
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    SerialPort second;
    EXPECT_EQ(second.open(peer.devicePath()), 3);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(second.open(peer.devicePath()), 0);
    EXPECT_EQ(second.close(), 0);

    // Another program that holds the lock; also when we run as root, who passes TIOCEXCL.
    const int other = ::open(peer.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(port.open(peer.devicePath()), 3);
    EXPECT_FALSE(port.isOpen());
    ::close(other);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(port.open(peer.devicePath()), 0);
}

TEST_F(SerialPortTest, PortsThatAreNotOpenRefuseAtOnce) {
    std::uint8_t buffer[16] = {};
    const auto start = Clock::now();
    for (int round = 0; round < 2; ++round) { // never opened, then opened and closed
        if (round == 1) {
            ASSERT_EQ(port.open(peer.devicePath()), 0);
            ASSERT_EQ(port.close(), 0);
        }
        EXPECT_EQ(port.configure(defaultPortSettings), 1);
        EXPECT_EQ(port.setReadTimeout(1000), 1);
        EXPECT_EQ(port.setWriteTimeout(1000), 1);
        EXPECT_EQ(port.read(buffer, 16), 0);
        EXPECT_EQ(port.write(buffer, 16), 0);
        EXPECT_EQ(port.bytesWaiting(), 0);
        EXPECT_EQ(port.purgeReceive(), 1);
        EXPECT_EQ(port.close(), 1);
        EXPECT_FALSE(port.isOpen());
    }
    EXPECT_LT(secondsSince(start), 0.5);
    // Negative time-outs are refused on an open port.
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    EXPECT_EQ(port.setReadTimeout(-1), 2);
    EXPECT_EQ(port.setWriteTimeout(-1), 2);
}

TEST_F(SerialPortTest, OpenLeavesARawLineAtTheDefaultSettings) {
    // Start from a cooked terminal, as a freshly made device is.
    termios cooked = deviceSettings(peer);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(::tcsetattr(peer.deviceFd(), TCSANOW, &cooked), 0);

    ASSERT_EQ(port.open(peer.devicePath()), 0);
    const termios t = deviceSettings(peer);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

    // Control characters and line ends pass both ways untouched.
    const Bytes special = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0xFF, 0x00, 0x04};
    EXPECT_EQ(port.write(special.data(), static_cast<int>(special.size())), 10);
    EXPECT_EQ(peer.read(special.size()), special);
    ASSERT_TRUE(peer.write(special));
    std::uint8_t back[10] = {};
    EXPECT_EQ(port.read(back, 10), 10);
    EXPECT_EQ(Bytes(back, back + 10), special);

    // Closing puts back the cooked line it found, whatever the port set since.
    ASSERT_EQ(port.configure(12 | 0x100), 0);
    ASSERT_EQ(port.close(), 0);
    expectSameSettings(deviceSettings(peer), cooked);
}

TEST_F(SerialPortTest, ParityCodeOneSwitchesParityOffAndNothingElse) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    // Parity checking and stick/odd parity left on by someone else, two stop bits, 38400.
    termios t = deviceSettings(peer);
    t.c_iflag |= INPCK;
    t.c_cflag |= PARODD | CMSPAR | CSTOPB;
    ::cfsetospeed(&t, B38400);
    ::cfsetispeed(&t, B38400);
    ASSERT_EQ(::tcsetattr(peer.deviceFd(), TCSANOW, &t), 0);
    const termios before = deviceSettings(peer);

    ASSERT_EQ(port.configure(0x100), 0);
    termios expected = before;
    expected.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    expected.c_cflag &= ~static_cast<tcflag_t>(PARODD | CMSPAR | PARENB);
    expectSameSettings(deviceSettings(peer), expected);

    // 7 | 0x100: 9600 and no parity; the stop bits stay as they were.
    ASSERT_EQ(port.configure(7 | 0x100), 0);
    const termios after = deviceSettings(peer);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetispeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(after.c_cflag & (PARENB | PARODD | CMSPAR), 0u);
    EXPECT_NE(after.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialPortTest, SettingsTheLoaderUsesAreAcceptedOnAPseudoTerminal) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    EXPECT_EQ(port.configure(defaultPortSettings), 0);
    const struct {
        std::uint32_t code;
        speed_t speed;
    } rates[] = {{6, B4800}, {7, B9600}, {9, B19200}, {10, B38400}, {12, B57600}};
    for (const auto& r : rates) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(port.configure(r.code | 0x100), 0);
        const termios t = deviceSettings(peer);
        EXPECT_EQ(::cfgetospeed(&t), r.speed);
        EXPECT_EQ(t.c_cflag & PARENB, 0u);
    }
    // Flow control on and off again as the device sees it.
    EXPECT_EQ(port.configure(0x01300000), 0); // RTS handshake + CTS flow
    EXPECT_NE(deviceSettings(peer).c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(port.configure(0x10000000), 0); // XON/XOFF on
    EXPECT_EQ(deviceSettings(peer).c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(port.configure(0x30000000), 0); // 3 acts like 0
    EXPECT_EQ(deviceSettings(peer).c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(port.configure(defaultPortSettings), 0);
    const termios t = deviceSettings(peer);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(port.configure(0x03000000), 0); // CTS on then off: ends off
    EXPECT_EQ(deviceSettings(peer).c_cflag & CRTSCTS, 0u);
}

TEST_F(SerialPortTest, RefusedCodesGiveTwoAndChangeNothing) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    ASSERT_EQ(port.configure(10), 0); // 38400, so a refused baud change would show
    const termios before = deviceSettings(peer);
    const std::uint32_t refused[] = {
        0x1007,     // 4 data bits
        0x0027,     // one and a half stop bits
        0x6007,     // data bits 6: not defined
        0x0607,     // parity 6: not defined
        0x0707,     // parity 7: not defined
        0x400007,   // RTS toggle
        0x500007,   // RTS 5: not defined
        0x700007,   // RTS 7: not defined
        0x30007,    // DTR handshake
        0x04000007, // DSR output flow control
        0x300007,   // RTS handshake without CTS flow control
        // What a pseudo-terminal cannot do: it keeps 8 data bits and no parity.
        0x0207,
        0x0307,
        0x0407,
        0x0507,
        0x4007,
        0x2007,
    };
    for (std::uint32_t code : refused) {
        SCOPED_TRACE(code);
        EXPECT_EQ(port.configure(code), 2);
        expectSameSettings(deviceSettings(peer), before);
    }
    // DSR on and off in one code ends off: nothing to refuse.
    EXPECT_EQ(port.configure(0x0C000000), 0);
}

TEST_F(SerialPortTest, BytesWaitingPurgeAndOneWholeFrame) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    ASSERT_TRUE(peer.write({1, 2, 3, 4, 5, 6, 7}));
    // The bytes cross the pseudo-terminal asynchronously.
    for (int i = 0; i < 100 && port.bytesWaiting() < 7; ++i) {
        ::usleep(2000);
    }
    EXPECT_EQ(port.bytesWaiting(), 7);
    // A purge empties only the receive side: bytes on their way out still leave.
    ASSERT_EQ(port.write("\x81\x03\x7B", 3), 3);
    EXPECT_EQ(port.purgeReceive(), 0);
    EXPECT_EQ(port.bytesWaiting(), 0);
    EXPECT_EQ(peer.read(3), (Bytes{0x81, 0x03, 0x7B}));
    ASSERT_TRUE(peer.write({8, 9}));
    std::uint8_t got[2] = {};
    EXPECT_EQ(port.read(got, 2), 2);
    EXPECT_EQ(got[0], 8);
    EXPECT_EQ(got[1], 9);

    Bytes frame(259);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7);
    }
    EXPECT_EQ(port.write(frame.data(), 259), 259);
    EXPECT_EQ(peer.read(259), frame);
}

// A pseudo-terminal keeps no parity, but once its settings ask for marked parity errors its
// line discipline marks like a serial line's, doubling every 0xFF: reads and the count of
// waiting bytes must still give the bytes the line carried.
TEST_F(SerialPortTest, MarkedLineGivesTheBytesTheLineCarried) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    termios t = deviceSettings(peer);
    t.c_iflag |= INPCK | PARMRK;
    ASSERT_EQ(::tcsetattr(peer.deviceFd(), TCSANOW, &t), 0);
    ASSERT_EQ(port.configure(0), 0); // the port reads its settings back

    const Bytes sent = {0x06, 0xFF, 0x00, 0xFF, 0xFF, 0x41};
    ASSERT_TRUE(peer.write(sent));
    for (int i = 0; i < 100 && port.bytesWaiting() < 6; ++i) {
        ::usleep(2000);
    }
    EXPECT_EQ(port.bytesWaiting(), 6); // 9 in the driver's queue
    std::uint8_t got[6] = {};
    EXPECT_EQ(port.read(got, 2), 2);
    EXPECT_EQ(port.read(got + 2, 4), 4);
    EXPECT_EQ(Bytes(got, got + 6), sent);

    // Read straight from the driver, a 0xFF split from its double by the read size.
    ASSERT_TRUE(peer.write({0xFF, 0x07}));
    EXPECT_EQ(port.read(got, 1), 1);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_EQ(port.read(got, 1), 1);
    EXPECT_EQ(got[0], 0x07);

    // Parity off again: no marking, and what was taken early is thrown away by a purge.
    ASSERT_TRUE(peer.write({0xFF, 0x01}));
    for (int i = 0; i < 100 && port.bytesWaiting() < 2; ++i) {
        ::usleep(2000);
    }
    EXPECT_EQ(port.purgeReceive(), 0);
    EXPECT_EQ(port.bytesWaiting(), 0);
    ASSERT_EQ(port.configure(0x100), 0);
    EXPECT_EQ(deviceSettings(peer).c_iflag & (INPCK | PARMRK), 0u);
    ASSERT_TRUE(peer.write({0xFF, 0x02}));
    EXPECT_EQ(port.read(got, 2), 2);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_EQ(got[1], 0x02);
}

TEST_F(SerialPortTest, ReadsReturnAsSoonAsTheBytesAreThere) {
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    ASSERT_TRUE(peer.write(Bytes(66, 0x5A)));
    std::uint8_t buffer[66] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, 66), 66);
    EXPECT_LT(secondsSince(start), 0.5);

    // Bytes that arrive later in pieces: the read ends with the last one, not at the time-out.
    peer.writeLater({1, 2, 3}, 50);
    start = Clock::now();
    std::uint8_t first = 0;
    EXPECT_EQ(port.read(&first, 1), 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(port.read(buffer, 2), 2);
    EXPECT_LT(secondsSince(start), 0.7);
    peer.finish();

    // The far end hangs up while a read waits: the read ends there, long before its time-out,
    // and the port answers at once from then on.
    ASSERT_EQ(port.setReadTimeout(5000), 0);
    auto hangUp = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.hangUp();
    });
    start = Clock::now();
    EXPECT_EQ(port.read(buffer, 10), 0);
    EXPECT_LT(secondsSince(start), 2.0);
    hangUp.get();
    start = Clock::now();
    EXPECT_EQ(port.read(buffer, 10), 0);
    EXPECT_EQ(port.write(buffer, 10), 0);
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_EQ(port.close(), 0);
}

// The only test here that waits out real time-outs: several at once on separate ports.
TEST_F(SerialPortTest, TimeOutsBoundReadsAndWrites) {
    PtyPeer silent;
    PtyPeer stalled;
    ASSERT_TRUE(silent.ok());
    ASSERT_TRUE(stalled.ok());
    SerialPort quiet;
    SerialPort blocked;
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    ASSERT_EQ(quiet.open(silent.devicePath()), 0);
    ASSERT_EQ(blocked.open(stalled.devicePath()), 0);

    // 66 bytes asked for, 10 sent: 10 come back after about the time-out of 1000 ms.
    ASSERT_TRUE(peer.write(Bytes(10, 0x42)));
    auto partial = std::async(std::launch::async, [&] {
        std::uint8_t buffer[66] = {};
        const auto start = Clock::now();
        const int got = port.read(buffer, 66);
        return std::make_pair(got, secondsSince(start));
    });
    // Nothing sent: 0 after about the time-out.
    auto nothing = std::async(std::launch::async, [&] {
        std::uint8_t buffer[8] = {};
        const auto start = Clock::now();
        const int got = quiet.read(buffer, 8);
        return std::make_pair(got, secondsSince(start));
    });
    // Nobody reads the far end: a write stops at its time-out with what went out.
    auto write = std::async(std::launch::async, [&] {
        EXPECT_EQ(blocked.setWriteTimeout(300), 0);
        const Bytes big(4 << 20, 0x33);
        const auto start = Clock::now();
        const int sent = blocked.write(big.data(), static_cast<int>(big.size()));
        return std::make_pair(sent, secondsSince(start));
    });

    const auto [partialCount, partialTime] = partial.get();
    EXPECT_EQ(partialCount, 10);
    EXPECT_GE(partialTime, 0.95);
    EXPECT_LT(partialTime, 3.0);
    const auto [nothingCount, nothingTime] = nothing.get();
    EXPECT_EQ(nothingCount, 0);
    EXPECT_GE(nothingTime, 0.95);
    EXPECT_LT(nothingTime, 3.0);
    const auto [sentCount, writeTime] = write.get();
    EXPECT_GT(sentCount, 0);
    EXPECT_LT(sentCount, 4 << 20);
    EXPECT_GE(writeTime, 0.28);
    EXPECT_LT(writeTime, 2.5);

    // A shorter read time-out is honoured too, and closing a port with unsent bytes does
    // not hang on them.
    ASSERT_EQ(quiet.setReadTimeout(150), 0);
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(quiet.read(&byte, 1), 0);
    EXPECT_GE(secondsSince(start), 0.14);
    EXPECT_EQ(blocked.close(), 0);
    EXPECT_LT(secondsSince(start), 2.5);
}

} // namespace
} // namespace zar4::test
