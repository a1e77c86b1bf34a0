// zar4ctl started with standard output or error closed: the serial port must never take the
// closed stream's number, or the program's own messages would go to the sensor as commands.

#include "ctl/ctl_sensor_fixture.h"

#include <set>

namespace zar4::test {
namespace {

// Runs zar4ctl with the streams in `closed` closed (and the others on the null device), and
// returns its exit status.
int runWithClosedStreams(const std::vector<std::string>& args, const std::set<int>& closed) {
    const std::string program = ZAR4CTL_PATH;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        for (int stream = 0; stream <= 2; ++stream) {
            if (closed.count(stream) != 0)
                ::close(stream);
            else
                ::dup2(null, stream);
        }
        if (null > 2)
            ::close(null);
        execProgram(program, args);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(CtlSensorTest, ClosedStandardStreamsPutNoTextOnTheLine) {
    start();
    const std::vector<std::string> read = {"read", "--port",      device(),       "--banks",
                                           "3",    "--overwrite", "--parameters", base()};
    // What a read sends with every stream open: its frames and nothing else.
    ASSERT_EQ(ctl(read).status, 0);
    const std::vector<std::uint8_t> frames = sim_->receivedBytes();
    ASSERT_FALSE(frames.empty());

    const std::set<int> cases[] = {{1}, {2}, {0, 1, 2}};
    for (const std::set<int>& closed : cases) {
        SCOPED_TRACE("closed: " + std::to_string(closed.size()) + " from " +
                     std::to_string(*closed.begin()));
        for (const bool json : {false, true}) {
            sim_->clearLog();
            std::vector<std::string> args = read;
            if (json)
                args.insert(args.begin() + 1, "--json");
            EXPECT_EQ(runWithClosedStreams(args, closed), 0);
            EXPECT_EQ(sim_->receivedBytes(), frames) << (json ? "with --json" : "");
        }
    }
}

} // namespace
} // namespace zar4::test
