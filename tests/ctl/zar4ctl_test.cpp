// zar4ctl as the operator's shell runs it: a child process against the simulated sensor.

#include "ctl/ctl_sensor_fixture.h"

#include <algorithm>
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

    // A good read whose Run goes unanswered is not a success.
    auto r = ctl({"read", "--port", device(), "--parameters", "--banks", "0", base()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string(kReadCompleted) + "\n");
    EXPECT_EQ(r.err, "Error: No communication response.\n");

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
