// The settings code and the time-outs as the Windows port hands them to the system, checked
// without a port: wine keeps a pseudo-terminal at 8N1 whatever is set, and has no modem lines
// there, so only this shows what a real COM port is asked for.

#include "link/comm_settings.h"

#include "link/serial_port.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zar4::test {
namespace {

// A port as some other program may have left it: every field away from the defaults.
CommState leftOver() {
    CommState s;
    s.baudRate = 300;
    s.stopBits = kTwoStopBits;
    s.parity = kOddParity;
    s.parityCheck = true;
    s.errorCharOn = true;
    s.errorChar = '?';
    s.byteSize = 5;
    s.dtrControl = kDtrHandshake;
    s.rtsControl = kRtsToggle;
    s.outxCtsFlow = true;
    s.outxDsrFlow = true;
    s.outX = true;
    s.inX = true;
    s.txContinueOnXoff = true;
    return s;
}

TEST(CommSettingsTest, DefaultSettingsFromAnyState) {
    CommState s = leftOver();
    ASSERT_TRUE(applySettingsCode(defaultPortSettings, s));
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.stopBits, kOneStopBit);
    EXPECT_EQ(s.parity, kNoParity);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_FALSE(s.errorCharOn);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_EQ(s.dtrControl, kDtrEnable);
    EXPECT_EQ(s.rtsControl, kRtsEnable);
    EXPECT_FALSE(s.outxCtsFlow);
    EXPECT_FALSE(s.outxDsrFlow);
    EXPECT_FALSE(s.outX);
    EXPECT_FALSE(s.inX);
    EXPECT_FALSE(s.txContinueOnXoff);
}

// Each code changes its own field and nothing else; what Linux refuses is honoured here.
TEST(CommSettingsTest, EachFieldAlone) {
    const struct {
        std::uint32_t code;
        void (*expect)(CommState&); // the change the code must make to a default state
    } cases[] = {
        {0x0C, [](CommState& s) { s.baudRate = 57600; }},
        {0x08, [](CommState& s) { s.baudRate = 14400; }},
        {0x0F, [](CommState& s) { s.baudRate = 256000; }},
        {0x20, [](CommState& s) { s.stopBits = kOne5StopBits; }},
        {0x30, [](CommState& s) { s.stopBits = kTwoStopBits; }},
        {0x1000, [](CommState& s) { s.byteSize = 4; }},
        {0x4000, [](CommState& s) { s.byteSize = 7; }},
        {0x30000, [](CommState& s) { s.dtrControl = kDtrHandshake; }},
        {0x10000, [](CommState& s) { s.dtrControl = kDtrDisable; }},
        {0x100000, [](CommState& s) { s.rtsControl = kRtsDisable; }},
        {0x300000, [](CommState& s) { s.rtsControl = kRtsHandshake; }},
        {0x400000, [](CommState& s) { s.rtsControl = kRtsToggle; }},
        {0x1000000, [](CommState& s) { s.outxCtsFlow = true; }},
        {0x3000000, [](CommState&) {}}, // on, then off
        {0x4000000, [](CommState& s) { s.outxDsrFlow = true; }},
        {0xC000000, [](CommState&) {}},
        {0x30000000, [](CommState&) {}}, // XON/XOFF 3 acts like 0
        {0x10000000,
         [](CommState& s) {
             s.outX = s.inX = true;
             s.txContinueOnXoff = false;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        CommState s;
        s.txContinueOnXoff = true;
        CommState want = s;
        c.expect(want);
        ASSERT_TRUE(applySettingsCode(c.code, s));
        EXPECT_EQ(s.baudRate, want.baudRate);
        EXPECT_EQ(s.stopBits, want.stopBits);
        EXPECT_EQ(s.byteSize, want.byteSize);
        EXPECT_EQ(s.dtrControl, want.dtrControl);
        EXPECT_EQ(s.rtsControl, want.rtsControl);
        EXPECT_EQ(s.outxCtsFlow, want.outxCtsFlow);
        EXPECT_EQ(s.outxDsrFlow, want.outxDsrFlow);
        EXPECT_EQ(s.outX, want.outX);
        EXPECT_EQ(s.inX, want.inX);
        EXPECT_EQ(s.txContinueOnXoff, want.txContinueOnXoff);
        EXPECT_EQ(s.parity, kNoParity);
        EXPECT_FALSE(s.parityCheck);
    }
}

TEST(CommSettingsTest, ParityTurnsCheckingAndTheBlankOnAndOff) {
    const struct {
        std::uint32_t code;
        std::uint8_t parity;
    } kinds[] = {
        {0x200, kOddParity}, {0x300, kEvenParity}, {0x400, kMarkParity}, {0x500, kSpaceParity}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.code);
        CommState s;
        ASSERT_TRUE(applySettingsCode(k.code | 0x7, s));
        EXPECT_EQ(s.parity, k.parity);
        EXPECT_TRUE(s.parityCheck);
        EXPECT_TRUE(s.errorCharOn);
        EXPECT_EQ(s.errorChar, ' ');
        EXPECT_EQ(s.baudRate, 9600u);
        ASSERT_TRUE(applySettingsCode(0x100, s));
        EXPECT_EQ(s.parity, kNoParity);
        EXPECT_FALSE(s.parityCheck);
        EXPECT_FALSE(s.errorCharOn);
        EXPECT_EQ(s.byteSize, 8);
    }
}

TEST(CommSettingsTest, UndefinedCodesChangeNothing) {
    for (std::uint32_t code : {0x600u, 0x700u, 0x6000u, 0x7000u, 0x500000u, 0x700000u, 0x6007u}) {
        SCOPED_TRACE(code);
        CommState s = leftOver();
        EXPECT_FALSE(applySettingsCode(code, s));
        EXPECT_EQ(s.baudRate, 300u);
        EXPECT_EQ(s.byteSize, 5);
        EXPECT_EQ(s.parity, kOddParity);
        EXPECT_EQ(s.rtsControl, kRtsToggle);
    }
}

TEST(CommSettingsTest, TimeoutsBoundEveryReadAndWrite) {
    CommTimeoutValues t{7, 7, 7, 7, 7};
    ASSERT_TRUE(applyReadTimeout(1000, t));
    EXPECT_EQ(t.readIntervalTimeout, 1000u);
    EXPECT_EQ(t.readTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.readTotalTimeoutConstant, 1000u);
    EXPECT_EQ(t.writeTotalTimeoutConstant, 7u); // the write time-outs are kept
    ASSERT_TRUE(applyWriteTimeout(250, t));
    EXPECT_EQ(t.writeTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.writeTotalTimeoutConstant, 250u);
    EXPECT_EQ(t.readTotalTimeoutConstant, 1000u);
    // All zeros would wait for ever: 0 returns at once with what is there, never MAXDWORD as
    // a multiplier (which wine and Windows treat differently).
    ASSERT_TRUE(applyReadTimeout(0, t));
    EXPECT_EQ(t.readIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.readTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.readTotalTimeoutConstant, 0u);
    ASSERT_TRUE(applyWriteTimeout(0, t));
    EXPECT_EQ(t.writeTotalTimeoutConstant, 1u);
    const CommTimeoutValues before = t;
    EXPECT_FALSE(applyReadTimeout(-1, t));
    EXPECT_FALSE(applyWriteTimeout(-1, t));
    EXPECT_EQ(t.readIntervalTimeout, before.readIntervalTimeout);
    EXPECT_EQ(t.writeTotalTimeoutConstant, before.writeTotalTimeoutConstant);
}

} // namespace
} // namespace zar4::test
