// The sensor's protocol against a scripted sensor on a pseudo-terminal: the bytes of every
// frame, and the words left for the operator on every kind of bad answer.

#include "link/protocol.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace zar4::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNoResponse = "No communication response.";
constexpr const char* kInvalid = "Recieved an invalid communication response.";
constexpr const char* kChecksum = "Error in checking sum of communication.";

// A reply frame as the sensor builds it: ACK, the data, the checksum over both.
Bytes replyFrame(const Bytes& data) {
    Bytes frame(data.size() + 1, ACK);
    std::copy(data.begin(), data.end(), frame.begin() + 1);
    frame.push_back(checksum(frame.data(), static_cast<int>(frame.size())));
    return frame;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(link.open({"COM9", peer.devicePath()}));
        link.fail(LinkFailureKind::None, "(untouched)");
    }
    void TearDown() override { peer.finish(); }

    // A read of a reply that waits no longer than a test needs.
    bool receive(std::uint8_t* destination, int dataSize) {
        return receiveReply(link, destination, dataSize, 200);
    }

    PtyPeer peer;
    SerialLink link;
};

TEST(ChecksumTest, IsTheComplementOfTheByteSum) {
    const std::uint8_t run[] = {0x87};
    EXPECT_EQ(checksum(run, 1), 0x78);
    const std::uint8_t ack[] = {0x06};
    EXPECT_EQ(checksum(ack, 1), 0xF9);
    EXPECT_EQ(checksum(nullptr, 0), 0xFF);
    // The sum wraps: 0xFF + 0xFF + 0x03 = 0x201.
    const std::uint8_t wrap[] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(checksum(wrap, 3), 0xFE);
}

TEST_F(ProtocolTest, CommandFramesOnTheWire) {
    peer.answer(2, {0x06, 0xF9});
    EXPECT_TRUE(exchange(link, Command::Run));
    EXPECT_EQ(peer.finish(), (Bytes{0x87, 0x78}));

    peer.answer(2, {0x06, 0xF9});
    EXPECT_TRUE(exchange(link, Command::Stop));
    EXPECT_EQ(peer.finish(), (Bytes{0x88, 0x77}));

    // GetParameterBlock for bank 3: 81 03 7B, answered by 66 bytes whose data land in the
    // transfer buffer.
    Bytes words(64);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    link.transferBuffer[0] = 3;
    peer.answer(3, replyFrame(words));
    EXPECT_TRUE(exchange(link, Command::GetParameterBlock));
    EXPECT_EQ(peer.finish(), (Bytes{0x81, 0x03, 0x7B}));
    EXPECT_EQ(Bytes(link.transferBuffer, link.transferBuffer + 64), words);
    EXPECT_EQ(link.lastErrorText(), "(untouched)"); // replaced on failure only, never cleared

    // PutPatternBlock: block number and 256 bytes, 259 bytes with the checksum.
    link.transferBuffer[0] = 17;
    for (int i = 1; i <= 256; ++i) {
        link.transferBuffer[i] = static_cast<std::uint8_t>(i * 3);
    }
    Bytes expected(link.transferBuffer, link.transferBuffer + 257);
    expected.insert(expected.begin(), 0x84);
    expected.push_back(checksum(expected.data(), 258));
    peer.answer(259, {0x06, 0xF9});
    EXPECT_TRUE(exchange(link, Command::PutPatternBlock));
    const Bytes sent = peer.finish();
    EXPECT_EQ(sent.size(), 259u);
    EXPECT_EQ(sent, expected);
}

TEST_F(ProtocolTest, EveryCommandWithItsTableSizes) {
    const struct {
        Command code;
        int payload;
        int reply;
        int timeoutMs;
    } table[] = {
        {Command::GetParameterBlock, 1, 64, 1000},
        {Command::PutParameterBlock, 65, 0, 1000},
        {Command::GetPatternBlock, 1, 256, 1000},
        {Command::PutPatternBlock, 257, 0, 1000},
        {Command::LoadPatternHalf, 1, 0, 1000},
        {Command::FlashPatternHalf, 1, 0, 30000},
        {Command::Run, 0, 0, 1000},
        {Command::Stop, 0, 0, 1000},
    };
    for (const auto& row : table) {
        const auto code = static_cast<std::uint8_t>(row.code);
        SCOPED_TRACE(commandInfo(row.code).name);
        ASSERT_NE(commandInfo(code), nullptr);
        EXPECT_EQ(commandInfo(code)->payloadSize, row.payload);
        EXPECT_EQ(commandInfo(code)->replySize, row.reply);
        EXPECT_EQ(commandInfo(code)->timeoutMs, row.timeoutMs);

        for (int i = 0; i < row.payload; ++i) {
            link.transferBuffer[i] = static_cast<std::uint8_t>(code + i);
        }
        Bytes frame(link.transferBuffer, link.transferBuffer + row.payload);
        frame.insert(frame.begin(), code);
        frame.push_back(checksum(frame.data(), static_cast<int>(frame.size())));
        peer.answer(frame.size(), replyFrame(Bytes(static_cast<std::size_t>(row.reply), 0x5C)));
        EXPECT_TRUE(exchange(link, row.code)) << link.lastErrorText();
        EXPECT_EQ(peer.finish(), frame);
        if (row.reply > 0) {
            EXPECT_EQ(link.transferBuffer[row.reply - 1], 0x5C);
        }
    }
    EXPECT_EQ(commandInfo(0x80), nullptr);
    EXPECT_EQ(commandInfo(0x89), nullptr);
    EXPECT_EQ(commandInfo(0x06), nullptr);
}

TEST_F(ProtocolTest, RepliesWithoutData) {
    std::uint8_t unused[4] = {};
    struct Case {
        Bytes reply;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {{0x06, 0xF9}, true, "(untouched)"},
        {{0x06, 0xF8}, false, kChecksum},
        {{0x15, 0xEA}, false, kInvalid}, // NAK counts only in the mode request
        {{0x00, 0xF9}, false, kInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.reply));
        link.fail(LinkFailureKind::None, "(untouched)");
        ASSERT_TRUE(peer.write(c.reply));
        EXPECT_EQ(receive(unused, 0), c.ok);
        EXPECT_EQ(link.lastErrorText(), c.text);
        link.port().purgeReceive();
    }
    // Nothing at all within the time-out: the reply's own time-out, not the 1000 ms the port
    // was opened with.
    const auto start = Clock::now();
    EXPECT_FALSE(receive(unused, 0));
    EXPECT_EQ(link.lastErrorText(), kNoResponse);
    EXPECT_GE(secondsSince(start), 0.18);
    EXPECT_LT(secondsSince(start), 0.9);
}

TEST_F(ProtocolTest, DataRepliesAreCheckedOverAckAndData) {
    Bytes words(64, 0);
    words[16] = 236;
    words[18] = 208;
    std::uint8_t block[64] = {};
    ASSERT_TRUE(peer.write(replyFrame(words)));
    EXPECT_TRUE(receive(block, 64));
    EXPECT_EQ(Bytes(block, block + 64), words);

    // One data bit flipped on the way: the checksum shows it. The data were copied before the
    // comparison, so the block holds what arrived, damage included.
    Bytes damaged = replyFrame(words);
    damaged[20] ^= 0x10;
    ASSERT_TRUE(peer.write(damaged));
    EXPECT_FALSE(receive(block, 64));
    EXPECT_EQ(link.lastErrorText(), kChecksum);
    EXPECT_EQ(Bytes(block, block + 64), Bytes(damaged.begin() + 1, damaged.end() - 1));

    // A reply sum that only works without the ACK in it is wrong.
    Bytes noAck = replyFrame(words);
    noAck.back() = checksum(noAck.data() + 1, 64);
    ASSERT_TRUE(peer.write(noAck));
    EXPECT_FALSE(receive(block, 64));
    EXPECT_EQ(link.lastErrorText(), kChecksum);
}

TEST_F(ProtocolTest, ShortRepliesDeliverNothing) {
    std::uint8_t block[64];
    struct Case {
        Bytes reply;
        const char* text;
    };
    const Case cases[] = {
        {{0x06}, kChecksum},                                // the ACK alone
        {{0x06, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, kChecksum}, // cut off after 10 data bytes
        {replyFrame(Bytes(64, 0)), kChecksum},              // trimmed below: no checksum byte
        {{0x15}, kInvalid},                                 // judged on its first byte
        {{0x00, 0x06, 0x00}, kInvalid},
    };
    for (Case c : cases) {
        if (c.reply.size() == 66) {
            c.reply.pop_back();
        }
        SCOPED_TRACE(c.reply.size());
        std::memset(block, 0xEE, sizeof block);
        ASSERT_TRUE(peer.write(c.reply));
        EXPECT_FALSE(receive(block, 64));
        EXPECT_EQ(link.lastErrorText(), c.text);
        EXPECT_EQ(Bytes(block, block + 64), Bytes(64, 0xEE)) << "no data handed on";
    }
}

TEST_F(ProtocolTest, ModeRequestAnswers) {
    ASSERT_EQ(link.port().setReadTimeout(200), 0);
    struct Case {
        Bytes answer;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {{0x06, 0x02}, true, "(untouched)"},
        {{0x00, 0x06, 0x02}, true, "(untouched)"}, // stray byte skipped: two more wait
        // A NAK counts only as the first byte; behind a stray byte it is one more stray.
        {{0x00, 0x15, 0x06, 0x02}, true, "(untouched)"},
        {{0x06, 0x01}, false, "Failed to secure PC communication mode."},
        {{0x00, 0x06}, false, kInvalid}, // only one byte behind the stray one
        {{0x41}, false, kInvalid},
        {{}, false, kNoResponse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.answer));
        link.fail(LinkFailureKind::None, "(untouched)");
        peer.answer(3, c.answer);
        EXPECT_EQ(requestPcMode(link), c.ok);
        EXPECT_EQ(link.lastErrorText(), c.text);
        EXPECT_EQ(peer.finish(), (Bytes{0x43, 0x50, 0x6C}));
        link.port().purgeReceive();
    }

    // NAK: the sensor did not understand; whatever else it sent is thrown away.
    peer.answer(3, {0x15, 0x06, 0x02, 0x33});
    EXPECT_FALSE(requestPcMode(link));
    EXPECT_EQ(link.lastErrorText(), "ZAR4 recieved an invalid communication data.");
    EXPECT_EQ(link.lastFailure().kind, LinkFailureKind::Nak);
    EXPECT_EQ(link.lastFailure().exchange, "mode request");
    peer.finish();
    EXPECT_EQ(link.port().bytesWaiting(), 0);
}

TEST_F(ProtocolTest, ModeRequestWaitsTheOpenTimeOutForTheModeByte) {
    // A lone ACK: the mode byte is awaited for the read time-out the port was opened with,
    // also when the port had a shorter one before it was last closed.
    ASSERT_EQ(link.port().setReadTimeout(100), 0);
    ASSERT_EQ(link.close(), 0);
    ASSERT_TRUE(link.open({"COM9", peer.devicePath()}));
    peer.answer(3, {0x06});
    const auto start = Clock::now();
    EXPECT_FALSE(requestPcMode(link));
    const double waited = secondsSince(start);
    EXPECT_EQ(link.lastErrorText(), "Communication mode is not secured.");
    EXPECT_GE(waited, 0.95);
    EXPECT_LT(waited, 3.0);
}

TEST_F(ProtocolTest, FailedExchangesLeaveThePortOpen) {
    peer.answer(2, {0x15, 0xEA});
    EXPECT_FALSE(exchange(link, Command::Run));
    EXPECT_EQ(link.lastErrorText(), kInvalid);
    // The failure says what went wrong, in which exchange, at which rate.
    EXPECT_EQ(link.lastFailure().kind, LinkFailureKind::BadReply);
    EXPECT_EQ(link.lastFailure().exchange, "Run");
    EXPECT_EQ(link.lastFailure().baudRate, 9600u);
    EXPECT_TRUE(link.isOpen());

    // A code the sensor does not know is never put on the line.
    link.fail(LinkFailureKind::None, "(untouched)");
    EXPECT_FALSE(exchange(link, static_cast<Command>(0x99)));
    EXPECT_EQ(link.lastErrorText(), kInvalid);
    EXPECT_TRUE(peer.read(1, 100).empty());
}

TEST(ModelCheckTest, WordsEightAndNineMustFitInOneByte) {
    std::uint8_t block[64] = {};
    block[16] = 236; // word 8 = 236
    block[18] = 208; // word 9 = 208
    EXPECT_TRUE(blockIsThisModel(block));
    block[18] = 480 & 0xFF; // word 9 = 480
    block[19] = 480 >> 8;
    EXPECT_FALSE(blockIsThisModel(block));
    block[19] = 0;
    block[17] = 1; // word 8 = 256 + 236
    EXPECT_FALSE(blockIsThisModel(block));
    // Other words are not looked at.
    std::memset(block, 0xFF, sizeof block);
    block[17] = 0;
    block[19] = 0;
    EXPECT_TRUE(blockIsThisModel(block));
}

} // namespace
} // namespace zar4::test
