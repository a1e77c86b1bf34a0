// Every baud-rate code on a real pseudo-terminal, read back through termios2: the rates
// without a B-constant (14400, 56000, 128000, 256000) are only visible there, which is why
// this file uses the kernel's header rather than <termios.h>.

#include "link/serial_port.h"
#include "support/pty_peer.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace zar4::test {
namespace {

TEST(SerialSpeedTest, EveryRateCodeReachesTheDevice) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    SerialPort port;
    ASSERT_EQ(port.open(peer.devicePath()), 0);
    const std::uint32_t rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                   14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (std::uint32_t code = 1; code <= 15; ++code) {
        SCOPED_TRACE(code);
        ASSERT_EQ(port.configure(code), 0);
        termios2 t{};
        ASSERT_EQ(::ioctl(peer.deviceFd(), TCGETS2, &t), 0);
        EXPECT_EQ(t.c_ospeed, rates[code]);
        EXPECT_EQ(t.c_ispeed, rates[code]);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)); // nothing else moved
    }
    EXPECT_EQ(port.close(), 0);
}

} // namespace
} // namespace zar4::test
