#include "sim/sim_server.h"

#include "sim/sensor_engine.h"
#include "sim/sensor_state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zar4::sim {

namespace {

int baudOf(speed_t speed) {
    switch (speed) {
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    default:
        return 0;
    }
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

struct SimServer::Impl {
    explicit Impl(SimOptions o) : options(std::move(o)), engine(options) {}

    SimOptions options;
    std::mutex mutex; // guards model, engine and log
    SensorModel model;
    SensorEngine engine;
    std::vector<std::uint8_t> log;

    int master = -1;
    int slave = -1;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool running = false;
    std::string slavePath;
    bool linkPlaced = false;
    Clock::time_point inboundFreeAt{};

    bool openLine();
    bool placeLink();
    void removeLink();
    void run();
    bool deliver(Answer& answer);
    bool send(std::vector<std::uint8_t> bytes, int baud, bool garble);
    bool writeAll(const std::uint8_t* data, std::size_t size);
    bool sleepUntil(Clock::time_point deadline);
    int hostBaud() const;
    void hangUp();
};

bool SimServer::Impl::openLine() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "zar4sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        std::fprintf(stderr, "zar4sim: cannot name the pseudo-terminal: %s\n",
                     std::strerror(errno));
        return false;
    }
    slavePath = name;
    // Holding the slave side open keeps the line up while a client closes and reopens it.
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        std::fprintf(stderr, "zar4sim: cannot open %s: %s\n", name, std::strerror(errno));
        return false;
    }
    termios t{};
    if (tcgetattr(slave, &t) != 0) {
        std::fprintf(stderr, "zar4sim: cannot read the line settings: %s\n", std::strerror(errno));
        return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    if (tcsetattr(slave, TCSANOW, &t) != 0) {
        std::fprintf(stderr, "zar4sim: cannot set the line raw: %s\n", std::strerror(errno));
        return false;
    }
    const int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "zar4sim: cannot prepare the line: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

bool SimServer::Impl::placeLink() {
    if (options.linkPath.empty())
        return true;
    struct stat st {};
    if (lstat(options.linkPath.c_str(), &st) == 0) {
        // A link left by an earlier run is replaced; anything else is not ours to remove.
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "zar4sim: %s exists and is not a symbolic link\n",
                         options.linkPath.c_str());
            return false;
        }
        ::unlink(options.linkPath.c_str());
    }
    if (symlink(slavePath.c_str(), options.linkPath.c_str()) != 0) {
        std::fprintf(stderr, "zar4sim: cannot place the link %s: %s\n", options.linkPath.c_str(),
                     std::strerror(errno));
        return false;
    }
    linkPlaced = true;
    return true;
}

void SimServer::Impl::removeLink() {
    if (!linkPlaced)
        return;
    linkPlaced = false;
    // Only the link that still points at this run's device is removed.
    char target[256];
    const ssize_t n = readlink(options.linkPath.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        if (slavePath == target)
            ::unlink(options.linkPath.c_str());
    }
}

int SimServer::Impl::hostBaud() const {
    // On Linux both sides of a pseudo-terminal share one set of settings: what the host set on
    // its side reads back here.
    termios t{};
    if (master < 0 || tcgetattr(master, &t) != 0)
        return 0;
    return baudOf(cfgetospeed(&t));
}

bool SimServer::Impl::sleepUntil(Clock::time_point deadline) {
    for (;;) {
        if (stopping.load())
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
        pollfd fd{wake[0], POLLIN, 0};
        if (ppoll(&fd, 1, &ts, nullptr) > 0 && (fd.revents & POLLIN))
            return false;
    }
}

bool SimServer::Impl::writeAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        if (stopping.load() || master < 0)
            return false;
        const ssize_t n = ::write(master, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The host is not reading: wait for room, or for stop().
            pollfd fds[2] = {{master, POLLOUT, 0}, {wake[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            if (fds[1].revents & POLLIN)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

bool SimServer::Impl::send(std::vector<std::uint8_t> bytes, int baud, bool garble) {
    if (bytes.empty())
        return true;
    if (garble)
        bytes = garbled(bytes);
    const bool paced = options.paced && baud > 0;
    const int slowUs = std::max(0, options.slowByteDelayUs);
    if (!paced && slowUs == 0)
        return writeAll(bytes.data(), bytes.size());

    // Byte j (1-based) has fully left the sensor after j wire times of 10 bits; it is handed to
    // the host then. Small slices keep the sleeps few while the total stays exact, since every
    // deadline is taken from the same start.
    const auto byteTime = std::chrono::nanoseconds(paced ? 10'000'000'000LL / baud : 0);
    std::size_t slice = 1;
    if (slowUs == 0 && paced)
        slice = std::max<std::size_t>(
            1, static_cast<std::size_t>(std::ceil(500'000.0 / double(byteTime.count()))));
    const auto start = Clock::now();
    for (std::size_t i = 0; i < bytes.size(); i += slice) {
        const std::size_t j = std::min(bytes.size(), i + slice);
        const auto due = start + byteTime * static_cast<long long>(j) +
                         std::chrono::microseconds(slowUs) * static_cast<long long>(j - 1);
        if (!sleepUntil(due) || !writeAll(bytes.data() + i, j - i))
            return false;
    }
    return true;
}

void SimServer::Impl::hangUp() {
    // Closing both sides hangs the line up: the host's reads end and its device is gone.
    closeFd(master);
    closeFd(slave);
}

bool SimServer::Impl::deliver(Answer& answer) {
    if (options.logFrames)
        std::fprintf(stderr, "%s\n", answer.logText.c_str());
    if (answer.delayMs > 0 && !sleepUntil(Clock::now() + std::chrono::milliseconds(answer.delayMs)))
        return false;
    int communic = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const bool saving =
            !options.stateDir.empty() && (answer.saveParameters || answer.savePattern >= 0);
        // What the write may change, kept until it is saved.
        std::optional<SensorModel> before;
        if (saving)
            before = model;
        if (answer.afterDelay)
            answer.afterDelay(model);
        bool kept = true;
        if (saving) {
            if (answer.saveParameters && !saveParameters(options.stateDir, model))
                kept = false;
            if (answer.savePattern >= 0 &&
                !savePattern(options.stateDir, model, answer.savePattern))
                kept = false;
        }
        if (!kept) {
            // What the host sent did not reach the sensor's memory: the sensor keeps what it
            // had (the staged half too, so the host may flash it again) and says NAK.
            std::fprintf(stderr, "zar4sim: cannot save the sensor's memory in %s\n",
                         options.stateDir.c_str());
            model = std::move(*before);
            answer.bytes = nakFrame();
        }
        communic = engine.lineCommunic();
    }
    const int baud = hostBaud();
    const bool garble = baud != communicRate(communic);
    if (!send(answer.bytes, baud, garble))
        return false;
    if (options.logFrames && !answer.bytes.empty())
        std::fprintf(stderr, "sim  %s%s\n",
                     hexBytes(answer.bytes.data(), answer.bytes.size()).c_str(),
                     garble ? " (garbled: host line rate differs)" : "");
    if (answer.hangUp) {
        hangUp();
        return false;
    }
    return true;
}

void SimServer::Impl::run() {
    std::vector<std::uint8_t> buffer(4096);
    while (!stopping.load() && master >= 0) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents & POLLIN)
            return;
        if (!(fds[0].revents & POLLIN)) {
            // Not expected while the slave side is held open; don't spin if it happens.
            if (!sleepUntil(Clock::now() + std::chrono::milliseconds(10)))
                return;
            continue;
        }
        const ssize_t n = ::read(master, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (!sleepUntil(Clock::now() + std::chrono::milliseconds(10)))
                return;
            continue;
        }
        const auto now = Clock::now();
        if (options.keepReceivedBytes) {
            std::lock_guard<std::mutex> lock(mutex);
            log.insert(log.end(), buffer.begin(), buffer.begin() + n);
        }
        const int baud = hostBaud();
        const bool paced = options.paced && baud > 0;
        const auto byteTime = std::chrono::nanoseconds(paced ? 10'000'000'000LL / baud : 0);
        for (ssize_t i = 0; i < n; ++i) {
            // Paced, each byte finishes arriving one wire time after the one before it.
            auto at = now;
            if (paced) {
                inboundFreeAt = std::max(now, inboundFreeAt) + byteTime;
                at = inboundFreeAt;
            }
            std::optional<Answer> answer;
            std::vector<std::uint8_t> ignored;
            {
                std::lock_guard<std::mutex> lock(mutex);
                answer = engine.onByte(model, buffer[static_cast<std::size_t>(i)], at);
                if (options.logFrames && (answer || i + 1 == n))
                    ignored = engine.takeIgnored();
            }
            if (!ignored.empty())
                std::fprintf(stderr, "host %s (ignored: not in PC mode)\n",
                             hexBytes(ignored.data(), ignored.size()).c_str());
            if (!answer)
                continue;
            if (paced && !sleepUntil(at))
                return;
            if (!deliver(*answer))
                return;
        }
    }
}

SimServer::SimServer(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SimServer::~SimServer() {
    stop();
}

bool SimServer::start() {
    Impl& d = *impl_;
    if (d.running)
        return false;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.model = SensorModel::defaultContent();
        if (!d.options.stateDir.empty()) {
            std::string error;
            if (!loadSensorState(d.options.stateDir, d.model, error)) {
                std::fprintf(stderr, "zar4sim: %s\n", error.c_str());
                return false;
            }
        }
        d.model.pcMode = d.options.startInPcMode;
        d.engine = SensorEngine(d.options);
        d.engine.startLine(d.model);
        d.log.clear();
    }
    d.stopping = false;
    if (!d.openLine() || !d.placeLink()) {
        closeFd(d.master);
        closeFd(d.slave);
        closeFd(d.wake[0]);
        closeFd(d.wake[1]);
        return false;
    }
    d.running = true;
    d.thread = std::thread([&d] { d.run(); });
    return true;
}

void SimServer::stop() {
    Impl& d = *impl_;
    if (!d.running)
        return;
    d.stopping = true;
    const char byte = 1;
    if (::write(d.wake[1], &byte, 1) < 0) {
        // The flag alone still ends the thread at its next wake-up.
    }
    if (d.thread.joinable())
        d.thread.join();
    d.removeLink();
    closeFd(d.master);
    closeFd(d.slave);
    closeFd(d.wake[0]);
    closeFd(d.wake[1]);
    d.running = false;
}

std::string SimServer::devicePath() const {
    return impl_->options.linkPath.empty() ? impl_->slavePath : impl_->options.linkPath;
}

void SimServer::withModel(const std::function<void(SensorModel&)>& f) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    f(impl_->model);
}

std::vector<std::uint8_t> SimServer::receivedBytes() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->log;
}

void SimServer::clearLog() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->log.clear();
}

} // namespace zar4::sim
