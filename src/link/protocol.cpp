#include "link/protocol.h"

#include "link/serial_port.h"

#include <cstring>

namespace zar4 {

std::uint8_t transferBuffer[kTransferBufferSize] = {};
std::string lastErrorText;
int currentPort = 0;

namespace {

constexpr CommandInfo kCommands[] = {
    {Command::GetParameterBlock, "GetParameterBlock", 1, 64, 1000},
    {Command::PutParameterBlock, "PutParameterBlock", 65, 0, 1000},
    {Command::GetPatternBlock, "GetPatternBlock", 1, 256, 1000},
    {Command::PutPatternBlock, "PutPatternBlock", 257, 0, 1000},
    {Command::LoadPatternHalf, "LoadPatternHalf", 1, 0, 1000},
    {Command::FlashPatternHalf, "FlashPatternHalf", 1, 0, 30000},
    {Command::Run, "Run", 0, 0, 1000},
    {Command::Stop, "Stop", 0, 0, 1000},
};

constexpr const char* kNoResponse = "No communication response.";
constexpr const char* kInvalidResponse = "Recieved an invalid communication response.";
constexpr const char* kChecksumError = "Error in checking sum of communication.";
constexpr const char* kSensorGotInvalidData = "ZAR4 recieved an invalid communication data.";
constexpr const char* kModeNotSecured = "Communication mode is not secured.";
constexpr const char* kModeRefused = "Failed to secure PC communication mode.";

// The largest frame either way: a command byte, 257 payload bytes and the checksum.
constexpr int kMaxFrame = 1 + 257 + 1;

} // namespace

const CommandInfo* commandInfo(std::uint8_t code) {
    for (const CommandInfo& info : kCommands) {
        if (static_cast<std::uint8_t>(info.code) == code) {
            return &info;
        }
    }
    return nullptr;
}

const CommandInfo& commandInfo(Command code) {
    // A value outside the enumeration gets an entry that sends and expects nothing rather
    // than a dangling reference.
    static const CommandInfo kNone = {static_cast<Command>(0), "", 0, 0, 1000};
    const CommandInfo* info = commandInfo(static_cast<std::uint8_t>(code));
    return info != nullptr ? *info : kNone;
}

std::uint8_t checksum(const std::uint8_t* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
}

void sendCommand(int port, Command code, const std::uint8_t* payload, int payloadSize) {
    if (payloadSize < 0 || payloadSize > kMaxFrame - 2 || (payloadSize > 0 && !payload)) {
        return; // no such frame exists; the missing reply tells the caller
    }
    std::uint8_t frame[kMaxFrame];
    frame[0] = static_cast<std::uint8_t>(code);
    if (payloadSize > 0) {
        std::memcpy(frame + 1, payload, static_cast<std::size_t>(payloadSize));
    }
    frame[payloadSize + 1] = checksum(frame, payloadSize + 1);
    // One write of the whole frame: the sensor reads a command as one burst.
    (void)writePort(port, frame, payloadSize + 2);
}

bool receiveReply(int port, std::uint8_t* destination, int dataSize, int timeoutMs) {
    if (dataSize < 0 || dataSize > kMaxFrame - 2 || (dataSize > 0 && !destination)) {
        lastErrorText = kInvalidResponse;
        return false;
    }
    (void)setReadTimeout(port, timeoutMs);
    std::uint8_t reply[kMaxFrame];
    const int expected = dataSize + 2;
    const int got = readPort(port, reply, expected);
    if (got <= 0) {
        lastErrorText = kNoResponse;
        return false;
    }
    if (reply[0] != ACK) {
        lastErrorText = kInvalidResponse;
        return false;
    }
    if (got < expected) {
        // The reply stopped short: its checksum cannot be checked, so the frame counts as a
        // damaged one, and none of it is handed on as data.
        lastErrorText = kChecksumError;
        return false;
    }
    unsigned sum = ACK;
    for (int i = 0; i < dataSize; ++i) {
        destination[i] = reply[1 + i];
        sum += reply[1 + i];
    }
    if (reply[dataSize + 1] != static_cast<std::uint8_t>(0xFF - (sum & 0xFF))) {
        lastErrorText = kChecksumError;
        return false;
    }
    return true;
}

bool requestPcMode(int port) {
    static constexpr std::uint8_t kModeRequest[3] = {0x43, 0x50, 0x6C}; // "CPl"
    (void)writePort(port, kModeRequest, 3);

    std::uint8_t byte = 0;
    if (readPort(port, &byte, 1) != 1) {
        lastErrorText = kNoResponse;
        return false;
    }
    if (byte == NAK) {
        lastErrorText = kSensorGotInvalidData;
        (void)purgeReceive(port);
        return false;
    }
    // Stray bytes ahead of the ACK are skipped as long as at least the ACK and the mode byte
    // could still be among the bytes already waiting.
    while (byte != ACK) {
        if (bytesWaiting(port) < 2 || readPort(port, &byte, 1) != 1) {
            lastErrorText = kInvalidResponse;
            return false;
        }
    }
    if (readPort(port, &byte, 1) != 1) {
        lastErrorText = kModeNotSecured;
        return false;
    }
    if (byte != PC_MODE) {
        lastErrorText = kModeRefused;
        return false;
    }
    return true;
}

bool exchange(int port, Command code) {
    const CommandInfo* info = commandInfo(static_cast<std::uint8_t>(code));
    if (info == nullptr) {
        lastErrorText = kInvalidResponse; // the sensor knows no such command
        return false;
    }
    sendCommand(port, code, transferBuffer, info->payloadSize);
    return receiveReply(port, transferBuffer, info->replySize, info->timeoutMs);
}

bool blockIsThisModel(const std::uint8_t* block) {
    return block[17] == 0 && block[19] == 0;
}

} // namespace zar4
