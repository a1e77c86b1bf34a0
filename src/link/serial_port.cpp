// What a serial port does alike on every system. The constructor and destructor stay in each
// system's file, where the system's State is a complete type.

#include "link/serial_port.h"

#include "link/port_access.h"

namespace zar4 {

// Records why `device` could not be opened (the system's error as the failing call left it)
// and gives the failure result.
int SerialPort::openFailed(const std::string& device, int systemError) {
    openFailure_ = portOpenFailureReason(device, systemError);
    openError_ = systemError;
    return 3;
}

} // namespace zar4
