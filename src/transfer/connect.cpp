#include "link/protocol.h"
#include "transfer/link_advice.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"

namespace zar4 {

namespace {

// Parity code 1 (none) in bits 8-10 of the settings code: the sensor's line has no parity.
constexpr std::uint32_t kNoParity = 0x100;

// Shows the link's failure (with what to check, when the sensor did not answer or answered
// garbled) and gives false.
bool tell(SerialLink& link, MessageService& messages) {
    messages.error(linkFailureMessage(link));
    return false;
}

// A port whose driver refuses the rate would talk to the sensor at the wrong speed, so a
// refused setting counts as an invalid baud rate rather than being passed over.
bool setBaudRate(SerialLink& link, int baudIndex, MessageService& messages) {
    int code = baudCodeForIndex(baudIndex);
    if (code < 0 || link.configure(static_cast<std::uint32_t>(code) | kNoParity) != 0) {
        link.fail(LinkFailureKind::BaudRateInvalid, texts::kBaudRateInvalid);
        tell(link, messages);
        link.close();
        return false;
    }
    return true;
}

// "Failed to open COM port." with the device and the system's reason on the next line, so
// that the operator knows whether to plug the adapter in, join a group or close a program.
bool openLink(SerialLink& link, const PortAddress& port, MessageService& messages) {
    if (link.open(port))
        return true;
    const LinkFailure failure = link.lastFailure();
    link.fail(LinkFailureKind::OpenFailed,
              failure.text.empty() ? std::string(texts::kFailedToOpenPort)
                                   : std::string(texts::kFailedToOpenPort) + "\n" + failure.text,
              {}, failure.systemError);
    return tell(link, messages);
}

} // namespace

int baudCodeForIndex(int baudIndex) {
    // "4800 (1)", "9600 (2)", "19200 (3)", "38400 (4)", "57600 (5)"
    static const int kCodes[] = {6, 7, 9, 10, 12};
    if (baudIndex < 0 || baudIndex >= static_cast<int>(sizeof kCodes / sizeof kCodes[0]))
        return -1;
    return kCodes[baudIndex];
}

bool openSensorPort(SerialLink& link, const PortAddress& port, int baudIndex,
                    MessageService& messages) {
    return openLink(link, port, messages) && setBaudRate(link, baudIndex, messages);
}

bool connectExchanges(SerialLink& link, MessageService& messages) {
    link.port().purgeReceive();
    if (!requestPcMode(link))
        return tell(link, messages);
    link.port().purgeReceive();
    if (!exchange(link, Command::Stop))
        return tell(link, messages);
    return true;
}

bool connectSensor(SerialLink& link, const PortAddress& port, int baudIndex,
                   MessageService& messages, bool askFirst) {
    if (!openLink(link, port, messages))
        return false;
    if (askFirst && !messages.ask(texts::kAgreeToStop)) {
        link.close();
        return false;
    }
    if (!setBaudRate(link, baudIndex, messages))
        return false;
    if (!connectExchanges(link, messages)) {
        link.close();
        return false;
    }
    return true;
}

bool returnToRun(SerialLink& link, MessageService& messages) {
    bool ok = exchange(link, Command::Run);
    if (!ok)
        tell(link, messages);
    link.close();
    return ok;
}

} // namespace zar4
