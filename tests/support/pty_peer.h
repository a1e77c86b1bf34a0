#pragma once
// The far end of a serial line, for tests: a pseudo-terminal whose slave side the code under
// test opens as its serial device (devicePath()), and whose master side the test reads and
// writes as the sensor would. The line is raw both ways.
//
//     PtyPeer peer;                       // ASSERT_TRUE(peer.ok())
//     ports.set(3, peer.devicePath());    // COM3 of this PortMap is now this line
//     peer.answer(2, {0x06, 0xF9});       // read the 2-byte command, then reply
//     ... run the code under test ...
//     EXPECT_EQ(peer.finish(), (Bytes{0x87, 0x78}));
//
// A slave descriptor stays open for the peer's whole life, so the host may open and close
// the device freely without the master seeing the line drop. hangUp() drops it.
// One background action (writeLater or answer) runs at a time; starting another, finish()
// and the destructor wait for the one before.

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace zar4::test {

using Bytes = std::vector<std::uint8_t>;

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // False when the pseudo-terminal could not be made (the reason went to stderr).
    bool ok() const { return master_ >= 0; }
    // The device the host opens, such as /dev/pts/7.
    const std::string& devicePath() const { return device_; }
    // The peer's own descriptor on that device, for looking at its line settings
    // (tcgetattr) or changing them behind the host's back.
    int deviceFd() const { return slave_; }

    // Bytes the host wrote: returns as soon as `count` arrived, or what arrived within
    // timeoutMs.
    Bytes read(std::size_t count, int timeoutMs = 1000);
    // Writes bytes towards the host at once. False if not all could be written.
    bool write(const Bytes& bytes);
    // From a background thread: waits delayMs, then writes.
    void writeLater(Bytes bytes, int delayMs);
    // From a background thread: reads a request of requestSize bytes (waiting at most
    // timeoutMs), then waits delayMs and writes the reply (even when the request came short).
    void answer(std::size_t requestSize, Bytes reply, int delayMs = 0, int timeoutMs = 3000);
    // Waits for the background action; returns the request the last answer() read.
    Bytes finish();
    // Drops the line: the host's reads see the far end gone.
    void hangUp();

private:
    void join();

    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::thread worker_;
    Bytes request_;
};

} // namespace zar4::test
