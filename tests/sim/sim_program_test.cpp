// The zar4sim program as a script or an operator starts it, and its command line.

#include "sim/sim_options.h"
#include "sim_client.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>

namespace zar4::test {
namespace {

using sim::Fault;
using sim::ParseOutcome;
using sim::SimOptions;

// zar4sim started with `args`, its standard output and error on pipes.
struct Program {
    explicit Program(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            std::vector<char*> argv{const_cast<char*>(ZAR4SIM_PATH)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ZAR4SIM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        stdoutFd = out[0];
        stderrFd = err[0];
    }
    ~Program() {
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (stdoutFd >= 0)
            close(stdoutFd);
        if (stderrFd >= 0)
            close(stderrFd);
    }

    static std::string readLineFrom(int fd, int timeoutMs) {
        std::string line;
        char c = 0;
        while (true) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0 || ::read(fd, &c, 1) != 1 || c == '\n')
                return line;
            line += c;
        }
    }
    static std::string readAllFrom(int fd) {
        std::string all;
        char buf[512];
        ssize_t n = 0;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            all.append(buf, static_cast<std::size_t>(n));
        return all;
    }
    int wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    bool reaped = false;
};

TEST(SimProgram, PrintsItsDeviceAnswersOnItAndEndsCleanlyOnSignal) {
    const test::TempFolder temp("zar4sim-program");
    const auto link = std::filesystem::path(temp.path()) / "ttyZAR4";
    Program p({"--link", link.string(), "--stray", "00"});
    ASSERT_GT(p.pid, 0);
    const std::string device = Program::readLineFrom(p.stdoutFd, 5000);
    EXPECT_EQ(device, link.string());
    {
        SimClient c(device);
        EXPECT_EQ(c.exchange(kModeRequestBytes, 3), (Bytes{0x00, 0x06, 0x02}));
        EXPECT_EQ(c.exchange(commandFrame(0x81, {3}), 66).size(), 66u);
    }
    kill(p.pid, SIGTERM);
    EXPECT_EQ(p.wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimProgram, RefusesBadOptionsWithExitTwoAndExplainsEveryOptionInHelp) {
    {
        Program p({"--fault", "sometimes:81"});
        EXPECT_EQ(p.wait(), 2);
        EXPECT_NE(Program::readAllFrom(p.stderrFd).find("--fault"), std::string::npos);
        EXPECT_EQ(Program::readAllFrom(p.stdoutFd), "");
    }
    {
        Program p({"--help"});
        EXPECT_EQ(p.wait(), 0);
        const std::string help = Program::readAllFrom(p.stdoutFd);
        for (const char* option :
             {"--link", "--state", "--paced", "--flash-ms", "--fault ", "--fault-block", "--stray",
              "--wrong-model", "--slow-us", "--pc-mode", "--log", "--help", "nostore", "--version"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(SimOptionsParse, TakesEveryOption) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(sim::parseSimArguments({"--link",         "/tmp/l",
                                      "--state=/tmp/s", "--paced",
                                      "--flash-ms",     "250",
                                      "--fault",        "short=5:GetPatternBlock:3",
                                      "--fault",        "nak:0x86",
                                      "--fault-block",  "hangup:100:2",
                                      "--stray",        "00,ff 7e",
                                      "--wrong-model",  "14",
                                      "--slow-us",      "40",
                                      "--pc-mode",      "--log",
                                      "--fault",        "nostore:FlashPatternHalf"},
                                     o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.linkPath, "/tmp/l");
    EXPECT_EQ(o.stateDir, "/tmp/s");
    EXPECT_TRUE(o.paced && o.startInPcMode && o.logFrames);
    EXPECT_EQ(o.flashTimeMs, 250);
    ASSERT_EQ(o.faults.size(), 4u);
    EXPECT_EQ(o.faults[0].kind, Fault::Kind::ShortReply);
    EXPECT_EQ(o.faults[0].shortBytes, 5);
    EXPECT_EQ(o.faults[0].command, 0x83);
    EXPECT_EQ(o.faults[0].nth, 3);
    EXPECT_EQ(o.faults[1].kind, Fault::Kind::Nak);
    EXPECT_EQ(o.faults[1].command, 0x86);
    EXPECT_EQ(o.faults[1].nth, 1);
    EXPECT_EQ(o.faults[2].kind, Fault::Kind::HangUp);
    EXPECT_EQ(o.faults[2].patternBlock, 100);
    EXPECT_EQ(o.faults[2].nth, 2);
    EXPECT_EQ(o.faults[3].kind, Fault::Kind::AckNoStore);
    EXPECT_EQ(o.faults[3].command, 0x86);
    EXPECT_EQ(o.strayBeforeModeAnswer, (std::vector<std::uint8_t>{0x00, 0xFF, 0x7E}));
    EXPECT_EQ(o.wrongModelBank, 14);
    EXPECT_EQ(o.slowByteDelayUs, 40);
}

TEST(SimOptionsParse, RefusesWhatItCannotUse) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--fault", "nak:80"},   // not a command
                                               {"--fault", "nak:81:0"}, // occurrences count from 1
                                               {"--fault", "nak"},      // no command
                                               {"--fault-block", "nak:256"}, // no such block
                                               {"--wrong-model", "15"},      // banks end at 14
                                               {"--flash-ms", "-5"},
                                               {"--slow-us", "ten"},
                                               {"--stray", "0"}, // half a byte
                                               {"--stray", "zz"},
                                               {"--link"}, // value missing
                                               {"--paced=yes"},
                                               {"--baud", "9600"}}) {
        SimOptions o;
        std::string error;
        EXPECT_EQ(sim::parseSimArguments(args, o, error), ParseOutcome::Error) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
} // namespace zar4::test
