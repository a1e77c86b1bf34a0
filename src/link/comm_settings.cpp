#include "link/comm_settings.h"

#include "link/line_settings.h"

namespace zar4 {

bool applySettingsCode(std::uint32_t code, CommState& s) {
    const int baud = static_cast<int>(code & 0xF);
    const int stop = static_cast<int>((code >> 4) & 0x3);
    const int parity = static_cast<int>((code >> 8) & 0x7);
    const int data = static_cast<int>((code >> 12) & 0x7);
    const int dtr = static_cast<int>((code >> 16) & 0x3);
    const int rts = static_cast<int>((code >> 20) & 0x7);
    const int xon = static_cast<int>((code >> 28) & 0x3);

    // Codes that mean nothing are refused before anything changes.
    if (parity > 5 || data > 5 || rts > 4) {
        return false;
    }

    CommState n = s;
    if (baud != 0) {
        n.baudRate = baudRateForCode(baud);
    }
    if (stop != 0) {
        static constexpr std::uint8_t kStop[4] = {0, kOneStopBit, kOne5StopBits, kTwoStopBits};
        n.stopBits = kStop[stop];
    }
    if (parity == 1) {
        n.parity = kNoParity;
        n.parityCheck = false;
        n.errorCharOn = false;
    } else if (parity >= 2) {
        static constexpr std::uint8_t kParity[6] = {0,           0,           kOddParity,
                                                    kEvenParity, kMarkParity, kSpaceParity};
        n.parity = kParity[parity];
        n.parityCheck = true;
        n.errorCharOn = true;
        n.errorChar = static_cast<char>(kParityErrorChar);
    }
    if (data != 0) {
        n.byteSize = static_cast<std::uint8_t>(data + 3); // 1 = 4 bits ... 5 = 8 bits
    }
    if (dtr != 0) {
        static constexpr std::uint8_t kDtr[4] = {0, kDtrDisable, kDtrEnable, kDtrHandshake};
        n.dtrControl = kDtr[dtr];
    }
    if (rts != 0) {
        static constexpr std::uint8_t kRts[5] = {0, kRtsDisable, kRtsEnable, kRtsHandshake,
                                                 kRtsToggle};
        n.rtsControl = kRts[rts];
    }
    // Bit 24 before bit 25, bit 26 before bit 27: both bits of a pair end with the flow off.
    if ((code >> 24) & 1) {
        n.outxCtsFlow = true;
    }
    if ((code >> 25) & 1) {
        n.outxCtsFlow = false;
    }
    if ((code >> 26) & 1) {
        n.outxDsrFlow = true;
    }
    if ((code >> 27) & 1) {
        n.outxDsrFlow = false;
    }
    if (xon == 1 || xon == 2) {
        n.outX = xon == 1;
        n.inX = xon == 1;
        n.txContinueOnXoff = false;
    }
    s = n;
    return true;
}

bool applyReadTimeout(int ms, CommTimeoutValues& t) {
    if (ms < 0) {
        return false;
    }
    const auto wait = static_cast<std::uint32_t>(ms);
    // An interval of MAXDWORD with both totals 0 is the system's "return at once with what is
    // there"; a time-out of 0 must not become a read that waits for ever.
    t.readIntervalTimeout = ms == 0 ? 0xFFFFFFFFu : wait;
    t.readTotalTimeoutMultiplier = 0;
    t.readTotalTimeoutConstant = wait;
    return true;
}

bool applyWriteTimeout(int ms, CommTimeoutValues& t) {
    if (ms < 0) {
        return false;
    }
    // Both 0 would let a write wait for ever: 0 becomes the shortest bound there is.
    t.writeTotalTimeoutMultiplier = 0;
    t.writeTotalTimeoutConstant = ms == 0 ? 1u : static_cast<std::uint32_t>(ms);
    return true;
}

} // namespace zar4
