// How zar4ctl stops: signals and a file size limit mid-read (the real program against the
// simulated sensor), and Ctrl-C at a question.

#include "ctl/console.h"
#include "ctl/ctl.h"
#include "ctl/ctl_process.h"
#include "transfer/transfer_fixture.h"

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <sys/resource.h>
#include <thread>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class CtlStop : public ::testing::Test {
protected:
    // `slow`: about 26 ms a block, time to stop a read part-way.
    void start(bool slow) {
        sim::SimOptions options;
        options.slowByteDelayUs = slow ? 100 : 0;
        sim_ = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sim_->start());
    }
    void TearDown() override {
        if (sim_)
            sim_->stop();
    }

    std::string base() const { return dir.path() + "/line1"; }
    std::vector<std::string> readPattern4() const {
        return {"read",    "--port", sim_->devicePath(), "--patterns",
                "--banks", "4",      "--overwrite",      base()};
    }
    // Waits until some pattern blocks went over the line.
    void waitForBlocks() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            Bytes log = sim_->receivedBytes();
            if (std::count(log.begin(), log.end(), std::uint8_t{0x83}) >= 5)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "no pattern block was asked for";
    }
    // The sensor got Run last and is back in run mode.
    void expectBackInRun() {
        Bytes log = sim_->receivedBytes();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(Bytes(log.end() - 2, log.end()), kRunFrame);
        bool pcMode = true;
        sim_->withModel([&](sim::SensorModel& m) { pcMode = m.pcMode; });
        EXPECT_FALSE(pcMode);
    }

    TempDir dir;
    std::unique_ptr<sim::SimServer> sim_;
};

// SIGTERM (a shutdown, kill) and SIGHUP (the terminal went away) stop a read as Ctrl-C does.
TEST_F(CtlStop, TermAndHangUpActAsCtrlC) {
    start(true);
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        sim_->clearLog();
        std::string pattern = patternFileName(base(), 4);
        writeFile(pattern, "the last good backup");
        CtlProcess process(ZAR4CTL_PATH, readPattern4());
        waitForBlocks();
        ::kill(process.pid(), signal);
        CtlResult r = process.wait();
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_EQ(r.out, std::string(kAborted) + "\n");
        expectBackInRun();
        EXPECT_EQ(readFile(pattern), "the last good backup");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"line1.pt4.bmp"}); // no temporary file
    }
}

// Beyond a file size limit the read fails as any failed write does; it does not end the
// program half-way with its temporary file left.
TEST_F(CtlStop, AFileSizeLimitIsAFailedWrite) {
    start(false);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = 100000; // less than a pattern file
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    CtlProcess process(ZAR4CTL_PATH, readPattern4()); // the limit goes with the child
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    CtlResult r = process.wait();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(std::string("Error: ") + kFailedToCreateFile), std::string::npos) << r.err;
    expectBackInRun();
    EXPECT_TRUE(dir.entries().empty());
}

// A pipe whose reader has already ended (zar4ctl ... | true) does not end the program before
// the sensor is back in run.
TEST_F(CtlStop, OutputNobodyReadsStillSendsRun) {
    start(false);
    std::string command = std::string(ZAR4CTL_PATH) + " read --port " + sim_->devicePath() +
                          " --parameters --banks 0 " + base() + " | true";
    CtlResult r = CtlProcess("/bin/sh", {"-c", command}).wait();
    EXPECT_EQ(r.status, 0) << r.err;
    expectBackInRun();
    EXPECT_TRUE(exists(parameterFileName(base(), 0)));
}

// Standard input that reads as Ctrl-C pressed while the operator was being asked.
class InterruptedInput : public std::streambuf {
protected:
    int_type underflow() override {
        stopSignalled = 1;
        return traits_type::eof();
    }
};

// Ctrl-C at the overwrite question is CANCEL, not the No that a refusal is: "Aborted." once,
// status 3, nothing overwritten and the sensor back in run.
TEST_F(CtlStop, CtrlCAtAQuestionIsAborted) {
    start(false);
    std::string file = parameterFileName(base(), 2);
    writeFile(file, "kept");
    InterruptedInput buffer;
    std::istream in(&buffer);
    std::ostringstream out, err;
    ctl::CtlEnvironment env{in, out, err, true, true, "/nonexistent"};
    int status = ctl::runCtl(
        {"read", "--port", sim_->devicePath(), "--parameters", "--banks", "2", base()}, env);
    EXPECT_EQ(status, ctl::kExitStopped);
    EXPECT_EQ(out.str(), std::string(kAborted) + "\n");
    EXPECT_NE(err.str().find(std::string(kOverwriteFile) + " [y/N] \n"), std::string::npos)
        << err.str();
    EXPECT_EQ(err.str().find(kAborted), std::string::npos) << err.str(); // told once
    EXPECT_EQ(readFile(file), "kept");
    expectBackInRun();
    EXPECT_EQ(stopSignalled, 0);
}

} // namespace
} // namespace zar4::test
