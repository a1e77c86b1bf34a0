// The serial devices of a Windows machine: the COM ports that the drivers have registered
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (value name: the driver's device, such as
// \Device\VCP0; value: the port's name, such as COM3). Windows keeps no stable by-id name:
// the COM number itself is what stays with an adapter.

#include "link/port_discovery.h"

#include <algorithm>
#include <windows.h>

namespace zar4 {

namespace {

// "\Device\Silabser0" -> "Silabser": the name the driver gives its devices.
std::string driverOf(const std::string& kernelName) {
    const auto slash = kernelName.find_last_of('\\');
    std::string name = slash == std::string::npos ? kernelName : kernelName.substr(slash + 1);
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') {
        name.pop_back();
    }
    return name;
}

} // namespace

std::vector<SerialDevice> listSerialDevices(bool /*includePseudoTerminals*/) {
    std::vector<SerialDevice> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return devices; // no serial port has been registered since start-up
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG result =
            RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataSize] = 0;
        std::string port(reinterpret_cast<const char*>(data));
        while (!port.empty() && port.back() == '\0') {
            port.pop_back();
        }
        if (port.empty()) {
            continue;
        }
        SerialDevice d;
        d.device = "\\\\.\\" + port;
        d.driver = driverOf(std::string(name, nameSize));
        devices.push_back(d);
    }
    RegCloseKey(key);
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return deviceOrder(a.device, b.device);
    });
    return devices;
}

} // namespace zar4
