// The serial port on the Linux terminal interface. Everything goes through the kernel's
// termios2 requests (TCGETS2 / TCSETS2), the only form that carries rates without a
// B-constant (14400, 56000, 128000, 256000), which is why this file does not use <termios.h>.

#include "link/serial_port.h"

#include "link/line_settings.h"

#include <algorithm>
#include <array>
#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zar4 {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

struct SerialPort::State {
    int handle = -1;
    bool isOpen = false;
    int readTimeoutMs = 1000;
    int writeTimeoutMs = 1000;
    // With parity checking on, bytes come marked (see line_settings.h) and are decoded here;
    // `received` holds decoded bytes that bytesWaiting() had to take from the driver early.
    bool marksErrors = false;
    ParityMarkDecoder decoder;
    std::vector<std::uint8_t> received;
    // What opening changed, put back at close: the line settings and the low-latency flag.
    termios2 foundSettings{};
    bool settingsFound = false;
    bool lowLatencySet = false;
};

namespace {

using PortSlot = SerialPort::State;

LineTermios fromKernel(const termios2& k) {
    LineTermios t;
    t.iflag = k.c_iflag;
    t.oflag = k.c_oflag;
    t.cflag = k.c_cflag;
    t.lflag = k.c_lflag;
    t.ispeed = k.c_ispeed;
    t.ospeed = k.c_ospeed;
    return t;
}

void toKernel(const LineTermios& t, termios2& k) {
    k.c_iflag = t.iflag;
    k.c_oflag = t.oflag;
    k.c_cflag = t.cflag;
    k.c_lflag = t.lflag;
    k.c_ispeed = t.ispeed;
    k.c_ospeed = t.ospeed;
}

// Forgets every received byte the port holds itself (not the driver's queue).
void dropReceived(PortSlot& slot) {
    slot.received.clear();
    slot.decoder.reset();
}

// Hands on up to `count` bytes that bytesWaiting() took from the driver before.
int takeReceived(PortSlot& slot, std::uint8_t* out, int count) {
    const int n = std::min(count, static_cast<int>(slot.received.size()));
    std::copy_n(slot.received.begin(), n, out);
    slot.received.erase(slot.received.begin(), slot.received.begin() + n);
    return n;
}

// Milliseconds left until `deadline`, rounded up so that poll() never wakes before it.
int msUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

// Raw bytes both ways: no line editing, echo, signals, CR/LF translation or output
// processing; reads return what is there (VMIN = VTIME = 0, the waiting is done by poll()).
bool makeRaw(int fd) {
    termios2 k{};
    if (::ioctl(fd, TCGETS2, &k) != 0) {
        return false;
    }
    k.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR |
                                        ICRNL | IUCLC | IXON | IXANY | IMAXBEL);
    k.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    k.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN |
                                        NOFLSH | TOSTOP);
    k.c_cflag |= CLOCAL | CREAD;
    k.c_cc[VMIN] = 0;
    k.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &k) == 0;
}

// Many USB adapters hold small replies back for up to 16 ms unless asked for low latency; a
// pattern is hundreds of small exchanges. Drivers that do not offer it are left as they are.
// True when this open turned the flag on, so that closing turns it off again.
bool askForLowLatency(int fd) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) {
        return false;
    }
    if ((ss.flags & ASYNC_LOW_LATENCY) != 0) {
        return false;
    }
    ss.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &ss) == 0;
}

void dropLowLatency(int fd) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && (ss.flags & ASYNC_LOW_LATENCY) != 0) {
        ss.flags &= ~ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &ss);
    }
}

// Undoes an open: exclusive mode off (it belongs to the device, not to this descriptor, and
// would keep other users out after we are gone), the lock released, the descriptor closed.
int releaseDevice(int fd) {
    (void)::ioctl(fd, TIOCNXCL);
    (void)::flock(fd, LOCK_UN);
    return ::close(fd);
}

// Sets or clears one modem control line. A pseudo-terminal has no modem lines and answers
// ENOTTY (some drivers EINVAL): there is nothing to set, which is not a failure.
bool setModemLine(int fd, int line, LineLevel level) {
    if (level == LineLevel::Keep) {
        return true;
    }
    const int bits = line;
    if (::ioctl(fd, level == LineLevel::On ? TIOCMBIS : TIOCMBIC, &bits) == 0) {
        return true;
    }
    return errno == ENOTTY || errno == EINVAL;
}

} // namespace

SerialPort::SerialPort() : state_(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
    (void)close();
}

int SerialPort::open(const std::string& device, int /*receiveQueue*/, int /*sendQueue*/) {
    // The queue sizes have no counterpart here: the kernel's tty buffers are fixed and larger
    // than any frame of the sensor.
    State& slot = *state_;
    if (slot.isOpen) {
        return 2;
    }
    openFailure_.clear();
    openError_ = 0;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return openFailed(device, errno);
    }
    // The lock keeps out every other opener that locks too (another loader), also as root,
    // who is not kept out by TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return openFailed(device, error);
    }
    // TIOCEXCL fails on anything that is not a terminal: a port map entry that names a plain
    // file is no serial port.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        (void)::flock(fd, LOCK_UN);
        ::close(fd);
        return openFailed(device, error);
    }
    // The settings the line had, for closing to put back: the next program on the line (a
    // terminal, the sensor's other tools) finds it as it was.
    slot.settingsFound = ::ioctl(fd, TCGETS2, &slot.foundSettings) == 0;
    if (!slot.settingsFound || !makeRaw(fd)) {
        const int error = errno;
        releaseDevice(fd);
        return openFailed(device, error);
    }
    slot.lowLatencySet = askForLowLatency(fd);

    slot.handle = fd;
    slot.isOpen = true;
    slot.readTimeoutMs = 1000;
    slot.writeTimeoutMs = 1000;
    slot.marksErrors = false; // the raw line has PARMRK off
    dropReceived(slot);
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
    termios2 present{};
    if (::ioctl(slot->handle, TCGETS2, &present) != 0) {
        return 2;
    }
    LineTermios wanted = fromKernel(present);
    ModemLines lines;
    if (!applySettingsCode(settingsCode, wanted, lines)) {
        return 2;
    }
    termios2 next = present;
    toKernel(wanted, next);
    if (::ioctl(slot->handle, TCSETS2, &next) != 0) {
        return 2;
    }
    // Drivers drop what they cannot do and still report success: read the settings back and
    // put the old ones back when they do not hold what was asked.
    termios2 after{};
    if (::ioctl(slot->handle, TCGETS2, &after) != 0 || !settingsTaken(wanted, fromKernel(after))) {
        (void)::ioctl(slot->handle, TCSETS2, &present);
        return 2;
    }
    if (!setModemLine(slot->handle, TIOCM_DTR, lines.dtr) ||
        !setModemLine(slot->handle, TIOCM_RTS, lines.rts)) {
        (void)::ioctl(slot->handle, TCSETS2, &present);
        return 2;
    }
    const bool marks = marksParityErrors(fromKernel(after));
    if (marks != slot->marksErrors) {
        slot->marksErrors = marks;
        slot->decoder.reset();
    }
    return 0;
}

int SerialPort::setReadTimeout(int milliseconds) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    if (milliseconds < 0) {
        return 2;
    }
    slot->readTimeoutMs = milliseconds;
    return 0;
}

int SerialPort::setWriteTimeout(int milliseconds) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    if (milliseconds < 0) {
        return 2;
    }
    slot->writeTimeoutMs = milliseconds;
    return 0;
}

int SerialPort::read(void* buffer, int count) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr || buffer == nullptr || count <= 0) {
        return 0;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    int got = takeReceived(*slot, out, count);
    if (got == count) {
        return got;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(slot->readTimeoutMs);
    for (;;) {
        pollfd p{slot->handle, POLLIN, 0};
        const int ready = ::poll(&p, 1, msUntil(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return got;
        }
        if (ready == 0) {
            if (Clock::now() < deadline) {
                continue;
            }
            return got; // the time-out: what arrived by now
        }
        if ((p.revents & POLLIN) != 0) {
            const ssize_t n =
                ::read(slot->handle, out + got, static_cast<std::size_t>(count - got));
            if (n > 0) {
                // A marked byte takes more room in the driver than on the line, never less:
                // decoded in place, the bytes still fit.
                got += slot->marksErrors
                           ? slot->decoder.decode(out + got, static_cast<int>(n), out + got)
                           : static_cast<int>(n);
                if (got == count) {
                    return got;
                }
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            return got; // readable with nothing to read, or EIO: the line is gone
        }
        return got; // POLLHUP / POLLERR / POLLNVAL without data: the line is gone
    }
}

int SerialPort::write(const void* buffer, int count) {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr || buffer == nullptr || count <= 0) {
        return 0;
    }
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(slot->writeTimeoutMs);
    int sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(slot->handle, in + sent, static_cast<std::size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return sent;
        }
        // The driver's queue is full: wait for room, never past the write time-out.
        pollfd p{slot->handle, POLLOUT, 0};
        const int ready = ::poll(&p, 1, msUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            if (ready == 0 && Clock::now() < deadline) {
                continue;
            }
            return sent;
        }
        if ((p.revents & POLLOUT) == 0) {
            return sent; // hung up
        }
    }
    return sent;
}

int SerialPort::bytesWaiting() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 0;
    }
    int waiting = 0;
    if (::ioctl(slot->handle, FIONREAD, &waiting) != 0 || waiting < 0) {
        waiting = 0;
    }
    if (!slot->marksErrors) {
        return static_cast<int>(slot->received.size()) + waiting;
    }
    // Marked bytes count two or three times in the driver's queue: take them now, so that the
    // count is of the bytes the line carried.
    if (waiting > 0) {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(waiting));
        const ssize_t n = ::read(slot->handle, raw.data(), raw.size());
        if (n > 0) {
            const std::size_t before = slot->received.size();
            slot->received.resize(before + static_cast<std::size_t>(n));
            const int decoded = slot->decoder.decode(raw.data(), static_cast<int>(n),
                                                     slot->received.data() + before);
            slot->received.resize(before + static_cast<std::size_t>(decoded));
        }
    }
    return static_cast<int>(slot->received.size());
}

int SerialPort::purgeReceive() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    dropReceived(*slot);
    (void)::ioctl(slot->handle, TCFLSH, TCIFLUSH);
    return 0;
}

int SerialPort::close() {
    PortSlot* slot = state_->isOpen ? state_.get() : nullptr;
    if (slot == nullptr) {
        return 1;
    }
    // Let what is queued leave, but no longer than a write may take; then drop the rest so
    // that close() does not wait for it (a serial driver waits up to 30 s by default).
    const auto deadline = Clock::now() + std::chrono::milliseconds(slot->writeTimeoutMs);
    for (;;) {
        int queued = 0;
        if (::ioctl(slot->handle, TIOCOUTQ, &queued) != 0 || queued <= 0 ||
            Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    (void)::ioctl(slot->handle, TCFLSH, TCOFLUSH);
    // Closing undoes opening: the line settings and the latency found at open come back.
    if (slot->settingsFound) {
        (void)::ioctl(slot->handle, TCSETS2, &slot->foundSettings);
    }
    if (slot->lowLatencySet) {
        dropLowLatency(slot->handle);
    }
    slot->settingsFound = false;
    slot->lowLatencySet = false;
    const int fd = slot->handle;
    // Linux releases the descriptor even when close() reports an error, so the slot is free
    // either way: keeping it "open" would leave a descriptor number that the system may hand
    // to some other file, and every later write would go there.
    slot->handle = -1;
    slot->isOpen = false;
    dropReceived(*slot);
    return releaseDevice(fd) == 0 ? 0 : 2;
}

bool SerialPort::isOpen() const {
    return state_->isOpen;
}

} // namespace zar4
