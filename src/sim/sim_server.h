#pragma once
// The simulated ZAR4: a model of the sensor's memory and mode, its protocol engine, and a
// server that answers on a pseudo-terminal from a background thread. Tests, the demo and the
// benchmarks talk to it exactly as to a sensor on a serial line.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zar4::sim {

constexpr int kPatternRows = 208;
constexpr int kPatternColumns = 236;
constexpr int kPatternWords = kPatternRows * kPatternColumns;
// A pattern travels in two halves of 128 and 80 rows; each row as two blocks of 128 and 108
// pixels, every block in a reply of 128 words.
constexpr int kHalfRows[2] = {128, 80};
constexpr int kBlockWords = 128;
constexpr int kOddBlockPixels = kPatternColumns - kBlockWords; // 108

// One fault, chosen per run. It strikes once, at the chosen occurrence. With NoReply, Nak and
// HangUp the sensor never took the command in, so nothing of it happens (a NAKed write leaves
// the bank as it was, an unanswered flash commits nothing); with ShortReply and BadChecksum the
// command was carried out and only its answer was spoiled on the way back. For the mode
// request, BadChecksum answers 06 01 (PC mode not secured) and Nak the lone byte 0x15.
struct Fault {
    enum class Kind {
        NoReply,     // say nothing
        ShortReply,  // send only the first `shortBytes` bytes of the reply
        BadChecksum, // reply with a wrong checksum
        Nak,         // answer NAK (0x15 0xEA) instead of the reply
        HangUp,      // close the line
        // Acknowledge without carrying the command out: a PutParameterBlock, PutPatternBlock
        // or FlashPatternHalf that the sensor says it took but never stored.
        AckNoStore,
    };
    Kind kind = Kind::NoReply;
    std::uint8_t command = 0; // command code 0x81-0x88, or 0x43 for the mode request
    int nth = 1;              // at the n-th command of that code (1-based)...
    int patternBlock = -1;    // ...or, when >= 0, at this Get/PutPatternBlock block number
                              //    of any half (the nth such occurrence); `command` 0x83 or
                              //    0x84 picks one of the two, 0 takes either
    int shortBytes = 1;
};

struct SimOptions {
    bool paced = false;   // replies leave at the host's line rate (10 bits a byte)
    int flashTimeMs = 0;  // time FlashPatternHalf takes before it answers
    std::string stateDir; // keep banks and patterns here between runs ("" = memory only)
    std::string linkPath; // also place a symbolic link to the device here
    std::vector<Fault> faults;
    std::vector<std::uint8_t> strayBeforeModeAnswer; // bytes sent ahead of ACK 0x02
    int wrongModelBank = -1;                         // this bank's block carries word 9 = 480
    int slowByteDelayUs = 0;                         // extra delay between reply bytes
    bool startInPcMode = false;
    bool logFrames = false; // print every frame to standard error
    // Keep every byte the host sends for receivedBytes(). Tests read it; a long-running
    // zar4sim does not, and would otherwise grow by megabytes with every transfer.
    bool keepReceivedBytes = true;
};

struct SensorModel {
    std::array<std::array<std::uint16_t, 32>, 15> bank{};
    std::array<std::uint16_t, 32> common{};
    // 15 banks and the compensation data (16); stored row by row as the sensor sends them.
    std::array<std::vector<std::uint16_t>, 16> pattern;
    bool pcMode = false;
    // One pattern half as PutPatternBlock fills it (128 rows), until FlashPatternHalf commits
    // it. Cleared after every flash.
    std::vector<std::uint16_t> staging = std::vector<std::uint16_t>(kHalfRows[0] * kPatternColumns);
    // The half selector of the last LoadPatternHalf (-1: none yet): the half GetPatternBlock
    // serves.
    int loadedSelector = -1;
    // The recognisable default content: each bank's number drawn large over a gradient, part
    // of it masked; parameters that differ from bank to bank; COMMUNIC 5 (57600 bit/s).
    static SensorModel defaultContent();
    int communic() const { return (common[4] >> 8) & 7; }
};

// The line as the host sees it:
// - Replies leave at the rate the host set on its side; when that rate is not the one of the
//   sensor's COMMUNIC setting, every byte arrives scrambled, as at a wrong rate on a real line.
//   The sensor's rate follows COMMUNIC while it is in run mode and holds still in PC mode (a
//   value other than 1-5 leaves the rate as it was; 57600 bit/s before any valid value).
// - Outside PC mode only the mode request is heard. In PC mode every byte that starts no
//   command (and a mode request broken off) gets NAK 0x15 0xEA, as does a frame with a wrong
//   checksum or a number out of range; a frame left unfinished for a second is dropped.
// - With a state folder, a write that cannot be saved there is answered with NAK and leaves
//   the sensor's memory as it was.
// - A HangUp fault closes the device for good: the host's reads end, the path is gone.
class SimServer {
public:
    explicit SimServer(SimOptions options = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Opens the pseudo-terminal and starts answering. False (with a reason on stderr) on
    // failure.
    bool start();
    void stop();
    // The device a client opens (the pseudo-terminal's slave side, or linkPath when set).
    std::string devicePath() const;

    // Runs `f` on the model under the server's lock.
    void withModel(const std::function<void(SensorModel&)>& f);
    // Every byte the host has sent since the start or the last clearLog(), in order.
    std::vector<std::uint8_t> receivedBytes();
    void clearLog();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zar4::sim
