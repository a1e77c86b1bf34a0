// zar4ctl as the operator's shell runs it: a child process against the simulated sensor.

#include "ctl/ctl_sensor_fixture.h"
#include "ctl/json_reader.h"
#include "support/pty_peer.h"
#include "support/scoped_env.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sys/ioctl.h>
#include <thread>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class Zar4Ctl : public CtlSensorTest {
protected:
    Bytes connectBytes() const {
        Bytes b = kModeRequest;
        append(b, kStopFrame);
        return b;
    }
};

TEST_F(Zar4Ctl, ReadsParametersConnectingFirstAndSendingRunAfter) {
    start();
    auto r = ctl({"read", "--port", device(), "--banks", "3", "--parameters", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kReadCompleted) + "\n");
    EXPECT_EQ(r.err, ""); // no progress on a pipe

    Bytes expected = connectBytes();
    append(expected, getParameterBlock(3));
    append(expected, getParameterBlock(15));
    append(expected, kRunFrame);
    EXPECT_EQ(sim_->receivedBytes(), expected);
    sim::SensorModel m;
    sim_->withModel([&](sim::SensorModel& model) { m = model; });
    EXPECT_EQ(readFile(parameterFileName(base(), 3)), wordLines(m.bank[3].data(), 32));
    EXPECT_FALSE(m.pcMode);
}

TEST_F(Zar4Ctl, ABackupWrittenBackRestoresTheSensorAndReadsBackTheSameFiles) {
    start();
    // Parameters and patterns of the last three banks, and the common parameters.
    auto r = ctl({"read", "--port", device(), "--banks", "12-14", base()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kReadCompleted) + "\n");
    std::vector<std::string> names{parameterFileName(base(), 15)};
    for (int bank = 12; bank <= 14; ++bank) {
        names.push_back(parameterFileName(base(), bank));
        names.push_back(patternFileName(base(), bank));
    }
    std::vector<std::string> backup;
    for (const auto& name : names)
        backup.push_back(readFile(name));
    sim::SensorModel original;
    sim_->withModel([&](sim::SensorModel& m) { original = m; });

    // A sensor whose banks and patterns were lost (its model marks still its own).
    sim_->withModel([](sim::SensorModel& m) {
        for (auto& bank : m.bank) {
            bank.fill(0);
            bank[8] = bank[9] = 1;
        }
        for (auto& pattern : m.pattern)
            pattern.assign(pattern.size(), 0);
        for (int i = 0; i < 4; ++i) // word 4 keeps the line's rate
            m.common[static_cast<std::size_t>(i)] = 0;
    });
    r = ctl({"write", "--port", device(), "--banks", "12-14", "--yes", base()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kWriteCompleted) + "\n");
    sim_->withModel([&](sim::SensorModel& m) {
        for (std::size_t bank = 12; bank <= 14; ++bank)
            EXPECT_EQ(m.bank[bank], original.bank[bank]) << bank;
        EXPECT_EQ(m.common, original.common);
        for (std::size_t bank = 12; bank <= 14; ++bank)
            EXPECT_EQ(m.pattern[bank], original.pattern[bank]) << bank;
    });

    std::string again = dir.path() + "/again";
    r = ctl({"read", "--port", device(), "--banks", "12-14", again});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(readFile(again + names[i].substr(base().size())), backup[i]) << names[i];
}

TEST_F(Zar4Ctl, AnExistingFileIsNotOverwrittenWithoutATerminalOrAnOption) {
    start();
    writeFile(parameterFileName(base(), 15), "old\n");
    auto r = ctl({"read", "--port", device(), "--parameters", "--banks=5-2", base()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(kOverwriteFile), std::string::npos) << r.err;
    EXPECT_EQ(readFile(parameterFileName(base(), 15)), "old\n");
    Bytes log = sim_->receivedBytes();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Bytes(log.end() - 2, log.end()), kRunFrame); // back to run all the same

    r = ctl({"read", "--port", device(), "--parameters", "--banks=5-2", "--overwrite", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readFile(parameterFileName(base(), 15)), "old\n");
}

TEST_F(Zar4Ctl, WriteNeedsAgreementAndTouchesNothingWithoutIt) {
    start();
    auto r = ctl({"write", "--port", device(), base()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_TRUE(sim_->receivedBytes().empty());
}

TEST_F(Zar4Ctl, WriteOnAStoppedSensorKeepsItStoppedAndFollowsTheMissingFileOptions) {
    start();
    ASSERT_EQ(ctl({"connect", "--port", device()}).status, 0);
    sim_->clearLog();

    std::string bank2 = "1\n2\n3\n4\n5\n6\n7\n8\n236\n208\n";
    for (int i = 10; i < 32; ++i)
        bank2 += std::to_string(i) + "\n";
    writeFile(parameterFileName(base(), 2), bank2);
    auto r = ctl({"write", "--port", device(), "--yes", "--no-connect", "--keep-stopped",
                  "--parameters", "--banks", "2", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    // Each item left out is named once more at the end.
    EXPECT_EQ(r.out, std::string(kWriteCompleted) + "\ncommon parameters: not found, skipped\n");
    EXPECT_EQ(r.err, std::string("Warning: ") + kCommonFileNotice + "\n");
    Bytes expected = getParameterBlock(2);
    append(expected, getParameterBlock(2));
    Bytes log = sim_->receivedBytes();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(Bytes(log.begin(), log.begin() + 6), expected);
    bool stopped = false;
    sim_->withModel([&](sim::SensorModel& m) { stopped = m.pcMode; });
    EXPECT_TRUE(stopped);

    // Bank 3 has no file: without a terminal the transfer is abandoned...
    r = ctl({"write", "--port", device(), "--yes", "--no-connect", "--keep-stopped", "--parameters",
             "--banks", "3", base()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Bank number3 " + std::string(kParametersFileMissing)), std::string::npos);
    EXPECT_NE(r.err.find(std::string("Error: ") + kTransferAborted), std::string::npos);
    // ...and with --skip-missing it goes on.
    r = ctl({"write", "--port", device(), "--yes", "--no-connect", "--patterns", "--banks", "3",
             "--skip-missing", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kNothingToWrite) + "\nbank 3 pattern: not found, skipped\n");
    sim_->withModel([&](sim::SensorModel& m) { stopped = m.pcMode; });
    EXPECT_FALSE(stopped);
}

TEST_F(Zar4Ctl, ComNamesGoThroughThePortMapBesideTheProgram) {
    start();
    // A copy of the program in a folder of its own, with its port map beside it.
    std::string program = dir.path() + "/zar4ctl";
    writeFile(program, readFile(ZAR4CTL_PATH));
    ::chmod(program.c_str(), 0755);
    writeFile(dir.path() + "/zar4loader.ports", "# the sensor\nCOM3=" + device() + "\n");

    CtlResult r = CtlProcess(program, {"connect", "--port", "COM3"}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->receivedBytes(), connectBytes());
    sim_->clearLog();
    r = CtlProcess(program, {"run", "--port", "com3", "--baud", "57600"}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim_->receivedBytes(), kRunFrame);

    // A device path opens that device as itself: the map is read, never written.
    r = CtlProcess(program, {"connect", "--port", device()}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.path() + "/zar4loader.ports"), "# the sensor\nCOM3=" + device() + "\n");
}

TEST_F(Zar4Ctl, FailuresOfTheSensorAreStatusOneWithTheirText) {
    sim::SimOptions options;
    sim::Fault silentRun;
    silentRun.kind = sim::Fault::Kind::NoReply;
    silentRun.command = 0x87;
    options.faults.push_back(silentRun);
    sim::Fault nak;
    nak.kind = sim::Fault::Kind::Nak;
    nak.command = 0x43;
    nak.nth = 2;
    options.faults.push_back(nak);
    start(options);

    // A good read whose Run goes unanswered is not a success. What to check follows the
    // system's words, and a script gets the failure's code.
    auto r = ctl({"read", "--port", device(), "--parameters", "--banks", "0", "--json", base()});
    EXPECT_EQ(r.status, 1);
    const std::string advice =
        device() + " at 57600 bit/s: no reply to Run. The sensor hears Run only in PC "
                   "communication mode: it may be in run mode already, or be off or unplugged.";
    EXPECT_EQ(r.err, std::string(kReadCompleted) + "\nError: No communication response.\n" +
                         advice + "\n");
    auto errors = ofType(jsonLines(r.out), "error");
    ASSERT_EQ(errors.size(), 1u) << r.out;
    EXPECT_EQ(errors[0].str("code"), "no-response");
    EXPECT_EQ(errors[0].str("text"), "No communication response.");
    EXPECT_EQ(errors[0].str("reason"), advice);

    // The second mode request is refused: nothing after it.
    sim_->clearLog();
    r = ctl({"read", "--port", device(), "--overwrite", base()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: ZAR4 recieved an invalid communication data.\n");
    EXPECT_EQ(sim_->receivedBytes(), kModeRequest);

    r = ctl({"connect", "--port", dir.path() + "/no-such-device"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Error: ") + kFailedToOpenPort + "\n" + dir.path() +
                         "/no-such-device: no such device\n");
}

// The sensor set to 57600 bit/s, the line to 9600: the answer comes garbled, and the message
// says that the rate is the likely cause, in the rate list's words.
TEST_F(Zar4Ctl, AGarbledAnswerAtTheWrongRateNamesTheRate) {
    start();
    auto r = ctl({"connect", "--port", device(), "--baud", "9600", "--json"});
    EXPECT_EQ(r.status, 1);
    const std::string advice =
        device() + " at 9600 bit/s: a garbled answer to the mode request. Most likely the rate "
                   "differs from the sensor's COMMUNIC setting (9600 bit/s needs COMMUNIC 2, "
                   "\"9600 (2)\" in the rate list); or another program holds the line.";
    EXPECT_EQ(r.err, "Error: Recieved an invalid communication response.\n" + advice + "\n");
    auto errors = ofType(jsonLines(r.out), "error");
    ASSERT_EQ(errors.size(), 1u) << r.out;
    EXPECT_EQ(errors[0].str("code"), "bad-reply");
    EXPECT_EQ(errors[0].str("reason"), advice);
    EXPECT_EQ(errors[0]["file"].kind, Json::Kind::Null);
}

TEST_F(Zar4Ctl, CtrlCActsAsCancelAndTheSensorStillGoesBackToRun) {
    sim::SimOptions options;
    options.slowByteDelayUs = 100; // about 26 ms a block, time enough to press Ctrl-C
    start(options);
    std::string pattern = patternFileName(base(), 4);
    writeFile(pattern, "the last good backup");

    CtlProcess process(ZAR4CTL_PATH, {"read", "--port", device(), "--patterns", "--banks", "4",
                                      "--overwrite", base()});
    // Wait for the pattern blocks to flow.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        Bytes log = sim_->receivedBytes();
        if (std::count(log.begin(), log.end(), std::uint8_t{0x83}) >= 5)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    process.interrupt();
    CtlResult r = process.wait();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, std::string(kAborted) + "\n");
    Bytes log = sim_->receivedBytes();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Bytes(log.end() - 2, log.end()), kRunFrame);
    EXPECT_LT(std::count(log.begin(), log.end(), std::uint8_t{0x83}), 100);
    EXPECT_EQ(readFile(pattern), "the last good backup");
}

// zar4ctl with standard output and standard error on a terminal of `columns` columns: what
// the terminal received, and the exit status.
std::pair<std::string, int> ctlOnTerminal(const std::vector<std::string>& args,
                                          unsigned short columns) {
    PtyPeer terminal;
    EXPECT_TRUE(terminal.ok());
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    ::ioctl(terminal.deviceFd(), TIOCSWINSZ, &size);
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(terminal.devicePath().c_str(), O_RDWR);
        int none = ::open("/dev/null", O_RDONLY);
        ::dup2(none, 0);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(ZAR4CTL_PATH)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ZAR4CTL_PATH, argv.data());
        ::_exit(127);
    }
    std::string shown;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        Bytes got = terminal.read(1 << 16, 50);
        shown.append(got.begin(), got.end());
    }
    Bytes rest = terminal.read(1 << 16, 100);
    shown.append(rest.begin(), rest.end());
    return {shown, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A full read on a terminal of 80 and of 40 columns: each picture of the bar is redrawn in
// place within the width, so the terminal never wraps one onto a new line.
TEST_F(Zar4Ctl, TheProgressLineFitsTheTerminalAndNeverWraps) {
    start();
    for (unsigned short columns : {80, 40}) {
        auto [shown, status] = ctlOnTerminal(
            {"read", "--port", device(), "--banks", "all", base() + std::to_string(columns)},
            columns);
        EXPECT_EQ(status, 0) << shown;
        std::size_t pictures = 0, longest = 0, start = 0;
        for (std::size_t i = 0; i <= shown.size(); ++i) {
            if (i < shown.size() && shown[i] != '\r' && shown[i] != '\n')
                continue;
            longest = std::max(longest, i - start);
            pictures += i < shown.size() && shown[i] == '\r';
            start = i + 1;
        }
        EXPECT_LT(longest, columns) << shown;
        EXPECT_GE(pictures, 3u) << shown;
        // The bar's last picture and the outcome: two lines in all.
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << shown;
        EXPECT_NE(shown.find(std::string(kReadCompleted) + "\n"), std::string::npos);
    }
}

// write --verify on a terminal: one bar over the write and the read-back, whose total stays
// the same and whose bytes never start again from nothing.
TEST_F(Zar4Ctl, AWriteAndItsReadBackShowOneBar) {
    start();
    ASSERT_EQ(ctl({"read", "--port", device(), "--banks", "2-3", base()}).status, 0);
    auto [shown, status] = ctlOnTerminal(
        {"write", "--port", device(), "--banks", "2-3", "--yes", "--verify", base()}, 100);
    EXPECT_EQ(status, 0) << shown;
    std::set<double> totals;
    double before = -1;
    for (std::size_t at = shown.find("] "); at != std::string::npos;
         at = shown.find("] ", at + 1)) {
        double done = 0, total = 0;
        ASSERT_EQ(std::sscanf(shown.c_str() + at + 2, "%lf/%lf kB", &done, &total), 2) << shown;
        EXPECT_GE(done, before) << shown;
        before = done;
        totals.insert(total);
    }
    EXPECT_EQ(totals.size(), 1u) << shown;
    EXPECT_GT(before, 0);
    EXPECT_NE(shown.find(std::string(kWriteCompleted) + "\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("The sensor holds what the files hold.\n"), std::string::npos) << shown;
}

// --progress=plain: a line per item done, nothing redrawn; ZAR4_PORT gives the port.
TEST_F(Zar4Ctl, PlainProgressForLogsAndThePortFromTheEnvironment) {
    start();
    ScopedEnv port("ZAR4_PORT", device().c_str());
    auto r = ctl({"read", "--banks", "13-14", "--progress=plain", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kReadCompleted) + "\n");
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    std::vector<std::string> lines;
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        lines.push_back(line);
    const std::vector<std::string> items = {"bank 13 parameters: " + parameterFileName(base(), 13),
                                            "bank 14 parameters: " + parameterFileName(base(), 14),
                                            "common parameters: " + parameterFileName(base(), 15),
                                            "bank 13 pattern: " + patternFileName(base(), 13),
                                            "bank 14 pattern: " + patternFileName(base(), 14)};
    ASSERT_EQ(lines.size(), items.size()) << r.err;
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(lines[i].substr(lines[i].find("] ") + 2), items[i]);
    EXPECT_EQ(lines.back().rfind("[100% ", 0), 0u) << lines.back();

    EXPECT_NE(ctl({"--help"}).out.find("ZAR4_PORT=" + device()), std::string::npos);
}

TEST_F(Zar4Ctl, UsageErrorsAreStatusTwoAndNeverReachTheSensor) {
    start();
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"erase", "--port", device()},
        {"read", "--port", device()},                            // no BASE
        {"read", base()},                                        // no port
        {"read", "--port", device(), "--baud", "1200", base()},  // not a sensor rate
        {"read", "--port", device(), "--banks", "3-15", base()}, // no bank 15
        {"read", "--port", device(), "--banks", "x", base()},    //
        {"read", "--port", device(), "--overwrite", "--no-overwrite", base()},
        {"read", "--port", device(), "--yes", base()},                 // a write option
        {"write", "--port", device(), "--overwrite", "--yes", base()}, // a read option
        {"connect", "--port", device(), base()},                       // connect takes no BASE
        {"run", "--port", "COM0"},
        {"run", "--port", "ttyS0"},
        {"read", "--port", device(), "--yes", base(), "other"},
        {"read", "--port", device(), dir.path() + "/" + std::string(240, 'x')}, // name too long
    };
    for (const auto& args : wrong) {
        auto r = ctl(args);
        std::string line;
        for (const auto& a : args)
            line += a + " ";
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_FALSE(r.err.empty()) << line;
        EXPECT_EQ(r.out, "") << line;
    }
    EXPECT_TRUE(sim_->receivedBytes().empty());

    auto r = ctl({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: zar4ctl COMMAND"), std::string::npos);
    r = ctl({"write", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--abort-on-missing"), std::string::npos);
}

} // namespace
} // namespace zar4::test
