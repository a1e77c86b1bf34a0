// The record of a serial device from the properties udev keeps for it, as recorded on
// machines with the adapters in common use.

#include "link/port_discovery.h"

#include <gtest/gtest.h>

namespace zar4 {
namespace {

TEST(PortDiscovery, RecordsFromRecordedUdevProperties) {
    const struct {
        const char* what;
        DeviceProperties properties;
        SerialDevice expected;
    } cases[] = {
        {"FTDI adapter with udev's database",
         {{"DEVNAME", "/dev/ttyUSB0"},
          {"DEVLINKS", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
                       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ1-if00-port0"},
          {"ID_BUS", "usb"},
          {"ID_VENDOR_ID", "0403"},
          {"ID_MODEL_ID", "6001"},
          {"ID_VENDOR", "FTDI"},
          {"ID_VENDOR_ENC", "FTDI"},
          {"ID_MODEL", "FT232R_USB_UART"},
          {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
          {"ID_MODEL_FROM_DATABASE", "FT232 Serial (UART) IC"},
          {"ID_SERIAL_SHORT", "A10KXYZ1"},
          {"ID_USB_DRIVER", "ftdi_sio"}},
         {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ1-if00-port0", "usb",
          "0403", "6001", "FTDI", "FT232R USB UART", "A10KXYZ1", "ftdi_sio"}},
        {"CP2102 that names itself with padding, upper-case ids",
         {{"DEVNAME", "/dev/ttyUSB1"},
          {"DEVLINKS", "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0"},
          {"ID_BUS", "usb"},
          {"ID_VENDOR_ID", "10C4"},
          {"ID_MODEL_ID", "EA60"},
          {"ID_VENDOR_ENC", "Silicon\\x20Labs\\x20\\x20"},
          {"ID_MODEL_ENC", "CP2102\\x20USB\\x20to\\x20UART\\x20Bridge\\x20Controller"},
          {"ID_SERIAL_SHORT", "0001"},
          {"ID_USB_DRIVER", "cp210x"}},
         {"/dev/ttyUSB1", "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0", "usb",
          "10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001",
          "cp210x"}},
        {"CH340 that reports no strings: the USB database names it",
         {{"DEVNAME", "/dev/ttyUSB2"},
          {"ID_BUS", "usb"},
          {"ID_VENDOR_ID", "1a86"},
          {"ID_MODEL_ID", "7523"},
          {"ID_VENDOR_FROM_DATABASE", "QinHeng Electronics"},
          {"ID_MODEL_FROM_DATABASE", "CH340 serial converter"},
          {"ID_USB_DRIVER", "ch341"}},
         {"/dev/ttyUSB2", "", "usb", "1a86", "7523", "QinHeng Electronics",
          "CH340 serial converter", "", "ch341"}},
        {"board's own port: no USB identity, the driver of its device",
         {{"DEVNAME", "/dev/ttyS0"}, {"ID_BUS", "pnp"}, {"DRIVER", "serial"}},
         {"/dev/ttyS0", "", "pnp", "", "", "", "", "", "serial"}},
        {"a bad escape stays as it was",
         {{"DEVNAME", "/dev/ttyACM0"}, {"ID_MODEL_ENC", "A\\x2"}, {"ID_VENDOR_ENC", "B\\xZZ"}},
         {"/dev/ttyACM0", "", "", "", "", "B\\xZZ", "A\\x2", "", ""}},
    };
    for (const auto& c : cases) {
        const SerialDevice d = serialDeviceFromProperties(c.properties);
        const SerialDevice& e = c.expected;
        EXPECT_EQ(d.device, e.device) << c.what;
        EXPECT_EQ(d.byId, e.byId) << c.what;
        EXPECT_EQ(d.bus, e.bus) << c.what;
        EXPECT_EQ(d.vendorId + ":" + d.productId, e.vendorId + ":" + e.productId) << c.what;
        EXPECT_EQ(d.manufacturer, e.manufacturer) << c.what;
        EXPECT_EQ(d.product, e.product) << c.what;
        EXPECT_EQ(d.serial, e.serial) << c.what;
        EXPECT_EQ(d.driver, e.driver) << c.what;
    }
}

TEST(PortDiscovery, DevicesInTheOrderAnOperatorCounts) {
    EXPECT_TRUE(deviceOrder("/dev/ttyS2", "/dev/ttyS10"));
    EXPECT_FALSE(deviceOrder("/dev/ttyS10", "/dev/ttyS2"));
    EXPECT_TRUE(deviceOrder("/dev/pts/9", "/dev/ttyACM0"));
    EXPECT_TRUE(deviceOrder("/dev/ttyACM1", "/dev/ttyUSB0"));
    EXPECT_FALSE(deviceOrder("/dev/ttyS1", "/dev/ttyS1"));
}

} // namespace
} // namespace zar4
