// What a settings code means on every system: the rates of the baud-rate codes, and the
// decoding of bytes that arrive with their parity errors marked.

#include "link/line_settings.h"

namespace zar4 {

std::uint32_t baudRateForCode(int code) {
    // Index = baud-rate code.
    static constexpr std::uint32_t kRates[16] = {
        0,     110,   300,   600,   1200,  2400,   4800,   9600,
        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000,
    };
    if (code < 1 || code > 15) {
        return 0;
    }
    return kRates[code];
}

int ParityMarkDecoder::decode(const std::uint8_t* raw, int count, std::uint8_t* out) {
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t b = raw[i];
        switch (state_) {
        case State::Plain:
            if (b == 0xFF) {
                state_ = State::AfterFF;
            } else {
                out[written++] = b;
            }
            break;
        case State::AfterFF:
            if (b == 0xFF) {
                out[written++] = 0xFF; // a true 0xFF, doubled by the line discipline
                state_ = State::Plain;
            } else if (b == 0x00) {
                state_ = State::AfterFF00;
            } else {
                // The line discipline never sends this: the 0xFF came in just before marking
                // was switched on. It is dropped, because decoded bytes must fit where the
                // raw ones were; the byte behind it is kept.
                out[written++] = b;
                state_ = State::Plain;
            }
            break;
        case State::AfterFF00:
            out[written++] = kParityErrorChar; // `b` is the byte that came damaged
            state_ = State::Plain;
            break;
        }
    }
    return written;
}

} // namespace zar4
