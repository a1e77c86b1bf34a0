#include "link/protocol.h"
#include "link/serial_port.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"

namespace zar4 {

namespace {

constexpr int kQueueSize = 512;
// Parity code 1 (none) in bits 8-10 of the settings code: the sensor's line has no parity.
constexpr std::uint32_t kNoParity = 0x100;

} // namespace

int baudCodeForIndex(int baudIndex) {
    // "4800 (1)", "9600 (2)", "19200 (3)", "38400 (4)", "57600 (5)"
    static const int kCodes[] = {6, 7, 9, 10, 12};
    if (baudIndex < 0 || baudIndex >= static_cast<int>(sizeof kCodes / sizeof kCodes[0]))
        return -1;
    return kCodes[baudIndex];
}

// A port whose driver refuses the rate would talk to the sensor at the wrong speed, so a
// refused setting counts as an invalid baud rate rather than being passed over.
static bool setBaudRate(int port, int baudIndex, MessageService& messages) {
    int code = baudCodeForIndex(baudIndex);
    if (code < 0 || configurePort(port, static_cast<std::uint32_t>(code) | kNoParity) != 0) {
        messages.error(texts::kBaudRateInvalid);
        closePort(port);
        return false;
    }
    return true;
}

// "Failed to open COM port." with the device and the system's reason on the next line, so
// that the operator knows whether to plug the adapter in, join a group or close a program.
static void showOpenFailure(MessageService& messages) {
    const std::string reason = lastOpenFailure();
    messages.error(reason.empty() ? std::string(texts::kFailedToOpenPort)
                                  : std::string(texts::kFailedToOpenPort) + "\n" + reason);
}

bool openSensorPort(int port, int baudIndex, MessageService& messages) {
    currentPort = port;
    if (openPort(port, kQueueSize, kQueueSize) != 0) {
        showOpenFailure(messages);
        return false;
    }
    return setBaudRate(port, baudIndex, messages);
}

bool connectExchanges(int port, MessageService& messages) {
    purgeReceive(port);
    if (!requestPcMode(port)) {
        messages.error(lastErrorText);
        return false;
    }
    purgeReceive(port);
    if (!exchange(port, Command::Stop)) {
        messages.error(lastErrorText);
        return false;
    }
    return true;
}

bool connectSensor(int port, int baudIndex, MessageService& messages, bool askFirst) {
    currentPort = port;
    if (openPort(port, kQueueSize, kQueueSize) != 0) {
        showOpenFailure(messages);
        return false;
    }
    if (askFirst && !messages.ask(texts::kAgreeToStop)) {
        closePort(port);
        return false;
    }
    if (!setBaudRate(port, baudIndex, messages))
        return false;
    if (!connectExchanges(port, messages)) {
        closePort(port);
        return false;
    }
    return true;
}

bool returnToRun(MessageService& messages) {
    bool ok = exchange(currentPort, Command::Run);
    if (!ok)
        messages.error(lastErrorText);
    closePort(currentPort);
    return ok;
}

} // namespace zar4
