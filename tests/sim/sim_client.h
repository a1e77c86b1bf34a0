#pragma once
// A plain host on the simulated sensor's line: raw file descriptor, raw mode, bytes out,
// replies read with poll against a deadline. It knows nothing of the loader's own link code, so
// the sensor is checked against the bytes themselves.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace zar4::test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t sumComplement(const Bytes& bytes) {
    unsigned sum = 0;
    for (auto b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
}

// Code, payload, checksum.
inline Bytes commandFrame(std::uint8_t code, const Bytes& payload = {}) {
    Bytes frame;
    frame.reserve(payload.size() + 2);
    frame.push_back(code);
    for (auto b : payload)
        frame.push_back(b);
    frame.push_back(sumComplement(frame));
    return frame;
}

// ACK, data, checksum.
inline Bytes ackFrame(const Bytes& data = {}) {
    Bytes frame;
    frame.reserve(data.size() + 2);
    frame.push_back(0x06);
    for (auto b : data)
        frame.push_back(b);
    frame.push_back(sumComplement(frame));
    return frame;
}

inline const Bytes kModeRequestBytes{0x43, 0x50, 0x6C};
inline const Bytes kPcModeAnswer{0x06, 0x02};
inline const Bytes kNakAnswer{0x15, 0xEA};

inline Bytes wordsToBytes(const std::vector<std::uint16_t>& words) {
    Bytes out;
    for (auto w : words) {
        out.push_back(static_cast<std::uint8_t>(w & 0xFF));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

inline std::vector<std::uint16_t> bytesToWords(const Bytes& bytes, std::size_t from,
                                               std::size_t count) {
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(
            static_cast<std::uint16_t>(bytes[from + 2 * i] | (bytes[from + 2 * i + 1] << 8)));
    return out;
}

class SimClient {
public:
    explicit SimClient(const std::string& device, speed_t speed = B57600) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(fd_, 0) << "cannot open " << device;
        if (fd_ >= 0)
            setSpeed(speed);
    }
    ~SimClient() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void setSpeed(speed_t speed) {
        termios t{};
        ASSERT_EQ(tcgetattr(fd_, &t), 0);
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        ASSERT_EQ(tcsetattr(fd_, TCSANOW, &t), 0);
    }

    void send(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ASSERT_GE(poll(&p, 1, 1000), 0);
            }
        }
    }

    // Reads until `count` bytes have come or `timeoutMs` has passed; returns what came.
    Bytes read(std::size_t count, int timeoutMs = 1000) {
        Bytes out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                if (!(p.revents & POLLIN))
                    break;
            }
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) {
                hungUp_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    // One exchange: send, then read the expected reply size.
    Bytes exchange(const Bytes& frame, std::size_t replySize, int timeoutMs = 1000) {
        send(frame);
        return read(replySize, timeoutMs);
    }

    // The mode request answered with 06 02.
    void enterPcMode() { ASSERT_EQ(exchange(kModeRequestBytes, 2), kPcModeAnswer); }

    bool hungUp() const { return hungUp_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

} // namespace zar4::test
