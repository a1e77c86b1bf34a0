// The serial devices of a Linux machine, as the device manager (udev) sees them. Where no
// udev daemon has recorded a device's properties (a container, an early boot), the same
// names are filled from the device's own attributes in sysfs, through libudev.

#include "link/port_discovery.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <libudev.h>
#include <memory>
#include <unistd.h>

namespace zar4 {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string text(const char* value) {
    return value == nullptr ? std::string() : std::string(value);
}

void fillMissing(DeviceProperties& properties, const char* key, const std::string& value) {
    if (!value.empty() && properties[key].empty()) {
        properties[key] = value;
    }
}

// A tty with nothing behind it: a virtual console, or one of the 8250 driver's preset
// ports (ttyS0-ttyS31) where no UART answered (its port type is 0, "unknown").
bool hasHardware(udev_device* tty) {
    if (udev_device_get_parent(tty) == nullptr) {
        return false;
    }
    const char* type = udev_device_get_sysattr_value(tty, "type");
    return type == nullptr || std::strcmp(type, "0") != 0;
}

// The by-id link that points at `devnode`, when udev made one but recorded no DEVLINKS.
std::string byIdLinkTo(const std::string& devnode) {
    const std::string folder = "/dev/serial/by-id";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return {};
    }
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string link = folder + "/" + entry->d_name;
        char target[4096];
        if (::realpath(link.c_str(), target) != nullptr && devnode == target) {
            found = link;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

DeviceProperties propertiesOf(udev_device* tty) {
    DeviceProperties p;
    for (udev_list_entry* e = udev_device_get_properties_list_entry(tty); e != nullptr;
         e = udev_list_entry_get_next(e)) {
        p[text(udev_list_entry_get_name(e))] = text(udev_list_entry_get_value(e));
    }
    const std::string devnode = text(udev_device_get_devnode(tty));
    fillMissing(p, "DEVNAME", devnode);
    if (p["DEVLINKS"].empty()) {
        fillMissing(p, "DEVLINKS", byIdLinkTo(devnode));
    }

    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb != nullptr) {
        fillMissing(p, "ID_BUS", "usb");
        fillMissing(p, "ID_VENDOR_ID", text(udev_device_get_sysattr_value(usb, "idVendor")));
        fillMissing(p, "ID_MODEL_ID", text(udev_device_get_sysattr_value(usb, "idProduct")));
        fillMissing(p, "ID_VENDOR", text(udev_device_get_sysattr_value(usb, "manufacturer")));
        fillMissing(p, "ID_MODEL", text(udev_device_get_sysattr_value(usb, "product")));
        fillMissing(p, "ID_SERIAL_SHORT", text(udev_device_get_sysattr_value(usb, "serial")));
        udev_device* interface =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
        if (interface != nullptr) {
            fillMissing(p, "ID_USB_DRIVER", text(udev_device_get_driver(interface)));
        }
    }
    // Off USB the bus and the driver are those of the device the tty belongs to; newer
    // kernels put the serial core's own port devices ("serial-base") in between.
    udev_device* parent = udev_device_get_parent(tty);
    while (parent != nullptr && text(udev_device_get_subsystem(parent)) == "serial-base" &&
           udev_device_get_parent(parent) != nullptr) {
        parent = udev_device_get_parent(parent);
    }
    fillMissing(p, "ID_BUS", text(udev_device_get_subsystem(parent)));
    fillMissing(p, "DRIVER", text(udev_device_get_driver(parent)));
    return p;
}

// The slave sides of the pseudo-terminals: /dev/pts/0, /dev/pts/1, ...
void addPseudoTerminals(std::vector<SerialDevice>& devices) {
    DIR* dir = ::opendir("/dev/pts");
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue; // ".", "..", "ptmx"
        }
        SerialDevice d;
        d.device = "/dev/pts/" + name;
        d.bus = "pty";
        devices.push_back(d);
    }
    ::closedir(dir);
}

} // namespace

std::vector<SerialDevice> listSerialDevices(bool includePseudoTerminals) {
    std::vector<SerialDevice> devices;
    UdevPtr<udev> context(udev_new());
    UdevPtr<udev_enumerate> enumerate(context ? udev_enumerate_new(context.get()) : nullptr);
    if (enumerate && udev_enumerate_add_match_subsystem(enumerate.get(), "tty") >= 0 &&
        udev_enumerate_scan_devices(enumerate.get()) >= 0) {
        for (udev_list_entry* e = udev_enumerate_get_list_entry(enumerate.get()); e != nullptr;
             e = udev_list_entry_get_next(e)) {
            UdevPtr<udev_device> tty(
                udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(e)));
            if (!tty || udev_device_get_devnode(tty.get()) == nullptr || !hasHardware(tty.get())) {
                continue;
            }
            devices.push_back(serialDeviceFromProperties(propertiesOf(tty.get())));
        }
    }
    if (includePseudoTerminals) {
        addPseudoTerminals(devices);
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return deviceOrder(a.device, b.device);
    });
    return devices;
}

} // namespace zar4
