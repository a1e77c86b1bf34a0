// zar4ctl ports: the simulated sensor's pseudo-terminal found, named by the COM name the
// port map gives it, and free to open; port-map lines for recorded USB adapters.

#include "ctl/ctl.h"
#include "ctl/ctl_ports.h"
#include "transfer/transfer_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zar4::test {
namespace {

using ctl::ListedPort;

class CtlPorts : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir.path() + "/zar4loader.ports") << "COM3=" << link() << "\n";
        sim::SimOptions options;
        options.linkPath = link();
        sim_ = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sim_->start());
    }
    void TearDown() override { sim_->stop(); }
    std::string link() const { return dir.path() + "/ttyZAR4"; }
    // zar4ctl with the port map of `dir`; standard output.
    std::string ports(const std::vector<std::string>& options) {
        std::istringstream in;
        std::ostringstream out, err;
        ctl::CtlEnvironment env{in, out, err, false, false, dir.path()};
        std::vector<std::string> args{"ports"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(ctl::runCtl(args, env), ctl::kExitCompleted) << err.str();
        return out.str();
    }

    TempDir dir;
    std::unique_ptr<sim::SimServer> sim_;
};

TEST_F(CtlPorts, ListsTheSimulatedSensorWithItsComNameAndAccess) {
    // The device itself: the sensor names it by its link.
    const std::string device = std::filesystem::canonical(link()).string();
    EXPECT_NE(ports({"--all"}).find(device + " (COM3): ok\n    bus:           pty\n"),
              std::string::npos);
    EXPECT_EQ(ports({}).find(device), std::string::npos) << "pseudo-terminals only with --all";

    const std::string json = ports({"--all", "--json"});
    EXPECT_EQ(json.rfind(R"({"type":"start","program":"zar4ctl","version":")", 0), 0u) << json;
    const auto result =
        json.find("\n{\"type\":\"result\",\"command\":\"ports\",\"outcome\":\"completed\","
                  "\"status\":0,");
    ASSERT_NE(result, std::string::npos) << json;
    EXPECT_NE(json.find(R"({"device":")" + device +
                            R"(","byId":null,"bus":"pty","usb":null,"manufacturer":null,)"
                            R"("product":null,"serial":null,"driver":null,"com":["COM3"],)"
                            R"("access":"ok"})",
                        result),
              std::string::npos)
        << json;
    EXPECT_NE(ports({"--all", "--map"}).find("\nCOM3=" + link() + "\n"), std::string::npos);
}

TEST(CtlPortMap, NamesAdaptersByIdKeepingNumbersAndTakingFreeOnes) {
    SerialDevice ftdi{"/dev/ttyUSB0",
                      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0",
                      "usb",
                      "0403",
                      "6001",
                      "FTDI",
                      "FT232R USB UART",
                      "A10K",
                      "ftdi_sio"};
    SerialDevice cp210x{"/dev/ttyUSB1", "/dev/serial/by-id/usb-Silicon_Labs_CP2102_01-if00-port0",
                        "usb",          "10c4",
                        "ea60",         "Silicon Labs",
                        "CP2102",       "01",
                        "cp210x"};
    SerialDevice board{"/dev/ttyS0", "", "pnp", "", "", "", "", "", "serial"};
    SerialDevice ch340{"/dev/ttyUSB2", "", "usb", "1a86", "7523", "", "", "", "ch341"};
    const std::vector<ListedPort> ports{
        {board, {1}, "ok"}, {ftdi, {}, "ok"}, {cp210x, {3}, "ok"}, {ch340, {}, "ok"}};
    // COM2 belongs to an adapter unplugged today.
    const std::map<int, std::string> entries{{2, "/dev/serial/by-id/usb-away"}, {3, cp210x.byId}};
    EXPECT_EQ(ctl::portMapText(ports, entries),
              "# zar4loader.ports: COM names for the serial devices of this machine, by names "
              "that stay\n# the same when a device is plugged in again.\n"
              "# pnp serial device\nCOM1=/dev/ttyS0\n"
              "# FTDI FT232R USB UART (0403:6001), serial A10K, now /dev/ttyUSB0\n"
              "COM4=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0\n"
              "# Silicon Labs CP2102 (10c4:ea60), serial 01, now /dev/ttyUSB1\n"
              "COM3=/dev/serial/by-id/usb-Silicon_Labs_CP2102_01-if00-port0\n"
              "# (1a86:7523)\nCOM5=/dev/ttyUSB2\n");
}

} // namespace
} // namespace zar4::test
