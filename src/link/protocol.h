#pragma once
// The sensor's byte protocol: the mode request, command frames with their checksum, and the
// judgement of replies. A failed exchange returns false and leaves its words in lastErrorText.

#include <cstdint>
#include <string>

namespace zar4 {

constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;
constexpr std::uint8_t PC_MODE = 0x02;

enum class Command : std::uint8_t {
    GetParameterBlock = 0x81,
    PutParameterBlock = 0x82,
    GetPatternBlock = 0x83,
    PutPatternBlock = 0x84,
    LoadPatternHalf = 0x85,
    FlashPatternHalf = 0x86,
    Run = 0x87,
    Stop = 0x88,
};

struct CommandInfo {
    Command code;
    const char* name;
    int payloadSize; // n: 0, 1, 65 or 257
    int replySize;   // m: 0, 64 or 256
    int timeoutMs;   // 1000, or 30000 for FlashPatternHalf
};

// The command table; nullptr for a code that is not a command.
const CommandInfo* commandInfo(std::uint8_t code);
const CommandInfo& commandInfo(Command code);

// 0xFF minus the sum of the bytes, modulo 256.
std::uint8_t checksum(const std::uint8_t* bytes, int count);

// The program-wide state of the link.
constexpr int kTransferBufferSize = 260;
extern std::uint8_t transferBuffer[kTransferBufferSize];
extern std::string lastErrorText;
extern int currentPort;

void sendCommand(int port, Command code, const std::uint8_t* payload, int payloadSize);
bool receiveReply(int port, std::uint8_t* destination, int dataSize, int timeoutMs);
bool requestPcMode(int port);

// One whole exchange with the table's sizes and time-out: payload from transferBuffer, reply
// data into transferBuffer.
bool exchange(int port, Command code);

// 4 * (bank + 1) + 2 * half.
inline int halfSelector(int bank, int half) {
    return 4 * (bank + 1) + 2 * half;
}

// A bank block (64 bytes) belongs to this model when the high bytes of words 8 and 9 are 0.
bool blockIsThisModel(const std::uint8_t* block);

} // namespace zar4
