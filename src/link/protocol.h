#pragma once
// The sensor's byte protocol: the mode request, command frames with their checksum, and the
// judgement of replies. A failed exchange returns false and leaves its failure on the link.

#include "link/serial_link.h"

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

void sendCommand(SerialLink& link, Command code, const std::uint8_t* payload, int payloadSize);
// `exchange` names what the reply answers (a command's name) in a failure.
bool receiveReply(SerialLink& link, std::uint8_t* destination, int dataSize, int timeoutMs,
                  const char* exchange = "");
bool requestPcMode(SerialLink& link);

// One whole exchange with the table's sizes and time-out: payload from the link's
// transferBuffer, reply data into it.
bool exchange(SerialLink& link, Command code);

// 4 * (bank + 1) + 2 * half.
inline int halfSelector(int bank, int half) {
    return 4 * (bank + 1) + 2 * half;
}

// A bank block (64 bytes) belongs to this model when the high bytes of words 8 and 9 are 0.
bool blockIsThisModel(const std::uint8_t* block);

} // namespace zar4
