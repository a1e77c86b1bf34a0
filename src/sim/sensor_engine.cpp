#include "sim/sensor_engine.h"

#include <algorithm>
#include <cstdio>

namespace zar4::sim {

namespace {

constexpr std::uint8_t kGetParameterBlock = 0x81;
constexpr std::uint8_t kPutParameterBlock = 0x82;
constexpr std::uint8_t kGetPatternBlock = 0x83;
constexpr std::uint8_t kPutPatternBlock = 0x84;
constexpr std::uint8_t kLoadPatternHalf = 0x85;
constexpr std::uint8_t kFlashPatternHalf = 0x86;
constexpr std::uint8_t kRun = 0x87;
constexpr std::uint8_t kStop = 0x88;
constexpr std::uint8_t kModeCode = 0x43; // faults on the mode request name it by its first byte

// The words the sensor leaves after the 108th of an odd block: never zero, so a loader that
// takes them for pixels shows up at once.
constexpr std::uint16_t kFillerWord = 0xA55A;

// A model's word in a pattern that was never filled reads as zero.
void ensureShape(SensorModel& model) {
    for (auto& p : model.pattern)
        if (p.size() != static_cast<std::size_t>(kPatternWords))
            p.resize(kPatternWords, 0);
    const auto stagingWords = static_cast<std::size_t>(kHalfRows[0] * kPatternColumns);
    if (model.staging.size() != stagingWords)
        model.staging.resize(stagingWords, 0);
}

// Bank and half of a half selector 4 * (bank + 1) + 2 * half, bank 0-15.
bool decodeSelector(int selector, int& bank, int& half) {
    if (selector < 4 || selector > 66 || selector % 2 != 0)
        return false;
    bank = selector / 4 - 1;
    half = (selector % 4) / 2;
    return true;
}

std::uint16_t wordAt(const std::uint8_t* bytes, int i) {
    return static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

void putWord(std::vector<std::uint8_t>& out, std::uint16_t w) {
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
}

} // namespace

std::uint8_t frameChecksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
}

int commandPayloadSize(std::uint8_t code) {
    switch (code) {
    case kGetParameterBlock:
    case kGetPatternBlock:
    case kLoadPatternHalf:
    case kFlashPatternHalf:
        return 1;
    case kPutParameterBlock:
        return 65;
    case kPutPatternBlock:
        return 257;
    case kRun:
    case kStop:
        return 0;
    default:
        return -1;
    }
}

int communicRate(int communic) {
    switch (communic) {
    case 1:
        return 4800;
    case 2:
        return 9600;
    case 3:
        return 19200;
    case 4:
        return 38400;
    case 5:
        return 57600;
    default:
        return 0;
    }
}

std::vector<std::uint8_t> replyFrame(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    out.reserve(size + 2);
    out.push_back(kAck);
    out.insert(out.end(), data, data + size);
    out.push_back(frameChecksum(out.data(), out.size()));
    return out;
}

std::vector<std::uint8_t> nakFrame() {
    const std::uint8_t nak = kNak;
    return {kNak, frameChecksum(&nak, 1)};
}

std::vector<std::uint8_t> garbled(const std::vector<std::uint8_t>& bytes) {
    // A byte sampled at the wrong rate comes out as another byte; a fixed scramble keeps the
    // failure repeatable. No byte comes through as itself, and no ACK or NAK survives.
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes)
        out.push_back(static_cast<std::uint8_t>(((b << 3) | (b >> 5)) ^ 0x5B));
    return out;
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t size) {
    std::string out;
    out.reserve(size * 3);
    char buf[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buf;
    }
    return out;
}

SensorEngine::SensorEngine(const SimOptions& options)
    : options_(options), faultHits_(options.faults.size(), 0) {}

std::optional<Answer> SensorEngine::onByte(SensorModel& model, std::uint8_t byte,
                                           Clock::time_point at) {
    ensureShape(model);
    const bool partial = !frame_.empty() || modeMatched_ > 0;
    if (partial && at - lastByteAt_ > kFrameGap) {
        frame_.clear();
        modeMatched_ = 0;
    }
    lastByteAt_ = at;

    if (!model.pcMode) {
        // In run mode the line follows the sensor's setting (an invalid one changes nothing).
        if (communicRate(model.communic()) != 0)
            lineCommunic_ = model.communic();
        return onModeByte(model, byte);
    }

    if (!frame_.empty()) {
        frame_.push_back(byte);
        if (static_cast<int>(frame_.size()) < frameSize_)
            return std::nullopt;
        Answer answer = execute(model);
        frame_.clear();
        return answer;
    }

    std::optional<Answer> broken;
    if (modeMatched_ > 0) {
        if (byte == kModeRequest[modeMatched_]) {
            if (++modeMatched_ < 3)
                return std::nullopt;
            modeMatched_ = 0;
            return modeAnswer(model);
        }
        // A broken mode request is refused; the byte that broke it starts afresh.
        const int seen = modeMatched_;
        modeMatched_ = 0;
        broken = Answer{};
        broken->bytes = nakFrame();
        broken->logText = "host " + hexBytes(kModeRequest, static_cast<std::size_t>(seen)) +
                          " (broken mode request)";
    }

    std::optional<Answer> fresh;
    const int payload = commandPayloadSize(byte);
    if (payload >= 0) {
        frame_.assign(1, byte);
        frameSize_ = payload + 2;
    } else if (byte == kModeCode) {
        modeMatched_ = 1;
    } else {
        // In PC mode every byte is the start of a message; one that starts none is refused.
        fresh = Answer{};
        fresh->bytes = nakFrame();
        fresh->logText = "host " + hexBytes(&byte, 1) + " (not a command)";
    }

    if (broken && fresh) {
        broken->bytes.insert(broken->bytes.end(), fresh->bytes.begin(), fresh->bytes.end());
        broken->logText += "; " + fresh->logText;
        return broken;
    }
    return broken ? broken : fresh;
}

std::optional<Answer> SensorEngine::onModeByte(SensorModel& model, std::uint8_t byte) {
    // Outside PC mode the sensor listens for the mode request alone.
    if (byte == kModeRequest[modeMatched_]) {
        if (++modeMatched_ < 3)
            return std::nullopt;
        modeMatched_ = 0;
        return modeAnswer(model);
    }
    const int matched = modeMatched_;
    modeMatched_ = byte == kModeRequest[0] ? 1 : 0;
    if (options_.logFrames) { // kept only for the frame log
        ignored_.insert(ignored_.end(), kModeRequest, kModeRequest + matched);
        if (modeMatched_ == 0)
            ignored_.push_back(byte);
    }
    return std::nullopt;
}

Answer SensorEngine::modeAnswer(SensorModel& model) {
    ++commandCount_[kModeCode];
    Answer answer;
    answer.logText = "host " + hexBytes(kModeRequest, 3);
    const Fault* fault = dueFault(kModeCode, -1);
    if (fault && fault->kind == Fault::Kind::BadChecksum) {
        // The mode answer carries no checksum: the fault shows as a sensor that did not
        // secure PC mode.
        answer.bytes = options_.strayBeforeModeAnswer;
        answer.bytes.push_back(kAck);
        answer.bytes.push_back(0x01);
        return answer;
    }
    if (fault && fault->kind == Fault::Kind::Nak) {
        // The mode request is refused with the lone NAK byte the host looks for.
        answer.bytes.assign(1, kNak);
        answer.logText += " (fault: NAK)";
        return answer;
    }
    if (fault && fault->kind != Fault::Kind::ShortReply) {
        applyFault(*fault, answer);
        return answer;
    }
    model.pcMode = true;
    answer.bytes = options_.strayBeforeModeAnswer;
    answer.bytes.push_back(kAck);
    answer.bytes.push_back(kPcModeByte);
    if (fault)
        applyFault(*fault, answer);
    return answer;
}

Answer SensorEngine::execute(SensorModel& model) {
    const std::uint8_t code = frame_[0];
    const std::uint8_t* payload = frame_.data() + 1;
    Answer answer;
    answer.logText = "host " + hexBytes(frame_.data(), frame_.size());
    unsigned sum = 0;
    for (std::uint8_t b : frame_)
        sum += b;
    if ((sum & 0xFF) != 0xFF) {
        answer.bytes = nakFrame();
        answer.logText += " (bad checksum)";
        return answer;
    }
    ++commandCount_[code];
    const int block = (code == kGetPatternBlock || code == kPutPatternBlock) ? payload[0] : -1;
    const Fault* fault = dueFault(code, block);
    if (fault && (fault->kind == Fault::Kind::NoReply || fault->kind == Fault::Kind::Nak ||
                  fault->kind == Fault::Kind::HangUp)) {
        // The sensor never took the command in: nothing of it happens.
        applyFault(*fault, answer);
        return answer;
    }
    if (fault && fault->kind == Fault::Kind::AckNoStore) {
        answer.bytes = replyFrame(nullptr, 0);
        answer.logText += " (fault: acknowledged, not stored)";
        return answer;
    }
    Answer done = commandAnswer(model, code, payload);
    done.logText = answer.logText;
    if (fault) // the command was carried out; its answer was spoiled on the way back
        applyFault(*fault, done);
    return done;
}

Answer SensorEngine::commandAnswer(SensorModel& model, std::uint8_t code,
                                   const std::uint8_t* payload) {
    Answer answer;
    const std::vector<std::uint8_t> ack = replyFrame(nullptr, 0);
    switch (code) {
    case kGetParameterBlock: {
        const int item = payload[0];
        if (item > 15)
            break;
        std::array<std::uint16_t, 32> words = item == 15 ? model.common : model.bank[item];
        if (item == options_.wrongModelBank)
            words[9] = 480;
        std::vector<std::uint8_t> data;
        data.reserve(64);
        for (std::uint16_t w : words)
            putWord(data, w);
        answer.bytes = replyFrame(data.data(), data.size());
        return answer;
    }
    case kPutParameterBlock: {
        const int item = payload[0];
        if (item > 15)
            break;
        std::array<std::uint16_t, 32> block{};
        for (int i = 0; i < 32; ++i)
            block[static_cast<std::size_t>(i)] = wordAt(payload + 1, i);
        answer.afterDelay = [item, block](SensorModel& m) {
            (item == 15 ? m.common : m.bank[static_cast<std::size_t>(item)]) = block;
        };
        answer.bytes = ack;
        answer.saveParameters = true;
        return answer;
    }
    case kGetPatternBlock: {
        int bank = 0;
        int half = 0;
        const int block = payload[0];
        if (!decodeSelector(model.loadedSelector, bank, half) || block >= 2 * kHalfRows[half])
            break;
        const int row = half * kHalfRows[0] + block / 2;
        const std::uint16_t* src = model.pattern[bank].data() + row * kPatternColumns;
        std::vector<std::uint8_t> data;
        data.reserve(2 * kBlockWords);
        if (block % 2 == 0) {
            for (int i = 0; i < kBlockWords; ++i)
                putWord(data, src[i]);
        } else {
            for (int i = 0; i < kOddBlockPixels; ++i)
                putWord(data, src[kBlockWords + i]);
            for (int i = kOddBlockPixels; i < kBlockWords; ++i)
                putWord(data, kFillerWord);
        }
        answer.bytes = replyFrame(data.data(), data.size());
        return answer;
    }
    case kPutPatternBlock: {
        // Every block number 0-255 is a place in the staging half; which half it becomes is
        // known only when the host flashes it.
        const int block = payload[0];
        std::uint16_t* dst = model.staging.data() + (block / 2) * kPatternColumns;
        if (block % 2 == 0) {
            for (int i = 0; i < kBlockWords; ++i)
                dst[i] = wordAt(payload + 1, i);
        } else {
            for (int i = 0; i < kOddBlockPixels; ++i)
                dst[kBlockWords + i] = wordAt(payload + 1, i);
        }
        answer.bytes = ack;
        return answer;
    }
    case kLoadPatternHalf: {
        int bank = 0;
        int half = 0;
        if (!decodeSelector(payload[0], bank, half))
            break;
        model.loadedSelector = payload[0];
        answer.bytes = ack;
        return answer;
    }
    case kFlashPatternHalf: {
        int bank = 0;
        int half = 0;
        if (!decodeSelector(payload[0], bank, half))
            break;
        answer.delayMs = options_.flashTimeMs;
        answer.afterDelay = [bank, half](SensorModel& m) {
            ensureShape(m);
            const int words = kHalfRows[half] * kPatternColumns;
            std::copy(m.staging.begin(), m.staging.begin() + words,
                      m.pattern[bank].begin() + half * kHalfRows[0] * kPatternColumns);
            std::fill(m.staging.begin(), m.staging.end(), 0);
        };
        answer.savePattern = bank;
        answer.bytes = ack;
        return answer;
    }
    case kRun:
        model.pcMode = false;
        answer.bytes = ack;
        return answer;
    case kStop:
        answer.bytes = ack;
        return answer;
    default:
        break;
    }
    // A number out of range (item, block or half selector) is refused, and nothing changes.
    answer.bytes = nakFrame();
    return answer;
}

const Fault* SensorEngine::dueFault(std::uint8_t code, int block) {
    const Fault* due = nullptr;
    for (std::size_t i = 0; i < options_.faults.size(); ++i) {
        const Fault& f = options_.faults[i];
        bool hit = false;
        if (f.patternBlock >= 0) {
            if (block >= 0 && block == f.patternBlock && (f.command == 0 || f.command == code))
                hit = ++faultHits_[i] == f.nth;
        } else {
            hit = f.command == code && commandCount_[code] == f.nth;
        }
        if (hit && !due)
            due = &f;
    }
    return due;
}

void SensorEngine::applyFault(const Fault& fault, Answer& answer) {
    switch (fault.kind) {
    case Fault::Kind::NoReply:
        answer.bytes.clear();
        answer.logText += " (fault: no reply)";
        break;
    case Fault::Kind::ShortReply:
        if (answer.bytes.size() > static_cast<std::size_t>(std::max(0, fault.shortBytes)))
            answer.bytes.resize(static_cast<std::size_t>(std::max(0, fault.shortBytes)));
        answer.logText += " (fault: short reply)";
        break;
    case Fault::Kind::BadChecksum:
        if (!answer.bytes.empty())
            answer.bytes.back() ^= 0x01;
        answer.logText += " (fault: bad checksum)";
        break;
    case Fault::Kind::Nak:
        answer.bytes = nakFrame();
        answer.logText += " (fault: NAK)";
        break;
    case Fault::Kind::HangUp:
        answer.bytes.clear();
        answer.hangUp = true;
        answer.logText += " (fault: hang up)";
        break;
    case Fault::Kind::AckNoStore: // handled where commands are carried out
        break;
    }
}

} // namespace zar4::sim
