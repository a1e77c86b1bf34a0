// The settings-code mapping without a device, for what a pseudo-terminal cannot show: parity
// kinds, stop and data bits, modem lines, and the read-back judgement.

#include "link/line_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <termios.h>
#include <vector>

namespace zar4::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A line as the port leaves it after opening: raw, 9600, 8N1.
LineTermios openedLine() {
    LineTermios t;
    t.cflag = B9600 | CS8 | CREAD | CLOCAL | HUPCL;
    t.ispeed = 9600;
    t.ospeed = 9600;
    return t;
}

TEST(LineSettingsTest, ParityKindsAndChecking) {
    const struct {
        std::uint32_t code;
        tcflag_t cflags;
    } kinds[] = {
        {0x200, PARENB | PARODD},          // odd
        {0x300, PARENB},                   // even
        {0x400, PARENB | PARODD | CMSPAR}, // mark
        {0x500, PARENB | CMSPAR},          // space
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.code);
        LineTermios t = openedLine();
        t.iflag |= IGNPAR; // would drop a bad byte instead of handing on a blank in its place
        ModemLines lines;
        ASSERT_TRUE(applySettingsCode(k.code, t, lines));
        EXPECT_EQ(t.cflag & (PARENB | PARODD | CMSPAR), k.cflags);
        // Checking on, and bad bytes marked so that the port can put a blank in their place.
        EXPECT_EQ(t.iflag & (INPCK | IGNPAR | PARMRK), static_cast<tcflag_t>(INPCK | PARMRK));
        EXPECT_TRUE(marksParityErrors(t));
        EXPECT_EQ(t.cflag & (CBAUD | CSIZE | CSTOPB), static_cast<tcflag_t>(B9600 | CS8));
        // And back to none.
        ASSERT_TRUE(applySettingsCode(0x100, t, lines));
        EXPECT_EQ(t.cflag & (PARENB | PARODD | CMSPAR), 0u);
        EXPECT_EQ(t.iflag & (INPCK | PARMRK), 0u);
        EXPECT_FALSE(marksParityErrors(t));
    }
}

// What the line discipline delivers with parity errors marked, and what the port hands on.
TEST(LineSettingsTest, BytesWithAParityErrorBecomeBlanks) {
    ParityMarkDecoder decoder;
    auto decode = [&decoder](Bytes raw) {
        const int n = decoder.decode(raw.data(), static_cast<int>(raw.size()), raw.data());
        raw.resize(static_cast<std::size_t>(n));
        return raw;
    };
    // A bad byte (0xFF 0x00 and the byte) between good ones; a true 0xFF comes doubled.
    EXPECT_EQ(decode({0x06, 0xFF, 0x00, 0x9C, 0x41, 0xFF, 0xFF, 0x00}),
              (Bytes{0x06, 0x20, 0x41, 0xFF, 0x00}));
    // Marks split over several reads.
    EXPECT_EQ(decode({0x10, 0xFF}), (Bytes{0x10}));
    EXPECT_EQ(decode({0x00}), Bytes{});
    EXPECT_EQ(decode({0x77, 0xFF}), (Bytes{0x20}));
    EXPECT_EQ(decode({0xFF, 0x11}), (Bytes{0xFF, 0x11}));
    // Purging the receive queue drops a half-read mark with it.
    EXPECT_EQ(decode({0xFF}), Bytes{});
    decoder.reset();
    EXPECT_EQ(decode({0x00, 0x05}), (Bytes{0x00, 0x05}));
}

TEST(LineSettingsTest, StopBitsDataBitsAndRates) {
    LineTermios t = openedLine();
    ModemLines lines;
    ASSERT_TRUE(applySettingsCode(0x2030, t, lines)); // two stop bits, 5 data bits
    EXPECT_NE(t.cflag & CSTOPB, 0u);
    EXPECT_EQ(t.cflag & CSIZE, static_cast<tcflag_t>(CS5));
    ASSERT_TRUE(applySettingsCode(0x4010, t, lines)); // one stop bit, 7 data bits
    EXPECT_EQ(t.cflag & CSTOPB, 0u);
    EXPECT_EQ(t.cflag & CSIZE, static_cast<tcflag_t>(CS7));
    ASSERT_TRUE(applySettingsCode(0x3000, t, lines));
    EXPECT_EQ(t.cflag & CSIZE, static_cast<tcflag_t>(CS6));

    ASSERT_TRUE(applySettingsCode(13, t, lines));
    EXPECT_EQ(t.cflag & CBAUD, static_cast<tcflag_t>(B115200));
    EXPECT_EQ(t.ospeed, 115200u);
    // A rate without a B-constant goes as an explicit rate.
    ASSERT_TRUE(applySettingsCode(8, t, lines));
    EXPECT_EQ(t.cflag & CBAUD, static_cast<tcflag_t>(CBAUDEX)); // BOTHER
    EXPECT_EQ(t.ospeed, 14400u);
    EXPECT_EQ(t.ispeed, 14400u);
}

TEST(LineSettingsTest, BitsOutsideTheFieldsAreIgnored) {
    // Bits 6-7, 11, 15, 18-19, 23 and 30-31 belong to no field.
    constexpr std::uint32_t kUnlisted = 0xC08C88C0;
    const std::uint32_t codes[] = {0x2A225117, 0x0107, 0x2030, 0x0400, 0x10000000, 0x5000};
    for (std::uint32_t code : codes) {
        SCOPED_TRACE(code);
        LineTermios plain = openedLine();
        LineTermios noisy = openedLine();
        ModemLines plainLines;
        ModemLines noisyLines;
        ASSERT_TRUE(applySettingsCode(code, plain, plainLines));
        ASSERT_TRUE(applySettingsCode(code | kUnlisted, noisy, noisyLines));
        EXPECT_EQ(noisy.cflag, plain.cflag);
        EXPECT_EQ(noisy.iflag, plain.iflag);
        EXPECT_EQ(noisy.ospeed, plain.ospeed);
        EXPECT_EQ(noisyLines.dtr, plainLines.dtr);
        EXPECT_EQ(noisyLines.rts, plainLines.rts);
    }
    // Nothing but unlisted bits: nothing changes.
    LineTermios t = openedLine();
    ModemLines lines;
    ASSERT_TRUE(applySettingsCode(kUnlisted, t, lines));
    EXPECT_EQ(t.cflag, openedLine().cflag);
    EXPECT_EQ(t.iflag, openedLine().iflag);
    EXPECT_EQ(lines.dtr, LineLevel::Keep);
    EXPECT_EQ(lines.rts, LineLevel::Keep);
}

TEST(LineSettingsTest, ModemLinesOnlyWhenAskedFor) {
    LineTermios t = openedLine();
    ModemLines lines;
    ASSERT_TRUE(applySettingsCode(0x107, t, lines));
    EXPECT_EQ(lines.dtr, LineLevel::Keep);
    EXPECT_EQ(lines.rts, LineLevel::Keep);
    ASSERT_TRUE(applySettingsCode(0x120000, t, lines)); // DTR on, RTS off
    EXPECT_EQ(lines.dtr, LineLevel::On);
    EXPECT_EQ(lines.rts, LineLevel::Off);
    lines = {};
    ASSERT_TRUE(applySettingsCode(0x210000, t, lines)); // DTR off, RTS on
    EXPECT_EQ(lines.dtr, LineLevel::Off);
    EXPECT_EQ(lines.rts, LineLevel::On);
}

TEST(LineSettingsTest, ReadBackCatchesWhatADriverDropped) {
    LineTermios wanted = openedLine();
    ModemLines lines;
    ASSERT_TRUE(applySettingsCode(0x400, wanted, lines));
    LineTermios pty = wanted; // a pseudo-terminal clears PARENB and keeps CS8
    pty.cflag &= ~static_cast<tcflag_t>(PARENB);
    EXPECT_FALSE(settingsTaken(wanted, pty));
    EXPECT_TRUE(settingsTaken(wanted, wanted));

    ASSERT_TRUE(applySettingsCode(14, wanted, lines)); // 128000
    LineTermios rounded = wanted;                      // a UART that can only make 115200
    rounded.cflag = (rounded.cflag & ~static_cast<tcflag_t>(CBAUD)) | B115200;
    rounded.ospeed = 115200;
    EXPECT_FALSE(settingsTaken(wanted, rounded));
    LineTermios close = wanted; // a divisor a hair off
    close.ospeed = 127900;
    EXPECT_TRUE(settingsTaken(wanted, close));
}

} // namespace
} // namespace zar4::test
