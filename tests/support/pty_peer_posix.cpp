#include "support/pty_peer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zar4::test {

namespace {

void makeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
}

} // namespace

PtyPeer::PtyPeer() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        std::perror("posix_openpt");
        return;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        std::perror("pseudo-terminal");
        ::close(master);
        return;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        std::perror(name);
        ::close(master);
        return;
    }
    makeRaw(slave);
    // Non-blocking, so that write() never hangs a test when the host stops reading.
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    device_ = name;
}

PtyPeer::~PtyPeer() {
    join();
    if (master_ >= 0) {
        ::close(master_);
    }
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

Bytes PtyPeer::read(std::size_t count, int timeoutMs) {
    Bytes got;
    if (master_ < 0) {
        return got;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::uint8_t chunk[512];
    while (got.size() < count) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{master_, POLLIN, 0};
        const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (p.revents & POLLIN) == 0) {
            break;
        }
        const std::size_t want = std::min(sizeof chunk, count - got.size());
        const ssize_t n = ::read(master_, chunk, want);
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            break;
        }
    }
    return got;
}

bool PtyPeer::write(const Bytes& bytes) {
    std::size_t done = 0;
    int stalls = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && ++stalls < 100) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        return false;
    }
    return master_ >= 0;
}

void PtyPeer::writeLater(Bytes bytes, int delayMs) {
    join();
    worker_ = std::thread([this, bytes = std::move(bytes), delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        write(bytes);
    });
}

void PtyPeer::answer(std::size_t requestSize, Bytes reply, int delayMs, int timeoutMs) {
    join();
    request_.clear();
    worker_ = std::thread([this, requestSize, reply = std::move(reply), delayMs, timeoutMs] {
        request_ = read(requestSize, timeoutMs);
        if (delayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        write(reply);
    });
}

Bytes PtyPeer::finish() {
    join();
    return request_;
}

void PtyPeer::hangUp() {
    join();
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

void PtyPeer::join() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace zar4::test
