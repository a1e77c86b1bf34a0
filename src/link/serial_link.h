#pragma once
// One connection to a sensor: the open port, the transfer buffer the exchanges use, which port
// it is, and how the last thing that went wrong on it went wrong. Opening a port yields one;
// whoever runs a connection (the main window, the command line's session) owns it.

#include "link/serial_port.h"

#include <cstdint>
#include <string>

namespace zar4 {

// The largest frame either way, with room to spare: a command byte, 257 payload bytes and the
// checksum.
constexpr int kTransferBufferSize = 260;

// The ports by COM number run from COM1 to COM256.
constexpr int kPortCount = 256;

// Which port to open: the name the operator knows it by ("COM3", or a device path given as
// such) and the device behind it.
struct PortAddress {
    std::string name;
    std::string device;
};

class PortMap;

// COM n (1-256) through the connection owner's port map.
PortAddress comPort(int n, const PortMap& map);

// What went wrong, for callers that choose an exit status, a JSON code or a box by it.
enum class LinkFailureKind {
    None,
    OpenFailed,      // "Failed to open COM port."
    BaudRateInvalid, // "Baud rate setting is invalid.": the port refused the rate
    NoResponse,      // "No communication response."
    BadReply,        // "Recieved an invalid communication response."
    Checksum,        // "Error in checking sum of communication." (also a reply cut short)
    Nak,             // "ZAR4 recieved an invalid communication data."
    ModeNotSecured,  // "Communication mode is not secured."
    ModeRefused,     // "Failed to secure PC communication mode."
};

struct LinkFailure {
    LinkFailureKind kind = LinkFailureKind::None;
    std::string text;           // the operator's words, as shown
    int systemError = 0;        // errno or GetLastError() of a failed open; 0 otherwise
    std::string exchange;       // the command's name, or "mode request"; empty for no exchange
    std::uint32_t baudRate = 0; // the line's rate in bits per second then; 0 before any was set
};

class SerialLink {
public:
    SerialLink() = default;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Opens the port's device. False when it is open already or the device failed to open
    // (the failure is then OpenFailed with the system's reason as its text).
    bool open(const PortAddress& port);
    bool isOpen() const { return port_.isOpen(); }
    // See SerialPort::close().
    int close();

    // Sets the line by a settings code; the rate it holds is remembered for failures.
    int configure(std::uint32_t settingsCode);

    SerialPort& port() { return port_; }
    const std::string& currentPort() const { return address_.name; }
    const std::string& device() const { return address_.device; }

    const LinkFailure& lastFailure() const { return failure_; }
    const std::string& lastErrorText() const { return failure_.text; }
    void fail(LinkFailureKind kind, std::string text, std::string exchange = {},
              int systemError = 0);
    void clearFailure() { failure_ = {}; }

    // The command's payload before an exchange, the reply's data after it.
    std::uint8_t transferBuffer[kTransferBufferSize] = {};

private:
    SerialPort port_;
    PortAddress address_;
    LinkFailure failure_;
    std::uint32_t baudRate_ = 0;
};

} // namespace zar4
