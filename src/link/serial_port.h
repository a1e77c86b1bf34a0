#pragma once
// One serial port of the machine, opened by its device path, with the operations the
// protocol needs. Each system has its own implementation file beside this header. Failures are
// small integers; nothing here shows a message.

#include <cstdint>
#include <memory>
#include <string>

namespace zar4 {

// 9600 baud, one stop bit, no parity, 8 data bits, DTR on, RTS on, no flow control.
constexpr std::uint32_t defaultPortSettings = 0x2A225117;

class SerialPort {
public:
    SerialPort();
    ~SerialPort(); // closes the port when it is open
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 opened; 2 already open; 3 the device failed to open (see openFailure()). The line
    // settings found at open are put back by close().
    int open(const std::string& device, int receiveQueue = 512, int sendQueue = 512);
    // configure / setReadTimeout / setWriteTimeout: 0 done; 1 not open; 2 refused.
    int configure(std::uint32_t settingsCode);
    int setReadTimeout(int milliseconds);
    int setWriteTimeout(int milliseconds);
    // Byte counts, never negative; 0 when the port is not open.
    int read(void* buffer, int count);
    int write(const void* buffer, int count);
    int bytesWaiting();
    // 0 done; 1 not open.
    int purgeReceive();
    // 0 closed; 1 not open; 2 the system reported an error on closing. The system takes the
    // descriptor (handle) back even then, so the port counts as closed in that case too.
    int close();

    bool isOpen() const;

    // Why the last open that returned 3 failed, as "<device>: <reason>" (see port_access.h),
    // and the system's error code of it (errno, GetLastError()); empty and 0 otherwise.
    const std::string& openFailure() const { return openFailure_; }
    int openError() const { return openError_; }

    struct State; // the system's handle and what opening changed, in each system's file

private:
    int openFailed(const std::string& device, int systemError);

    std::unique_ptr<State> state_;
    std::string openFailure_;
    int openError_ = 0;
};

} // namespace zar4
