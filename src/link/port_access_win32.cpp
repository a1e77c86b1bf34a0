// Who may open a serial device, as Windows shows it: a port is opened without sharing, so a
// port that another program holds refuses the open with ERROR_ACCESS_DENIED. Windows does not
// tell an ordinary user which program that is.

#include "common/file_access.h"
#include "link/port_access.h"

#include <windows.h>

namespace zar4 {

namespace {

// The system's own words for an error, in lower case first and without the closing full stop,
// to follow "<device>: ": as UTF-8, like every other text of the program, whatever the code page
// of the system (a Japanese Windows words its errors in Japanese).
std::string systemText(DWORD error) {
    return systemErrorText(static_cast<int>(error));
}

std::string reasonFor(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return "no such device";
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return "not a serial port";
    default:
        return systemText(error);
    }
}

} // namespace

std::string defaultDeviceForPort(int port) {
    return "\\\\.\\COM" + std::to_string(port);
}

std::optional<PortHolder> findPortHolder(const std::string& /*device*/) {
    return std::nullopt;
}

std::string portAccessState(const std::string& device) {
    const HANDLE handle = ::CreateFileW(utf16FromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return reasonFor(::GetLastError());
    }
    ::CloseHandle(handle);
    return "ok";
}

std::string portOpenFailureReason(const std::string& device, int systemError) {
    return device + ": " + reasonFor(static_cast<DWORD>(systemError));
}

} // namespace zar4
