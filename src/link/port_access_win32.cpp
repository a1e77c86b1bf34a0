// Who may open a COM port on Windows. Windows opens a COM port for one program at a time and
// answers any other with "access denied"; it does not tell which program holds it.

#include "link/port_access.h"

#include <cctype>
#include <windows.h>

namespace zar4 {

namespace {

// The system's own words for `error`, starting in lower case and without the final full stop.
std::string systemText(DWORD error) {
    char buffer[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' ||
                             text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "system error " + std::to_string(error);
    }
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string reasonFor(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "in use by another process";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
        return "no such device";
    default:
        return systemText(error);
    }
}

} // namespace

std::optional<PortHolder> findPortHolder(const std::string& /*device*/) {
    return std::nullopt;
}

std::string portAccessState(const std::string& device) {
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return reasonFor(GetLastError());
    }
    CloseHandle(handle);
    return "ok";
}

std::string portOpenFailureReason(const std::string& device, int systemError) {
    return device + ": " + reasonFor(static_cast<DWORD>(systemError));
}

} // namespace zar4
