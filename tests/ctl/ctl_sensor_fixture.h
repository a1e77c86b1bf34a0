#pragma once
// zar4ctl run as a child process against a simulated sensor of the test's own, with a
// temporary folder for the backup files.

#include "ctl/ctl_process.h"
#include "transfer/transfer_fixture.h"

#include <memory>
#include <string>
#include <vector>

namespace zar4::test {

class CtlSensorTest : public ::testing::Test {
protected:
    void start(sim::SimOptions options = {}) {
        sim_ = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sim_->start());
    }
    void TearDown() override {
        if (sim_)
            sim_->stop();
    }
    CtlResult ctl(std::vector<std::string> args, const std::string& input = "") {
        return CtlProcess(ZAR4CTL_PATH, args, input).wait();
    }
    std::string device() const { return sim_->devicePath(); }
    std::string base() const { return dir.path() + "/line1"; }

    TempDir dir;
    std::unique_ptr<sim::SimServer> sim_;
};

} // namespace zar4::test
