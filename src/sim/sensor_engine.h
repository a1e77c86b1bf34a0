#pragma once
// The sensor's side of the byte protocol: takes the host's bytes one at a time, recognises the
// mode request and the command frames, acts on the model and says what to answer. It does no
// input or output and keeps no clock of its own, so the server decides when and how the answer
// leaves, and tests can drive it directly.

#include "sim/sim_server.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zar4::sim {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kPcModeByte = 0x02;
constexpr std::uint8_t kModeRequest[3] = {0x43, 0x50, 0x6C};

// 0xFF minus the sum of the bytes, modulo 256.
std::uint8_t frameChecksum(const std::uint8_t* bytes, std::size_t count);

// Payload size n of a command code 0x81-0x88, or -1 for any other byte.
int commandPayloadSize(std::uint8_t code);

// Line rate in bit/s of a COMMUNIC value 1-5, or 0 for any other value.
int communicRate(int communic);

// What the sensor does in answer to one recognised message.
struct Answer {
    std::vector<std::uint8_t> bytes; // sent to the host, in order
    // A write into the sensor's memory (a parameter block, the flash of a pattern half): run on
    // the model, under the server's lock, once `delayMs` has passed and before `bytes` leave.
    // The server saves it to the state folder then; a write it cannot save is undone and
    // answered with NAK, so memory and answer always agree.
    int delayMs = 0;
    std::function<void(SensorModel&)> afterDelay;
    bool hangUp = false;         // close the line after sending `bytes`
    bool saveParameters = false; // the banks or the common block changed
    int savePattern = -1;        // this pattern (0-15) changed
    std::string logText;         // what the host sent, for the frame log
};

class SensorEngine {
public:
    explicit SensorEngine(const SimOptions& options);

    // One byte from the host that finished arriving at `at`. Returns the answer when this byte
    // completed a message the sensor answers.
    std::optional<Answer> onByte(SensorModel& model, std::uint8_t byte, Clock::time_point at);

    // The COMMUNIC value the sensor's line runs at. It follows the common block while the
    // sensor is in run mode and holds still in PC mode, so a write of the common block does not
    // cut the transfer that carries it.
    int lineCommunic() const { return lineCommunic_; }
    // Takes the line rate from the model as the sensor starts (it may start in PC mode).
    void startLine(const SensorModel& model) {
        if (communicRate(model.communic()) != 0)
            lineCommunic_ = model.communic();
    }

    // The bytes ignored outside PC mode since the last call, for the frame log.
    std::vector<std::uint8_t> takeIgnored() { return std::exchange(ignored_, {}); }

    // A partly received frame is dropped when the host stays silent this long: the host gave
    // up on it long ago, and the next frame must start clean.
    static constexpr auto kFrameGap = std::chrono::milliseconds(1000);

private:
    std::optional<Answer> onModeByte(SensorModel& model, std::uint8_t byte);
    Answer execute(SensorModel& model);
    Answer commandAnswer(SensorModel& model, std::uint8_t code, const std::uint8_t* payload);
    Answer modeAnswer(SensorModel& model);
    const Fault* dueFault(std::uint8_t code, int block);
    static void applyFault(const Fault& fault, Answer& answer);

    SimOptions options_;
    int lineCommunic_ = 5;
    std::vector<std::uint8_t> frame_; // the frame being received (PC mode)
    int frameSize_ = 0;               // its full size, command code and checksum included
    int modeMatched_ = 0;             // bytes of the mode request seen in a row
    Clock::time_point lastByteAt_{};
    int commandCount_[256] = {};
    std::vector<int> faultHits_; // per fault: matching block commands seen so far
    std::vector<std::uint8_t> ignored_;
};

// The sensor's reply frame: ACK, the data, the checksum.
std::vector<std::uint8_t> replyFrame(const std::uint8_t* data, std::size_t size);

// The sensor's negative answer to a command: NAK and its checksum.
std::vector<std::uint8_t> nakFrame();

// What a host listening at the wrong line rate receives instead of `bytes`.
std::vector<std::uint8_t> garbled(const std::vector<std::uint8_t>& bytes);

// "81 03 7B": bytes as the frame log shows them.
std::string hexBytes(const std::uint8_t* bytes, std::size_t size);

} // namespace zar4::sim
