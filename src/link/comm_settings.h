#pragma once
// How a settings code and the time-outs map onto the Windows serial interface: the fields of
// its DCB and COMMTIMEOUTS that they change, held here without the system's header so that the
// mapping is checked on every system (the port copies them in and out of the real structures).
//
// Field by field (a field of 0 changes nothing; anything refused changes nothing at all):
//   baud       the rate itself (the system's CBR_ values are the rates)
//   stop bits  1: ONESTOPBIT, 2: ONE5STOPBITS, 3: TWOSTOPBITS
//   parity     1: NOPARITY with checking (fParity) and the error character (fErrorChar) off;
//              2 odd, 3 even, 4 mark, 5 space: that parity with checking on and a byte received
//              with a parity error replaced by a blank (ErrorChar 0x20); 6, 7 refused
//   data bits  ByteSize 4 to 8 (whether the driver takes 4 is the driver's to say); 6, 7 refused
//   DTR        1: DTR_CONTROL_DISABLE, 2: ENABLE, 3: HANDSHAKE
//   RTS        1: RTS_CONTROL_DISABLE, 2: ENABLE, 3: HANDSHAKE, 4: TOGGLE; 5-7 refused
//   CTS, DSR   fOutxCtsFlow, fOutxDsrFlow: bit 24 (26) on, then bit 25 (27) off
//   XON/XOFF   1: fOutX and fInX on, 2: both off; either clears fTXContinueOnXoff, so that while
//              the port itself has sent XOFF it stops sending too; 3 acts like 0

#include <cstdint>

namespace zar4 {

// The values are the system's own (NOPARITY ..., ONESTOPBIT ..., DTR_CONTROL_..., RTS_CONTROL_...).
enum CommParity : std::uint8_t { kNoParity, kOddParity, kEvenParity, kMarkParity, kSpaceParity };
enum CommStopBits : std::uint8_t { kOneStopBit, kOne5StopBits, kTwoStopBits };
enum CommDtr : std::uint8_t { kDtrDisable, kDtrEnable, kDtrHandshake };
enum CommRts : std::uint8_t { kRtsDisable, kRtsEnable, kRtsHandshake, kRtsToggle };

// The part of a DCB that a settings code can change.
struct CommState {
    std::uint32_t baudRate = 9600;
    std::uint8_t stopBits = kOneStopBit;
    std::uint8_t parity = kNoParity;
    bool parityCheck = false; // fParity
    bool errorCharOn = false; // fErrorChar
    char errorChar = 0;
    std::uint8_t byteSize = 8;
    std::uint8_t dtrControl = kDtrEnable;
    std::uint8_t rtsControl = kRtsEnable;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool outX = false;
    bool inX = false;
    bool txContinueOnXoff = false;
};

// Applies the non-zero fields of `code` to `s`. Returns false for a code that is not defined;
// `s` is then left exactly as it was.
bool applySettingsCode(std::uint32_t code, CommState& s);

// The part of a COMMTIMEOUTS the port uses, in milliseconds.
struct CommTimeoutValues {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;
};

// A read of k bytes returns as soon as k bytes have arrived, and in any case no later than `ms`
// after it began, with what has arrived by then: the gap between two bytes and the whole read
// are both allowed `ms`. A time-out of 0 returns at once with what has arrived (for the system
// all zeros would mean "wait for every byte, however long"). The write time-outs are kept.
// False (nothing changed) for a negative time-out.
bool applyReadTimeout(int ms, CommTimeoutValues& t);
// A write may take `ms` in all, whatever its length (0 becomes 1 ms: all zeros would let it
// wait for ever); the read time-outs are kept.
bool applyWriteTimeout(int ms, CommTimeoutValues& t);

} // namespace zar4
