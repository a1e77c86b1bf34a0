#include "link/protocol.h"

#include <cstring>

namespace zar4 {

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
constexpr const char* kModeRequest = "mode request";

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

void sendCommand(SerialLink& link, Command code, const std::uint8_t* payload, int payloadSize) {
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
    (void)link.port().write(frame, payloadSize + 2);
}

bool receiveReply(SerialLink& link, std::uint8_t* destination, int dataSize, int timeoutMs,
                  const char* exchange) {
    auto failed = [&](LinkFailureKind kind, const char* text) {
        link.fail(kind, text, exchange);
        return false;
    };
    if (dataSize < 0 || dataSize > kMaxFrame - 2 || (dataSize > 0 && !destination)) {
        return failed(LinkFailureKind::BadReply, kInvalidResponse);
    }
    (void)link.port().setReadTimeout(timeoutMs);
    std::uint8_t reply[kMaxFrame];
    const int expected = dataSize + 2;
    const int got = link.port().read(reply, expected);
    if (got <= 0) {
        return failed(LinkFailureKind::NoResponse, kNoResponse);
    }
    if (reply[0] != ACK) {
        return failed(LinkFailureKind::BadReply, kInvalidResponse);
    }
    if (got < expected) {
        // The reply stopped short: its checksum cannot be checked, so the frame counts as a
        // damaged one, and none of it is handed on as data.
        return failed(LinkFailureKind::Checksum, kChecksumError);
    }
    unsigned sum = ACK;
    for (int i = 0; i < dataSize; ++i) {
        destination[i] = reply[1 + i];
        sum += reply[1 + i];
    }
    if (reply[dataSize + 1] != static_cast<std::uint8_t>(0xFF - (sum & 0xFF))) {
        return failed(LinkFailureKind::Checksum, kChecksumError);
    }
    return true;
}

bool requestPcMode(SerialLink& link) {
    SerialPort& port = link.port();
    auto failed = [&](LinkFailureKind kind, const char* text) {
        link.fail(kind, text, kModeRequest);
        return false;
    };
    static constexpr std::uint8_t kModeBytes[3] = {0x43, 0x50, 0x6C}; // "CPl"
    (void)port.write(kModeBytes, 3);

    std::uint8_t byte = 0;
    if (port.read(&byte, 1) != 1) {
        return failed(LinkFailureKind::NoResponse, kNoResponse);
    }
    if (byte == NAK) {
        (void)port.purgeReceive();
        return failed(LinkFailureKind::Nak, kSensorGotInvalidData);
    }
    // Stray bytes ahead of the ACK are skipped as long as at least the ACK and the mode byte
    // could still be among the bytes already waiting.
    while (byte != ACK) {
        if (port.bytesWaiting() < 2 || port.read(&byte, 1) != 1) {
            return failed(LinkFailureKind::BadReply, kInvalidResponse);
        }
    }
    if (port.read(&byte, 1) != 1) {
        return failed(LinkFailureKind::ModeNotSecured, kModeNotSecured);
    }
    if (byte != PC_MODE) {
        return failed(LinkFailureKind::ModeRefused, kModeRefused);
    }
    return true;
}

bool exchange(SerialLink& link, Command code) {
    const CommandInfo* info = commandInfo(static_cast<std::uint8_t>(code));
    if (info == nullptr) {
        link.fail(LinkFailureKind::BadReply, kInvalidResponse); // the sensor knows no such command
        return false;
    }
    sendCommand(link, code, link.transferBuffer, info->payloadSize);
    return receiveReply(link, link.transferBuffer, info->replySize, info->timeoutMs, info->name);
}

bool blockIsThisModel(const std::uint8_t* block) {
    return block[17] == 0 && block[19] == 0;
}

} // namespace zar4
