// The serial port on the Windows serial interface: a device handle, the settings code
// turned into a DCB and the time-outs into COMMTIMEOUTS (see comm_settings.h), plain blocking
// ReadFile and WriteFile bounded by those time-outs. No overlapped input and output and no
// event waiting: the time-outs alone bound every call.

#include "link/serial_port.h"

#include "common/file_access.h"
#include "link/comm_settings.h"

#include <windows.h>

namespace zar4 {

namespace {} // namespace

struct SerialPort::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool isOpen = false;
    // What opening found, put back at close: the line settings and the time-outs.
    DCB foundState{};
    COMMTIMEOUTS foundTimeouts{};
    bool timeoutsFound = false;
};

namespace {

using PortSlot = SerialPort::State;

CommState fromDcb(const DCB& d) {
    CommState s;
    s.baudRate = d.BaudRate;
    s.stopBits = d.StopBits;
    s.parity = d.Parity;
    s.parityCheck = d.fParity != 0;
    s.errorCharOn = d.fErrorChar != 0;
    s.errorChar = d.ErrorChar;
    s.byteSize = d.ByteSize;
    s.dtrControl = static_cast<std::uint8_t>(d.fDtrControl);
    s.rtsControl = static_cast<std::uint8_t>(d.fRtsControl);
    s.outxCtsFlow = d.fOutxCtsFlow != 0;
    s.outxDsrFlow = d.fOutxDsrFlow != 0;
    s.outX = d.fOutX != 0;
    s.inX = d.fInX != 0;
    s.txContinueOnXoff = d.fTXContinueOnXoff != 0;
    return s;
}

// Writes back only what a settings code can change: every other flag, flow limit and special
// character of the port stays as the port had it.
void toDcb(const CommState& s, DCB& d) {
    d.BaudRate = s.baudRate;
    d.StopBits = s.stopBits;
    d.Parity = s.parity;
    d.fParity = s.parityCheck ? TRUE : FALSE;
    d.fErrorChar = s.errorCharOn ? TRUE : FALSE;
    d.ErrorChar = s.errorChar;
    d.ByteSize = s.byteSize;
    d.fDtrControl = s.dtrControl;
    d.fRtsControl = s.rtsControl;
    d.fOutxCtsFlow = s.outxCtsFlow ? TRUE : FALSE;
    d.fOutxDsrFlow = s.outxDsrFlow ? TRUE : FALSE;
    d.fOutX = s.outX ? TRUE : FALSE;
    d.fInX = s.inX ? TRUE : FALSE;
    d.fTXContinueOnXoff = s.txContinueOnXoff ? TRUE : FALSE;
}

static_assert(kNoParity == NOPARITY && kOddParity == ODDPARITY && kEvenParity == EVENPARITY &&
              kMarkParity == MARKPARITY && kSpaceParity == SPACEPARITY);
static_assert(kOneStopBit == ONESTOPBIT && kOne5StopBits == ONE5STOPBITS &&
              kTwoStopBits == TWOSTOPBITS);
static_assert(kDtrDisable == DTR_CONTROL_DISABLE && kDtrEnable == DTR_CONTROL_ENABLE &&
              kDtrHandshake == DTR_CONTROL_HANDSHAKE);
static_assert(kRtsDisable == RTS_CONTROL_DISABLE && kRtsEnable == RTS_CONTROL_ENABLE &&
              kRtsHandshake == RTS_CONTROL_HANDSHAKE && kRtsToggle == RTS_CONTROL_TOGGLE);

CommTimeoutValues fromTimeouts(const COMMTIMEOUTS& c) {
    return {c.ReadIntervalTimeout, c.ReadTotalTimeoutMultiplier, c.ReadTotalTimeoutConstant,
            c.WriteTotalTimeoutMultiplier, c.WriteTotalTimeoutConstant};
}

COMMTIMEOUTS toTimeouts(const CommTimeoutValues& t) {
    return {t.readIntervalTimeout, t.readTotalTimeoutMultiplier, t.readTotalTimeoutConstant,
            t.writeTotalTimeoutMultiplier, t.writeTotalTimeoutConstant};
}

int changeTimeouts(PortSlot* slot, int milliseconds, bool (*apply)(int, CommTimeoutValues&)) {
    if (slot == nullptr) {
        return 1;
    }
    COMMTIMEOUTS present{};
    if (!::GetCommTimeouts(slot->handle, &present)) {
        return 2;
    }
    CommTimeoutValues values = fromTimeouts(present);
    if (!apply(milliseconds, values)) {
        return 2;
    }
    COMMTIMEOUTS next = toTimeouts(values);
    return ::SetCommTimeouts(slot->handle, &next) ? 0 : 2;
}

} // namespace

SerialPort::SerialPort() : state_(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
    (void)close();
}

int SerialPort::open(const std::string& device, int receiveQueue, int sendQueue) {
    State& slot = *state_;
    if (slot.isOpen) {
        return 2;
    }
    openFailure_.clear();
    openError_ = 0;
    // Share mode 0: a port another program holds is refused (ERROR_ACCESS_DENIED), and no
    // other program gets it while we hold it.
    const HANDLE handle = ::CreateFileW(utf16FromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return openFailed(device, static_cast<int>(::GetLastError()));
    }
    // A port map entry that names a plain file or a disk is no serial port: it has no line
    // settings to read. What it has is kept, for closing to put back.
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &probe)) {
        ::CloseHandle(handle);
        return openFailed(device, ERROR_INVALID_FUNCTION);
    }
    slot.foundState = probe;
    slot.timeoutsFound = ::GetCommTimeouts(handle, &slot.foundTimeouts) != FALSE;
    (void)::SetupComm(handle, static_cast<DWORD>(receiveQueue), static_cast<DWORD>(sendQueue));
    slot.handle = handle;
    slot.isOpen = true;
    // As on the sensor's original platform, a device that refuses the default line settings
    // still counts as opened: the connect sets the chosen rate next and fails visibly there.
    (void)configure(defaultPortSettings);
    (void)setReadTimeout(1000);
    (void)setWriteTimeout(1000);
    return 0;
}

int SerialPort::configure(std::uint32_t settingsCode) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(slot->handle, &dcb)) {
        return 2;
    }
    CommState state = fromDcb(dcb);
    if (!applySettingsCode(settingsCode, state)) {
        return 2;
    }
    toDcb(state, dcb);
    // Raw bytes both ways, whatever the port was left with: no end-of-file stop, no bytes of
    // 0 dropped, no read stopped on an error until it is cleared.
    dcb.fBinary = TRUE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(slot->handle, &dcb) ? 0 : 2;
}

int SerialPort::setReadTimeout(int milliseconds) {
    return changeTimeouts(state_->isOpen ? state_.get() : nullptr, milliseconds, applyReadTimeout);
}

int SerialPort::setWriteTimeout(int milliseconds) {
    return changeTimeouts(state_->isOpen ? state_.get() : nullptr, milliseconds, applyWriteTimeout);
}

int SerialPort::read(void* buffer, int count) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr || buffer == nullptr || count <= 0) {
        return 0;
    }
    DWORD got = 0;
    if (!::ReadFile(slot->handle, buffer, static_cast<DWORD>(count), &got, nullptr)) {
        DWORD errors = 0;
        (void)::ClearCommError(slot->handle, &errors, nullptr);
    }
    return static_cast<int>(got);
}

int SerialPort::write(const void* buffer, int count) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr || buffer == nullptr || count <= 0) {
        return 0;
    }
    DWORD sent = 0;
    if (!::WriteFile(slot->handle, buffer, static_cast<DWORD>(count), &sent, nullptr)) {
        DWORD errors = 0;
        (void)::ClearCommError(slot->handle, &errors, nullptr);
    }
    return static_cast<int>(sent);
}

int SerialPort::bytesWaiting() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 0;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(slot->handle, &errors, &status)) {
        return 0;
    }
    return static_cast<int>(status.cbInQue);
}

int SerialPort::purgeReceive() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    (void)::PurgeComm(slot->handle, PURGE_RXCLEAR);
    return 0;
}

int SerialPort::close() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    // Closing undoes opening: the line settings and time-outs found at open come back.
    (void)::SetCommState(slot->handle, &slot->foundState);
    if (slot->timeoutsFound) {
        (void)::SetCommTimeouts(slot->handle, &slot->foundTimeouts);
    }
    const HANDLE handle = slot->handle;
    // The handle is gone even when the system reports an error: a slot kept open would hold a
    // handle value that the system may give to some other object next.
    slot->handle = INVALID_HANDLE_VALUE;
    slot->isOpen = false;
    return ::CloseHandle(handle) ? 0 : 2;
}

bool SerialPort::isOpen() const {
    return state_->isOpen;
}

} // namespace zar4
