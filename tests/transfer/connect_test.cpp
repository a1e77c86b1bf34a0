// Connecting to the simulated sensor and sending it back to run, as the main window's buttons
// and the command line do it.

#include "transfer/transfer_fixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class Connect : public SensorTest {
protected:
    void start(sim::SimOptions options = {}) {
        sim_ = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sim_->start());
    }
    ScriptedMessages boxes;
};

TEST_F(Connect, At19200AsksThenSendsModeRequestAndStop) {
    start();
    // The sensor's own Communication-set must match: 3 is 19200 bit/s.
    sim_->withModel([](sim::SensorModel& m) {
        m.common[4] = static_cast<std::uint16_t>((m.common[4] & ~0x700) | (3 << 8));
    });
    // The line's settings as another program left them, to be found again after the run.
    const int line = ::open(sim_->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(line, 0);
    termios found{};
    ASSERT_EQ(::tcgetattr(line, &found), 0);
    boxes.expectQuestion(kAgreeToStop, true);
    EXPECT_TRUE(connectSensor(link, port(), 2, boxes));
    boxes.verify();
    EXPECT_EQ(link.currentPort(), "COM7");
    EXPECT_EQ(link.device(), sim_->devicePath());
    EXPECT_TRUE(link.isOpen());
    Bytes expected = kModeRequest;
    append(expected, kStopFrame);
    EXPECT_EQ(wire(), expected);
    EXPECT_TRUE(model().pcMode);

    sim_->clearLog();
    EXPECT_TRUE(returnToRun(link, boxes));
    EXPECT_EQ(wire(), kRunFrame);
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(model().pcMode);
    termios after{};
    ASSERT_EQ(::tcgetattr(line, &after), 0);
    ::close(line);
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(after.c_oflag, found.c_oflag);
    EXPECT_EQ(after.c_cflag, found.c_cflag);
    EXPECT_EQ(after.c_lflag, found.c_lflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&found));
}

TEST_F(Connect, RefusingTheQuestionLeavesThePortClosedForTheNextTry) {
    start();
    boxes.expectQuestion(kAgreeToStop, false);
    EXPECT_FALSE(connectSensor(link, port(), 4, boxes));
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(wire().empty());
    boxes.expectQuestion(kAgreeToStop, true);
    EXPECT_TRUE(connectSensor(link, port(), 4, boxes));
    boxes.verify();
}

TEST_F(Connect, FailuresShowTheirTextAndCloseThePort) {
    start();
    boxes.expectError(kBaudRateInvalid);
    EXPECT_FALSE(connectSensor(link, port(), 5, boxes, false));
    EXPECT_EQ(link.lastFailure().kind, LinkFailureKind::BaudRateInvalid);
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(wire().empty());

    const std::string missing = dir.path() + "/no-such-device";
    boxes.expectError(std::string(kFailedToOpenPort) + "\n" + missing + ": no such device");
    EXPECT_FALSE(connectSensor(link, {"COM7", missing}, 4, boxes, false));
    EXPECT_EQ(link.lastFailure().kind, LinkFailureKind::OpenFailed);
    EXPECT_EQ(link.lastFailure().systemError, ENOENT);
    boxes.verify();
}

TEST_F(Connect, APortAnotherProgramHoldsNamesThatProgram) {
    start();
    // Another program holds the line: a child that opens and locks it, as a second loader does.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // Only the line of its own, as another program has: not the simulated sensor's ends,
        // which the fork handed down.
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != ready[1])
                ::close(fd);
        }
        const int fd = ::open(sim_->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        (void)!::write(ready[1], locked ? "1" : "0", 1);
        ::pause();
        ::_exit(0);
    }
    char locked = 0;
    ASSERT_EQ(::read(ready[0], &locked, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(locked, '1');

    boxes.expectError(std::string(kFailedToOpenPort) + "\n" + sim_->devicePath() +
                      ": in use by process " + std::to_string(holder) + " (test_transfer)");
    EXPECT_FALSE(connectSensor(link, port(), 4, boxes, false));
    EXPECT_FALSE(link.isOpen());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    boxes.verify();
}

TEST_F(Connect, ASensorThatRefusesPcModeOrStopLeavesTheLinkClosed) {
    sim::SimOptions options;
    sim::Fault nak;
    nak.kind = sim::Fault::Kind::Nak;
    nak.command = 0x43;
    options.faults.push_back(nak);
    sim::Fault badStop;
    badStop.kind = sim::Fault::Kind::BadChecksum;
    badStop.command = 0x88;
    options.faults.push_back(badStop);
    start(options);

    boxes.expectError("ZAR4 recieved an invalid communication data.");
    EXPECT_FALSE(connectSensor(link, port(), 4, boxes, false));
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(wire(), kModeRequest);

    sim_->clearLog();
    boxes.expectError("Error in checking sum of communication.");
    EXPECT_FALSE(connectSensor(link, port(), 4, boxes, false));
    EXPECT_FALSE(link.isOpen());
    Bytes expected = kModeRequest;
    append(expected, kStopFrame);
    EXPECT_EQ(wire(), expected);
    boxes.verify();
}

TEST_F(Connect, ReturnToRunWithoutAnAnswerStillClosesThePort) {
    sim::SimOptions options;
    sim::Fault silent;
    silent.kind = sim::Fault::Kind::NoReply;
    silent.command = 0x87;
    options.faults.push_back(silent);
    start(options);
    ASSERT_TRUE(connectSensor(link, port(), 4, boxes, false));

    boxes.expectError("No communication response.\nCOM7 (" + sim_->devicePath() +
                      ") at 57600 bit/s: no reply to Run. The sensor hears Run only in PC "
                      "communication mode: it may be in run mode already, or be off or "
                      "unplugged.");
    auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(returnToRun(link, boxes));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);
    EXPECT_FALSE(link.isOpen());
    boxes.verify();
}

} // namespace
} // namespace zar4::test
