#pragma once
// The serial devices of this machine, with what the operator needs to tell them apart: the
// stable name that survives replugging, the USB identity of an adapter and its driver.
// `zar4ctl ports` lists them.

#include <map>
#include <string>
#include <vector>

namespace zar4 {

struct SerialDevice {
    std::string device;       // what openPort opens: /dev/ttyUSB0, /dev/pts/3, \\.\COM3
    std::string byId;         // /dev/serial/by-id/usb-FTDI_..., empty when there is none
    std::string bus;          // "usb", "pci", "platform", "pnp", "pty", ...
    std::string vendorId;     // USB vendor, four hex digits ("0403"); empty off USB
    std::string productId;    // USB product ("6001")
    std::string manufacturer; // as the device names its maker ("FTDI")
    std::string product;      // as the device names itself ("FT232R USB UART")
    std::string serial;       // the adapter's serial number
    std::string driver;       // the kernel driver ("ftdi_sio", "cp210x", "serial8250")
};

// The properties of one device as the device manager records them, by udev's names
// (DEVNAME, DEVLINKS, ID_BUS, ID_VENDOR_ID, ID_MODEL_ID, ID_VENDOR_ENC, ID_MODEL_ENC,
// ID_SERIAL_SHORT, ID_USB_DRIVER, DRIVER, ...).
using DeviceProperties = std::map<std::string, std::string>;

// The record of one device from its properties. The texts a device reports about itself
// are preferred over the names of the USB database, and udev's \xNN escapes are decoded.
SerialDevice serialDeviceFromProperties(const DeviceProperties& properties);

// The machine's serial devices that have hardware behind them (USB adapters, PCI cards, the
// board's own ports), and the pseudo-terminals too when `includePseudoTerminals` is set (a
// simulated sensor is one). Sorted by device path, numbers in numeric order.
std::vector<SerialDevice> listSerialDevices(bool includePseudoTerminals);

// Orders device paths as an operator counts: /dev/ttyS2 before /dev/ttyS10.
bool deviceOrder(const std::string& a, const std::string& b);

} // namespace zar4
