#pragma once
// The serial port layer: a table of 256 ports addressed by port number (COM n), with the
// operations the protocol needs. Failures are small integers; nothing here shows a message.

#include <cstdint>
#include <string>

namespace zar4 {

// 9600 baud, one stop bit, no parity, 8 data bits, DTR on, RTS on, no flow control.
constexpr std::uint32_t defaultPortSettings = 0x2A225117;

constexpr int kPortCount = 256;

// openPort: 0 opened; 1 port number outside 1-256; 2 slot already open; 3 device failed to open.
int openPort(int port, int receiveQueue, int sendQueue);
// configurePort / setReadTimeout / setWriteTimeout: 0 done; 1 not usable; 2 refused.
int configurePort(int port, std::uint32_t settingsCode);
int setReadTimeout(int port, int milliseconds);
int setWriteTimeout(int port, int milliseconds);
// Byte counts, never negative; 0 when the port is not usable.
int readPort(int port, void* buffer, int count);
int writePort(int port, const void* buffer, int count);
int bytesWaiting(int port);
// 0 done; 1 not usable.
int purgeReceive(int port);
// 0 closed; 1 not usable; 2 the system reported an error on closing. The system takes the
// descriptor (handle) back even then, so the slot is closed in that case too: a slot kept open
// would write to whatever file the system hands that number to next.
int closePort(int port);

bool portIsOpen(int port);

// Why the last openPort that returned 3 failed, as "<device>: <reason>" (see port_access.h);
// empty when the last open did not fail that way. Shown on the line after "Failed to open
// COM port.".
std::string lastOpenFailure();

} // namespace zar4
