#include "link/serial_link.h"

#include "link/line_settings.h"
#include "link/port_map.h"

namespace zar4 {

PortAddress comPort(int n, const PortMap& map) {
    return {"COM" + std::to_string(n), map.deviceFor(n)};
}

bool SerialLink::open(const PortAddress& port) {
    if (port_.isOpen()) {
        fail(LinkFailureKind::OpenFailed, {}); // this link holds a port already
        return false;
    }
    address_ = port;
    failure_ = {};
    baudRate_ = 0;
    if (port.device.empty()) {
        // No device stands behind the name (a COM number outside 1-256): nothing to tell.
        fail(LinkFailureKind::OpenFailed, {});
        return false;
    }
    if (port_.open(port.device) != 0) {
        fail(LinkFailureKind::OpenFailed, port_.openFailure(), {}, port_.openError());
        return false;
    }
    baudRate_ = baudRateForCode(static_cast<int>(defaultPortSettings & 0xF));
    return true;
}

int SerialLink::close() {
    return port_.close();
}

int SerialLink::configure(std::uint32_t settingsCode) {
    const int result = port_.configure(settingsCode);
    const std::uint32_t rate = baudRateForCode(static_cast<int>(settingsCode & 0xF));
    if (result == 0 && rate != 0) {
        baudRate_ = rate;
    }
    return result;
}

void SerialLink::fail(LinkFailureKind kind, std::string text, std::string exchange,
                      int systemError) {
    failure_.kind = kind;
    failure_.text = std::move(text);
    failure_.exchange = std::move(exchange);
    failure_.systemError = systemError;
    failure_.baudRate = baudRate_;
}

} // namespace zar4
