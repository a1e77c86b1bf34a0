// The settings code on the Linux terminal interface (termios2 flags).

#include "link/line_settings.h"

#include <asm/termbits.h>

namespace zar4 {

namespace {

struct Rate {
    std::uint32_t bitsPerSecond;
    std::uint32_t cbaud; // the classic B-constant, or BOTHER when the driver takes any rate
};

// The B-constant of each baud-rate code (index = code). 14400, 56000, 128000 and 256000 have
// none; Linux takes them as an explicit rate (BOTHER), and settingsTaken() refuses them where a
// driver cannot make them.
constexpr std::uint32_t kCbaudOfCode[16] = {
    0,      B110,   B300,   B600,   B1200,  B2400,   B4800,  B9600,
    BOTHER, B19200, B38400, BOTHER, B57600, B115200, BOTHER, BOTHER,
};

constexpr Rate kClassic[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// The output rate a termios describes: the explicit rate for BOTHER, else the B-constant's.
std::uint32_t outputRate(const LineTermios& t) {
    const std::uint32_t cbaud = t.cflag & CBAUD;
    if (cbaud == BOTHER) {
        return t.ospeed;
    }
    for (const Rate& r : kClassic) {
        if (r.cbaud == cbaud) {
            return r.bitsPerSecond;
        }
    }
    return 0;
}

constexpr std::uint32_t kParityFlags = PARENB | PARODD | CMSPAR;

} // namespace

bool applySettingsCode(std::uint32_t code, LineTermios& t, ModemLines& lines) {
    const int baud = static_cast<int>(code & 0xF);
    const int stop = static_cast<int>((code >> 4) & 0x3);
    const int parity = static_cast<int>((code >> 8) & 0x7);
    const int data = static_cast<int>((code >> 12) & 0x7);
    const int dtr = static_cast<int>((code >> 16) & 0x3);
    const int rts = static_cast<int>((code >> 20) & 0x7);
    const bool ctsOn = (code >> 24) & 1;
    const bool ctsOff = (code >> 25) & 1;
    const bool dsrOn = (code >> 26) & 1;
    const bool dsrOff = (code >> 27) & 1;
    const int xon = static_cast<int>((code >> 28) & 0x3);

    // Everything is checked before anything changes, so a refused code leaves the port as it
    // was.
    if (stop == 2) {
        return false; // one and a half stop bits: termios knows one or two
    }
    if (parity > 5) {
        return false;
    }
    if (data == 1 || data > 5) {
        return false; // 4 data bits: termios goes down to 5
    }
    if (dtr == 3) {
        return false; // no DTR/DSR handshake on Linux
    }
    if (rts > 3) {
        return false; // RTS toggle (and 5-7, not defined)
    }
    // Bit 26 before bit 27: with both set the port ends without DSR flow control, which is
    // what Linux always has.
    const bool dsrFlow = dsrOn && !dsrOff;
    if (dsrFlow) {
        return false;
    }
    // CTS output flow control is CRTSCTS, which also drives RTS from the receive buffer: RTS
    // handshake exists only together with it. Bit 24 before bit 25.
    bool ctsFlow = (t.cflag & CRTSCTS) != 0;
    if (ctsOn) {
        ctsFlow = true;
    }
    if (ctsOff) {
        ctsFlow = false;
    }
    if (rts == 3 && !ctsFlow) {
        return false;
    }

    LineTermios n = t;
    if (baud != 0) {
        n.cflag &= ~(CBAUD | CIBAUD); // input rate follows the output rate
        n.cflag |= kCbaudOfCode[baud];
        n.ispeed = baudRateForCode(baud);
        n.ospeed = baudRateForCode(baud);
    }
    if (stop == 1) {
        n.cflag &= ~CSTOPB;
    } else if (stop == 3) {
        n.cflag |= CSTOPB;
    }
    if (parity == 1) {
        n.cflag &= ~kParityFlags;
        n.iflag &= ~(INPCK | PARMRK);
    } else if (parity >= 2) {
        static constexpr std::uint32_t kParity[6] = {
            0, 0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR,
        };
        n.cflag = (n.cflag & ~kParityFlags) | kParity[parity];
        // Checking on, and a byte with a parity error replaced by a blank: the line
        // discipline marks it (PARMRK; IGNPAR would drop it) and the port puts the blank in
        // its place, so a frame keeps its length and its checksum shows the damage.
        n.iflag |= INPCK | PARMRK;
        n.iflag &= ~IGNPAR;
    }
    if (data >= 2) {
        static constexpr std::uint32_t kSize[6] = {0, 0, CS5, CS6, CS7, CS8};
        n.cflag = (n.cflag & ~CSIZE) | kSize[data];
    }
    ModemLines m = lines;
    if (dtr == 1) {
        m.dtr = LineLevel::Off;
    } else if (dtr == 2) {
        m.dtr = LineLevel::On;
    }
    if (rts == 1) {
        m.rts = LineLevel::Off;
    } else if (rts == 2) {
        m.rts = LineLevel::On;
    }
    if (ctsFlow) {
        n.cflag |= CRTSCTS;
    } else {
        n.cflag &= ~CRTSCTS;
    }
    if (xon == 1) {
        n.iflag |= IXON | IXOFF;
    } else if (xon == 2) {
        n.iflag &= ~(IXON | IXOFF);
    }

    t = n;
    lines = m;
    return true;
}

bool marksParityErrors(const LineTermios& t) {
    return (t.iflag & (INPCK | PARMRK | IGNPAR)) == (INPCK | PARMRK);
}

bool settingsTaken(const LineTermios& wanted, const LineTermios& actual) {
    constexpr std::uint32_t kCflags = CSIZE | CSTOPB | kParityFlags | CRTSCTS;
    constexpr std::uint32_t kIflags = INPCK | IGNPAR | PARMRK | IXON | IXOFF;
    if ((wanted.cflag & kCflags) != (actual.cflag & kCflags)) {
        return false;
    }
    if ((wanted.iflag & kIflags) != (actual.iflag & kIflags)) {
        return false;
    }
    // A UART makes a rate from a divisor: within 2 % both ends still read every bit right.
    const std::uint64_t want = outputRate(wanted);
    const std::uint64_t got = outputRate(actual);
    const std::uint64_t diff = want > got ? want - got : got - want;
    return diff * 50 <= want;
}

} // namespace zar4
