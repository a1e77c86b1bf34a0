// The simulated sensor over a real pseudo-terminal, driven byte by byte as a host would.

#include "sim/sensor_state.h"
#include "sim/sim_server.h"
#include "sim_client.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zar4::test {
namespace {

using sim::Fault;
using sim::SensorModel;
using sim::SimOptions;
using sim::SimServer;

constexpr std::uint8_t kGetParameterBlock = 0x81;
constexpr std::uint8_t kPutParameterBlock = 0x82;
constexpr std::uint8_t kGetPatternBlock = 0x83;
constexpr std::uint8_t kPutPatternBlock = 0x84;
constexpr std::uint8_t kLoadPatternHalf = 0x85;
constexpr std::uint8_t kFlashPatternHalf = 0x86;
const Bytes kRunFrame{0x87, 0x78};
const Bytes kStopFrame{0x88, 0x77};
const Bytes kEmptyAck{0x06, 0xF9};

int selector(int bank, int half) {
    return 4 * (bank + 1) + 2 * half;
}

struct Started {
    explicit Started(SimOptions options = {}) : server(std::move(options)) {
        started = server.start();
        EXPECT_TRUE(started);
    }
    SimServer server;
    bool started = false;
};

Bytes getParameters(SimClient& c, int item) {
    return c.exchange(commandFrame(kGetParameterBlock, {static_cast<std::uint8_t>(item)}), 66);
}

Bytes putParameters(SimClient& c, int item, const std::vector<std::uint16_t>& words) {
    Bytes payload{static_cast<std::uint8_t>(item)};
    const Bytes data = wordsToBytes(words);
    payload.insert(payload.end(), data.begin(), data.end());
    return c.exchange(commandFrame(kPutParameterBlock, payload), 2);
}

// The words of one block as the host sends them: 128 words, of which an odd block uses 108.
Bytes putBlock(SimClient& c, int block, const std::vector<std::uint16_t>& words) {
    Bytes payload{static_cast<std::uint8_t>(block)};
    const Bytes data = wordsToBytes(words);
    payload.insert(payload.end(), data.begin(), data.end());
    return c.exchange(commandFrame(kPutPatternBlock, payload), 2);
}

Bytes getBlock(SimClient& c, int block) {
    return c.exchange(commandFrame(kGetPatternBlock, {static_cast<std::uint8_t>(block)}), 258);
}

Bytes halfCommand(SimClient& c, std::uint8_t code, int sel) {
    return c.exchange(commandFrame(code, {static_cast<std::uint8_t>(sel)}), 2);
}

// Sends the blocks of one half of `pattern` (208 x 236, row by row). The 20 unused words of
// an odd block carry 0xFFFF, which the sensor must not take for pixels.
void putHalf(SimClient& c, int half, const std::vector<std::uint16_t>& pattern) {
    const int rows = half == 0 ? 128 : 80;
    for (int block = 0; block < 2 * rows; ++block) {
        const int row = half * 128 + block / 2;
        const auto first = pattern.begin() + row * 236 + (block % 2 == 0 ? 0 : 128);
        std::vector<std::uint16_t> words(first, first + (block % 2 == 0 ? 128 : 108));
        words.resize(128, 0xFFFF);
        ASSERT_EQ(putBlock(c, block, words), kEmptyAck) << "half " << half << " block " << block;
    }
}

// Reads a whole pattern and checks every reply frame on the way, including the filler words
// after the 108th of an odd block, which must not be zero.
std::vector<std::uint16_t> readPattern(SimClient& c, int bank) {
    std::vector<std::uint16_t> pattern;
    for (int half = 0; half < 2; ++half) {
        EXPECT_EQ(halfCommand(c, kLoadPatternHalf, selector(bank, half)), kEmptyAck);
        for (int block = 0; block < (half == 0 ? 256 : 160); ++block) {
            const Bytes reply = getBlock(c, block);
            if (reply.size() != 258 || reply[0] != 0x06 ||
                sumComplement(Bytes(reply.begin(), reply.end() - 1)) != reply.back()) {
                ADD_FAILURE() << "bad reply to block " << block << " of half " << half;
                return {};
            }
            const auto words = bytesToWords(reply, 1, 128);
            const std::size_t used = block % 2 == 0 ? 128 : 108;
            pattern.insert(pattern.end(), words.begin(), words.begin() + static_cast<long>(used));
            for (std::size_t i = used; i < 128; ++i)
                if (words[i] == 0) {
                    ADD_FAILURE() << "filler word " << i << " of block " << block << " is zero";
                    return {};
                }
        }
    }
    return pattern;
}

std::vector<std::uint16_t> testPattern(unsigned seed) {
    std::vector<std::uint16_t> p(sim::kPatternWords);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<std::uint16_t>((i * 7919u + seed * 104729u) ^ (i >> 5));
    return p;
}

std::vector<std::uint16_t> testWords(int seed) {
    std::vector<std::uint16_t> w(32);
    for (int i = 0; i < 32; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(seed * 1000 + i * 517 + 3);
    return w;
}

// A common block that keeps the line at COMMUNIC 5, so the next run still talks at 57600.
std::vector<std::uint16_t> commonWords(int seed) {
    auto w = testWords(seed);
    w[4] = static_cast<std::uint16_t>((w[4] & ~0x700) | (5 << 8));
    return w;
}

TEST(SimServer, AnswersOnlyTheModeRequestUntilInPcModeAndLeavesItOnRun) {
    Started s;
    SimClient c(s.server.devicePath());
    // Before the mode request commands go unanswered.
    EXPECT_TRUE(c.exchange(commandFrame(kGetParameterBlock, {3}), 66, 200).empty());
    EXPECT_TRUE(c.exchange(kStopFrame, 2, 200).empty());
    EXPECT_EQ(c.exchange(kModeRequestBytes, 2), kPcModeAnswer);
    EXPECT_EQ(c.exchange(kStopFrame, 2), kEmptyAck);
    // Asked again while in PC mode, it says so again.
    EXPECT_EQ(c.exchange(kModeRequestBytes, 2), kPcModeAnswer);
    EXPECT_EQ(c.exchange(kRunFrame, 2), kEmptyAck);
    EXPECT_TRUE(c.exchange(kStopFrame, 2, 200).empty());
    bool pc = true;
    s.server.withModel([&](SensorModel& m) { pc = m.pcMode; });
    EXPECT_FALSE(pc);

    // The log holds every byte the host sent, answered or not.
    const Bytes log = s.server.receivedBytes();
    EXPECT_EQ(log.size(), 3u + 2 + 3 + 2 + 3 + 2 + 2);
    EXPECT_EQ(Bytes(log.begin(), log.begin() + 3), (Bytes{0x81, 0x03, 0x7B}));
    s.server.clearLog();
    EXPECT_TRUE(s.server.receivedBytes().empty());
}

TEST(SimServer, ParameterBlocksWrittenReadBackAndOutOfRangeItemsAreRefused) {
    Started s;
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    for (int item : {0, 7, 14, 15}) {
        const auto words = testWords(item + 1);
        EXPECT_EQ(putParameters(c, item, words), kEmptyAck);
        EXPECT_EQ(getParameters(c, item), ackFrame(wordsToBytes(words))) << "item " << item;
    }
    std::array<std::uint16_t, 32> bank7{};
    s.server.withModel([&](SensorModel& m) { bank7 = m.bank[7]; });
    EXPECT_EQ(std::vector<std::uint16_t>(bank7.begin(), bank7.end()), testWords(8));

    // A NAK and nothing after it.
    EXPECT_EQ(c.exchange(commandFrame(kGetParameterBlock, {16}), 66, 200), kNakAnswer);
    EXPECT_EQ(putParameters(c, 16, testWords(9)), kNakAnswer);
    EXPECT_EQ(getParameters(c, 14), ackFrame(wordsToBytes(testWords(15))));
}

TEST(SimServer, WrongModelBankReportsItsMarkAs480) {
    SimOptions o;
    o.wrongModelBank = 4;
    Started s(o);
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    EXPECT_EQ(bytesToWords(getParameters(c, 4), 1, 32)[9], 480);
    EXPECT_EQ(bytesToWords(getParameters(c, 3), 1, 32)[9], 208);
}

TEST(SimServer, PatternWrittenHalfByHalfReadsBackOnlyOnceFlashed) {
    Started s;
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    const auto before = readPattern(c, 2);
    ASSERT_EQ(before.size(), static_cast<std::size_t>(sim::kPatternWords));
    const auto wanted = testPattern(2);
    const int halfWords = 128 * 236;

    putHalf(c, 0, wanted);
    EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(2, 0)), kEmptyAck);
    putHalf(c, 1, wanted);
    // Half 1 sent but not flashed: the sensor still holds the old rows.
    auto now = readPattern(c, 2);
    ASSERT_EQ(now.size(), before.size());
    EXPECT_TRUE(std::equal(wanted.begin(), wanted.begin() + halfWords, now.begin()));
    EXPECT_TRUE(std::equal(before.begin() + halfWords, before.end(), now.begin() + halfWords));

    // Flashing commits what was staged, even with reads in between.
    EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(2, 1)), kEmptyAck);
    EXPECT_EQ(readPattern(c, 2), wanted);
    // Other banks and the compensation data are untouched.
    std::vector<std::uint16_t> bank3;
    std::vector<std::uint16_t> compensation;
    s.server.withModel([&](SensorModel& m) {
        bank3 = m.pattern[3];
        compensation = m.pattern[15];
    });
    EXPECT_EQ(readPattern(c, 3), bank3);
    EXPECT_EQ(readPattern(c, 15), compensation); // selectors 64 and 66
}

TEST(SimServer, PatternCommandsRefuseNumbersOutOfRange) {
    Started s;
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    // No half chosen yet.
    EXPECT_EQ(c.exchange(commandFrame(kGetPatternBlock, {0}), 258, 200), kNakAnswer);
    for (int bad : {0, 2, 5, 7, 68, 255}) {
        EXPECT_EQ(halfCommand(c, kLoadPatternHalf, bad), kNakAnswer) << bad;
        EXPECT_EQ(halfCommand(c, kFlashPatternHalf, bad), kNakAnswer) << bad;
    }
    EXPECT_EQ(halfCommand(c, kLoadPatternHalf, selector(14, 1)), kEmptyAck);
    EXPECT_EQ(getBlock(c, 159).size(), 258u);
    EXPECT_EQ(c.exchange(commandFrame(kGetPatternBlock, {160}), 258, 200), kNakAnswer);
    EXPECT_EQ(halfCommand(c, kLoadPatternHalf, selector(0, 0)), kEmptyAck);
    EXPECT_EQ(getBlock(c, 255).size(), 258u);
}

TEST(SimServer, RefusesBadFramesAndStaysInStep) {
    Started s;
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    EXPECT_EQ(c.exchange({0x81, 0x03, 0x7C}, 2), kNakAnswer);                      // wrong checksum
    EXPECT_EQ(c.exchange({0x80, 0x7F}, 4, 300), (Bytes{0x15, 0xEA, 0x15, 0xEA}));  // no such code
    EXPECT_EQ(c.exchange({0x43, 0x88, 0x77}, 4), (Bytes{0x15, 0xEA, 0x06, 0xF9})); // broken request
    // A good frame right after is answered normally.
    EXPECT_EQ(getParameters(c, 3).size(), 66u);
}

TEST(SimServer, FramesArriveInPiecesOrRunTogether) {
    Started s;
    SimClient c(s.server.devicePath());
    for (std::uint8_t b : kModeRequestBytes)
        c.send({b});
    EXPECT_EQ(c.read(2), kPcModeAnswer);

    Bytes frame{0x02};
    const Bytes data = wordsToBytes(testWords(4));
    frame.insert(frame.end(), data.begin(), data.end());
    frame = commandFrame(kPutParameterBlock, frame);
    for (std::uint8_t b : frame) {
        c.send({b});
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_EQ(c.read(2), kEmptyAck);

    Bytes both = commandFrame(kGetParameterBlock, {2});
    const Bytes second = commandFrame(kGetParameterBlock, {15});
    both.insert(both.end(), second.begin(), second.end());
    const Bytes replies = c.exchange(both, 132);
    ASSERT_EQ(replies.size(), 132u);
    EXPECT_EQ(Bytes(replies.begin(), replies.begin() + 66), ackFrame(data));
    EXPECT_EQ(replies[66], 0x06);
}

TEST(SimServer, ClientMayCloseAndReopenTheLine) {
    Started s;
    {
        SimClient c(s.server.devicePath());
        c.enterPcMode();
    }
    SimClient again(s.server.devicePath());
    EXPECT_EQ(again.exchange(kStopFrame, 2), kEmptyAck);
}

TEST(SimServer, ModeRequestFaultsAndStrayBytes) {
    {
        SimOptions o;
        o.strayBeforeModeAnswer = {0x00, 0xFF};
        Started s(o);
        SimClient c(s.server.devicePath());
        EXPECT_EQ(c.exchange(kModeRequestBytes, 4), (Bytes{0x00, 0xFF, 0x06, 0x02}));
    }
    {
        SimOptions o;
        o.faults = {Fault{Fault::Kind::Nak, 0x43, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        EXPECT_EQ(c.exchange(kModeRequestBytes, 2, 300), Bytes{0x15});
        EXPECT_EQ(c.exchange(kModeRequestBytes, 2), kPcModeAnswer); // only the first
    }
    {
        SimOptions o;
        o.faults = {Fault{Fault::Kind::BadChecksum, 0x43, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        EXPECT_EQ(c.exchange(kModeRequestBytes, 2), (Bytes{0x06, 0x01}));
        EXPECT_TRUE(c.exchange(kStopFrame, 2, 200).empty()) << "PC mode was not entered";
    }
    {
        SimOptions o;
        o.startInPcMode = true;
        Started s(o);
        SimClient c(s.server.devicePath());
        EXPECT_EQ(c.exchange(kStopFrame, 2), kEmptyAck);
    }
}

TEST(SimServer, CommandFaultsSpoilOnlyTheChosenAnswer) {
    {
        SimOptions o;
        o.faults = {Fault{Fault::Kind::NoReply, kGetParameterBlock, 2, -1, 1},
                    Fault{Fault::Kind::ShortReply, kGetParameterBlock, 3, -1, 10},
                    Fault{Fault::Kind::BadChecksum, 0x88, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        EXPECT_EQ(getParameters(c, 0).size(), 66u);
        EXPECT_TRUE(c.exchange(commandFrame(kGetParameterBlock, {0}), 66, 300).empty());
        EXPECT_EQ(c.exchange(commandFrame(kGetParameterBlock, {0}), 66, 300).size(), 10u);
        EXPECT_EQ(getParameters(c, 0).size(), 66u);
        EXPECT_EQ(c.exchange(kStopFrame, 2), (Bytes{0x06, 0xF8}));
        EXPECT_EQ(c.exchange(kStopFrame, 2), kEmptyAck);
    }
    {
        // A refused write leaves the bank as it was.
        SimOptions o;
        o.faults = {Fault{Fault::Kind::Nak, kPutParameterBlock, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        const Bytes before = getParameters(c, 5);
        EXPECT_EQ(putParameters(c, 5, testWords(1)), kNakAnswer);
        EXPECT_EQ(getParameters(c, 5), before);
    }
    {
        // An acknowledged write that was never stored: the ACK comes, the bank stays.
        SimOptions o;
        o.faults = {Fault{Fault::Kind::AckNoStore, kPutParameterBlock, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        const Bytes before = getParameters(c, 5);
        EXPECT_EQ(putParameters(c, 5, testWords(1)), kEmptyAck);
        EXPECT_EQ(getParameters(c, 5), before);
    }
    {
        SimOptions o;
        o.faults = {Fault{Fault::Kind::HangUp, kGetParameterBlock, 1, -1, 1}};
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        EXPECT_TRUE(getParameters(c, 0).empty());
        EXPECT_TRUE(c.hungUp());
    }
}

TEST(SimServer, PatternBlockFaultsHitTheChosenOccurrence) {
    SimOptions o;
    // Block 100 of the second half read; the first flash goes unanswered and is not committed.
    o.faults = {Fault{Fault::Kind::NoReply, kGetPatternBlock, 2, 100, 1},
                Fault{Fault::Kind::NoReply, kFlashPatternHalf, 1, -1, 1}};
    Started s(o);
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    for (int half = 0; half < 2; ++half) {
        ASSERT_EQ(halfCommand(c, kLoadPatternHalf, selector(0, half)), kEmptyAck);
        for (int block = 0; block <= 100; ++block) {
            const Bytes reply =
                c.exchange(commandFrame(kGetPatternBlock, {static_cast<std::uint8_t>(block)}), 258,
                           half == 1 && block == 100 ? 300 : 1000);
            EXPECT_EQ(reply.size(), half == 1 && block == 100 ? 0u : 258u)
                << "half " << half << " block " << block;
        }
    }
    std::vector<std::uint16_t> before;
    s.server.withModel([&](SensorModel& m) { before = m.pattern[6]; });
    putHalf(c, 0, testPattern(6));
    EXPECT_TRUE(
        c.exchange(commandFrame(kFlashPatternHalf, {static_cast<std::uint8_t>(selector(6, 0))}), 2,
                   300)
            .empty());
    std::vector<std::uint16_t> after;
    s.server.withModel([&](SensorModel& m) { after = m.pattern[6]; });
    EXPECT_EQ(after, before);
}

TEST(SimServer, CommunicMismatchGarblesTheAnswer) {
    Started s;
    SimClient c(s.server.devicePath(), B9600);
    const Bytes garbage = c.exchange(kModeRequestBytes, 2);
    ASSERT_EQ(garbage.size(), 2u);
    EXPECT_NE(garbage[0], 0x06);
    EXPECT_NE(garbage[0], 0x15);
    c.setSpeed(B57600);
    EXPECT_EQ(c.exchange(kModeRequestBytes, 2), kPcModeAnswer);

    // A new COMMUNIC takes effect when the sensor is back in run mode, not mid-transfer.
    s.server.withModel([](SensorModel& m) {
        m.common[4] = static_cast<std::uint16_t>((m.common[4] & ~0x700) | (2 << 8));
    });
    EXPECT_EQ(c.exchange(kStopFrame, 2), kEmptyAck);
    EXPECT_EQ(c.exchange(kRunFrame, 2), kEmptyAck);
    EXPECT_NE(c.exchange(kModeRequestBytes, 2), kPcModeAnswer);
    c.setSpeed(B9600);
    EXPECT_EQ(c.exchange(kModeRequestBytes, 2), kPcModeAnswer);
}

TEST(SimServer, StateFolderKeepsWhatWasWrittenForTheNextRun) {
    const test::TempFolder temp("zar4sim-state");
    const std::string& dir = temp.path();
    SimOptions o;
    o.stateDir = dir;
    const auto pattern = testPattern(9);
    {
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        EXPECT_EQ(putParameters(c, 5, testWords(5)), kEmptyAck);
        EXPECT_EQ(putParameters(c, 15, commonWords(15)), kEmptyAck);
        putHalf(c, 0, pattern);
        EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(9, 0)), kEmptyAck);
        putHalf(c, 1, pattern);
        EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(9, 1)), kEmptyAck);
    }
    {
        Started s(o);
        SimClient c(s.server.devicePath());
        c.enterPcMode();
        EXPECT_EQ(getParameters(c, 5), ackFrame(wordsToBytes(testWords(5))));
        EXPECT_EQ(getParameters(c, 15), ackFrame(wordsToBytes(commonWords(15))));
        EXPECT_EQ(readPattern(c, 9), pattern);
        // What was never written keeps the default content.
        const auto bank4 = SensorModel::defaultContent().bank[4];
        EXPECT_EQ(getParameters(c, 4),
                  ackFrame(wordsToBytes(std::vector<std::uint16_t>(bank4.begin(), bank4.end()))));
    }
    // A state file cut short keeps the sensor from starting on half its memory.
    std::filesystem::resize_file(sim::patternFilePath(dir, 9), 1000);
    SimServer broken(o);
    EXPECT_FALSE(broken.start());
}

TEST(SimServer, FailedSaveIsAnsweredWithNakAndChangesNothing) {
    const test::TempFolder temp("zar4sim-nosave");
    const std::string& dir = temp.path();
    SimOptions o;
    o.stateDir = dir;
    Started s(o);
    // The files' places are taken by folders, so they cannot be written.
    std::filesystem::create_directory(sim::parametersFilePath(dir));
    std::filesystem::create_directory(sim::patternFilePath(dir, 4));
    SimClient c(s.server.devicePath());
    c.enterPcMode();
    // A write the host was told failed is not in the sensor's memory either.
    const Bytes bank1 = getParameters(c, 1);
    EXPECT_EQ(putParameters(c, 1, testWords(1)), kNakAnswer);
    EXPECT_EQ(getParameters(c, 1), bank1);

    const auto before = readPattern(c, 4);
    putHalf(c, 0, testPattern(4));
    EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(4, 0)), kNakAnswer);
    EXPECT_EQ(readPattern(c, 4), before);

    // Once the folder can take the file again, flashing the half still sent commits it.
    std::filesystem::remove(sim::patternFilePath(dir, 4));
    EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(4, 0)), kEmptyAck);
    const auto now = readPattern(c, 4);
    const auto wanted = testPattern(4);
    ASSERT_EQ(now.size(), wanted.size());
    EXPECT_TRUE(std::equal(wanted.begin(), wanted.begin() + 128 * 236, now.begin()));
    s.server.stop();
}

TEST(SimServer, LinkPathLeadsToTheDeviceUntilStop) {
    const test::TempFolder temp("zar4sim-link");
    const std::string link = temp.path() + "/ttyZAR4";
    SimOptions o;
    o.linkPath = link;
    {
        Started s(o);
        EXPECT_EQ(s.server.devicePath(), link);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        SimClient c(link);
        c.enterPcMode();
        s.server.stop();
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    // Something that is not a link is never replaced.
    std::ofstream(link) << "operator's file";
    SimServer refused(o);
    EXPECT_FALSE(refused.start());
    EXPECT_TRUE(std::filesystem::is_regular_file(link));
}

// Timing: tolerant bounds, the machine is shared.
TEST(SimServerTiming, PacedRepliesFlashAndSlowBytesTakeTheirTime) {
    using namespace std::chrono;
    {
        SimOptions o;
        o.paced = true;
        o.flashTimeMs = 300;
        Started s(o);
        s.server.withModel([](SensorModel& m) {
            m.common[4] = static_cast<std::uint16_t>((m.common[4] & ~0x700) | (3 << 8));
        });
        SimClient c(s.server.devicePath(), B19200);
        c.enterPcMode();
        ASSERT_EQ(halfCommand(c, kLoadPatternHalf, selector(0, 0)), kEmptyAck);
        const auto t0 = steady_clock::now();
        for (int block = 0; block < 4; ++block)
            ASSERT_EQ(getBlock(c, block).size(), 258u);
        const double took = duration<double>(steady_clock::now() - t0).count();
        const double ideal = 4 * (3 + 258) * 10.0 / 19200; // 0.544 s
        EXPECT_GE(took, 0.97 * ideal);
        EXPECT_LT(took, 3 * ideal);

        // A long frame from the host is answered only once all of it has crossed the line.
        const auto tPut = steady_clock::now();
        ASSERT_EQ(putBlock(c, 0, std::vector<std::uint16_t>(128, 0x1234)), kEmptyAck);
        const double put = duration<double>(steady_clock::now() - tPut).count();
        const double putIdeal = (259 + 2) * 10.0 / 19200; // 0.136 s
        EXPECT_GE(put, 0.97 * putIdeal);
        EXPECT_LT(put, 3 * putIdeal);

        const auto t1 = steady_clock::now();
        EXPECT_EQ(halfCommand(c, kFlashPatternHalf, selector(0, 0)), kEmptyAck);
        const double flash = duration<double>(steady_clock::now() - t1).count();
        EXPECT_GE(flash, 0.3);
        EXPECT_LT(flash, 2.0);
    }
    {
        SimOptions o;
        o.slowByteDelayUs = 3000;
        o.startInPcMode = true;
        Started s(o);
        SimClient c(s.server.devicePath());
        const auto t0 = steady_clock::now();
        EXPECT_EQ(getParameters(c, 0).size(), 66u);
        const double took = duration<double>(steady_clock::now() - t0).count();
        EXPECT_GE(took, 65 * 0.003);
        EXPECT_LT(took, 2.0);
    }
}

} // namespace
} // namespace zar4::test
