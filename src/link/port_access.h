#pragma once
// Why a serial device can or cannot be opened by this operator now: the words that follow
// "Failed to open COM port." on its second line, and the access column of `zar4ctl ports`.

#include <optional>
#include <string>

namespace zar4 {

// The device behind "COM n" when the port map names none: /dev/ttyS{n-1} on Linux, \\.\COMn
// on Windows (the form that reaches COM10 and above too).
std::string defaultDeviceForPort(int port);

// A process that holds a device open, as the system shows it.
struct PortHolder {
    int pid = 0;
    std::string name; // the program's name ("minicom")
};

// The first other process found holding `device` open (through /proc on Linux), if the
// system lets this user see it (Windows shows no one who holds a port).
std::optional<PortHolder> findPortHolder(const std::string& device);

// Whether this user can open `device` now: "ok", "no such device",
// "permission denied (group dialout)" (the device's group, when that group would grant it),
// "permission denied", or "in use by process 4242 (minicom)"; on Windows "ok",
// "no such device" or "in use by another program". Opens nothing for longer than
// the check itself.
std::string portAccessState(const std::string& device);

// The reason for a failed open of `device` with the system's error `systemError` (errno on
// Linux, GetLastError() on Windows), for the second line of "Failed to open COM port.":
// "/dev/ttyUSB0: permission denied (the device belongs to group dialout; add your user to
// it and log in again)", "/dev/ttyUSB0: in use by process 4242 (minicom)",
// "/dev/ttyUSB0: no such device".
std::string portOpenFailureReason(const std::string& device, int systemError);

} // namespace zar4
