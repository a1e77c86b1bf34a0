#include "ctl/ctl_ports.h"

#include "common/version.h"
#include "ctl/ctl.h"
#include "ctl/ctl_inspect.h"
#include "ctl/ctl_options.h"
#include "ctl/json_lines.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/serial_link.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>

namespace zar4::ctl {

namespace {

// The file a path leads to, links followed; the path itself when it leads nowhere (a device
// unplugged, or a name such as \\.\COM3 that is no file).
std::string resolved(const std::string& path) {
    std::error_code error;
    const auto target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}

std::string comName(int n) {
    return "COM" + std::to_string(n);
}

std::string usbId(const SerialDevice& d) {
    return d.vendorId.empty() ? std::string() : d.vendorId + ":" + d.productId;
}

JsonObject& addText(JsonObject& object, const char* key, const std::string& value) {
    return value.empty() ? object.addNull(key) : object.add(key, value);
}

JsonObject portObject(const ListedPort& port) {
    const SerialDevice& d = port.device;
    JsonObject object;
    object.add("device", d.device);
    addText(object, "byId", d.byId);
    addText(object, "bus", d.bus);
    addText(object, "usb", usbId(d));
    addText(object, "manufacturer", d.manufacturer);
    addText(object, "product", d.product);
    addText(object, "serial", d.serial);
    addText(object, "driver", d.driver);
    std::vector<std::string> names;
    for (int n : port.comPorts) {
        names.push_back(comName(n));
    }
    object.add("com", names);
    object.add("access", port.access);
    return object;
}

void printPort(std::ostream& out, const ListedPort& port) {
    const SerialDevice& d = port.device;
    out << d.device;
    if (!port.comPorts.empty()) {
        out << " (";
        for (std::size_t i = 0; i < port.comPorts.size(); ++i) {
            out << (i == 0 ? "" : ", ") << comName(port.comPorts[i]);
        }
        out << ")";
    }
    out << ": " << port.access << "\n";
    const std::pair<const char*, std::string> lines[] = {
        {"by-id", d.byId},      {"bus", d.bus},
        {"usb", usbId(d)},      {"manufacturer", d.manufacturer},
        {"product", d.product}, {"serial", d.serial},
        {"driver", d.driver},
    };
    for (const auto& [label, value] : lines) {
        if (!value.empty()) {
            out << "    " << label << ":" << std::string(14 - std::string(label).size(), ' ')
                << value << "\n";
        }
    }
}

// "FTDI FT232R USB UART (0403:6001), serial A10K" for the comment above a port-map line.
std::string description(const SerialDevice& d) {
    std::string text = d.manufacturer;
    if (!d.product.empty()) {
        text += (text.empty() ? "" : " ") + d.product;
    }
    if (!usbId(d).empty()) {
        text += (text.empty() ? "" : " ") + ("(" + usbId(d) + ")");
    }
    if (!d.serial.empty()) {
        text += ", serial " + d.serial;
    }
    if (text.empty()) {
        text = d.bus.empty() ? "serial device" : d.bus + " serial device";
    }
    return text;
}

} // namespace

std::vector<ListedPort> listPorts(const PortMap& map, bool includePseudoTerminals,
                                  bool probeAccess) {
    // Which COM numbers lead to each device: the map's entries and the defaults alike.
    std::map<std::string, std::vector<int>> numbersByDevice;
    for (int n = 1; n <= kPortCount; ++n) {
        const std::string device = map.deviceFor(n);
        if (!device.empty()) {
            numbersByDevice[resolved(device)].push_back(n);
        }
    }
    std::vector<ListedPort> ports;
    for (SerialDevice& d : listSerialDevices(includePseudoTerminals)) {
        ListedPort port;
        const auto it = numbersByDevice.find(resolved(d.device));
        if (it != numbersByDevice.end()) {
            port.comPorts = it->second;
        }
        if (probeAccess) {
            port.access = portAccessState(d.device);
        }
        port.device = std::move(d);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::string portMapText(const std::vector<ListedPort>& ports,
                        const std::map<int, std::string>& entries) {
    std::set<int> used;
    for (const auto& entry : entries) {
        used.insert(entry.first);
    }
    for (const auto& port : ports) {
        used.insert(port.comPorts.begin(), port.comPorts.end());
    }
    int next = 1;
    std::string text = "# zar4loader.ports: COM names for the serial devices of this machine, by "
                       "names that stay\n# the same when a device is plugged in again.\n";
    for (const ListedPort& port : ports) {
        int n = port.comPorts.empty() ? 0 : port.comPorts.front();
        if (n == 0) {
            while (next <= kPortCount && used.count(next) != 0) {
                ++next;
            }
            if (next > kPortCount) {
                text += "# no COM name left for " + port.device.device + "\n";
                continue;
            }
            n = next;
            used.insert(n);
        }
        std::string name = port.device.byId;
        if (name.empty()) {
            const auto entry = entries.find(n);
            name = entry != entries.end() ? entry->second : port.device.device;
        }
        text += "# " + description(port.device) +
                (name == port.device.device ? "" : ", now " + port.device.device) + "\n";
        text += comName(n) + "=" + name + "\n";
    }
    return text;
}

int runPorts(const CtlOptions& options, const PortMap& map, std::ostream& human, std::ostream& err,
             CommandResult& result) {
    // The names alone are asked for at every Tab of the shell completion: no device is
    // opened for them.
    const std::vector<ListedPort> ports = listPorts(map, options.allPorts, !options.portNames);
    result.hasPorts = true;
    result.outcome = "completed";
    for (const auto& port : ports) {
        result.ports.push_back(portObject(port));
    }
    if (options.portNames) {
        std::set<int> numbers;
        for (const auto& entry : map.entries()) {
            numbers.insert(entry.first);
        }
        for (const auto& port : ports) {
            numbers.insert(port.comPorts.begin(), port.comPorts.end());
        }
        for (int n : numbers) {
            human << comName(n) << "\n";
        }
        for (const auto& port : ports) {
            if (!port.device.byId.empty()) {
                human << port.device.byId << "\n";
            }
            human << port.device.device << "\n";
        }
        return kExitCompleted;
    }
    if (options.mapLines) {
        result.map = portMapText(ports, map.entries());
        human << result.map;
        return kExitCompleted;
    }
    for (const auto& port : ports) {
        printPort(human, port);
    }
    if (ports.empty()) {
        err << "zar4ctl: no serial device found"
            << (options.allPorts ? "" : " (pseudo-terminals are listed with --all)") << "\n";
    }
    return kExitCompleted;
}

} // namespace zar4::ctl
