// zar4ctl refuses a base name that leaves the files no name of their own before it touches
// the sensor, with the rule and the words of the desktop program.

#include "ctl/ctl_sensor_fixture.h"
#include "params/parameter_file.h"

#include <filesystem>

namespace zar4::test {
namespace {

TEST_F(CtlSensorTest, ANameWithoutAFileNameIsAUsageErrorAndNothingIsSent) {
    start();
    for (const std::string& name : {std::string("   "), dir.path() + "/", dir.path() + "/.."}) {
        SCOPED_TRACE(name);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"read", "--port", device(), name},
              std::vector<std::string>{"write", "--yes", "--port", device(), name},
              std::vector<std::string>{"verify", "--port", device(), name}}) {
            auto r = ctl(args);
            EXPECT_EQ(r.err, "Error: Failed to create the file.\n" + baseNameProblem(name) + "\n")
                << args[0];
            EXPECT_EQ(r.status, 2) << args[0];
        }
    }
    EXPECT_TRUE(sim_->receivedBytes().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

} // namespace
} // namespace zar4::test
