#pragma once
// How a settings code (the 32-bit word configurePort takes) maps onto the Linux terminal
// interface. Kept apart from the port table so that the mapping can be checked without a
// device: a pseudo-terminal, for one, silently keeps 8 data bits and no parity whatever it is
// asked, so mark and space parity can only be checked here.
//
// The fields are those of the kernel's termios2 (flag values as in <termios.h>); the speeds
// are in bits per second.
//
// Field by field (a field of 0 changes nothing; anything refused changes nothing at all):
//   baud       B110 ... B115200; 14400, 56000, 128000, 256000 as an explicit rate (BOTHER)
//   stop bits  1: CSTOPB off, 3: CSTOPB on; 1.5 refused
//   parity     1: PARENB, PARODD, CMSPAR, INPCK and PARMRK off; 2 odd, 3 even, 4 mark,
//              5 space: PARENB (+PARODD) (+CMSPAR) with INPCK and PARMRK on and IGNPAR off:
//              the line discipline marks a bad byte (0xFF 0x00 and the byte) and the port
//              hands on a blank (0x20) in its place (ParityMarkDecoder); 6, 7 refused.
//              Linux marks framing errors the same way, so they become blanks too.
//   data bits  CS5 ... CS8; 4 bits and codes 6, 7 refused
//   DTR, RTS   off/on through TIOCMBIC/TIOCMBIS, only when asked for; DTR handshake, RTS
//              toggle and RTS 5-7 refused; RTS handshake only together with CTS flow control
//   CTS        CRTSCTS (which also drives RTS from the receive buffer)
//   DSR        off is what Linux always has; DSR output flow control refused
//   XON/XOFF   1: IXON and IXOFF on, 2: both off. The port goes on sending after it sent
//              XOFF itself: Linux has no way to stop that.

#include <cstdint>

namespace zar4 {

struct LineTermios {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint32_t ispeed = 0;
    std::uint32_t ospeed = 0;
};

// A modem control line (DTR or RTS) as the code asks for it.
enum class LineLevel { Keep, Off, On };

struct ModemLines {
    LineLevel dtr = LineLevel::Keep;
    LineLevel rts = LineLevel::Keep;
};

// The rate of a baud-rate code 1-15 in bits per second; 0 for any other code.
std::uint32_t baudRateForCode(int code);

// Applies the non-zero fields of `code` to `t` and says which modem lines to set. Returns false
// when the code asks for something Linux cannot do or a code that is not defined; `t` and
// `lines` are then left exactly as they were.
bool applySettingsCode(std::uint32_t code, LineTermios& t, ModemLines& lines);

// True when the line discipline marks bytes received with a parity error (INPCK and PARMRK
// on, IGNPAR off), so that the port must decode what it reads with a ParityMarkDecoder.
bool marksParityErrors(const LineTermios& t);

// The byte a port hands on for one received with a parity error: a blank.
constexpr std::uint8_t kParityErrorChar = 0x20;

// Turns what the line discipline delivers with parity errors marked into the bytes the line
// carried: 0xFF 0x00 and a bad byte become kParityErrorChar, 0xFF 0xFF a true 0xFF. A mark
// may be split over several reads; the decoder keeps its place in between.
class ParityMarkDecoder {
public:
    // Decodes `count` raw bytes into `out` (which may be `raw` itself: the output never runs
    // ahead of the input) and returns how many bytes it wrote.
    int decode(const std::uint8_t* raw, int count, std::uint8_t* out);
    // Forgets a half-read mark, as when the receive queue is purged.
    void reset() { state_ = State::Plain; }

private:
    enum class State { Plain, AfterFF, AfterFF00 };
    State state_ = State::Plain;
};

// True when the settings a device reports back (`actual`) hold what was asked (`wanted`) in
// every field a settings code can change. Drivers drop what they cannot do without an error
// (a pseudo-terminal keeps 8 data bits and no parity; a UART may round an odd rate), and that
// must not pass for success.
bool settingsTaken(const LineTermios& wanted, const LineTermios& actual);

} // namespace zar4
