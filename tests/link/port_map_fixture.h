#pragma once
// A folder of the test's own to put port maps in; the program-wide map is cleared afterwards,
// so that no test leaves its ports to the next.

#include "link/port_map.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace zar4::test {

class PortMapFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.empty()); }
    void TearDown() override { clearPortMap(); }
    void writeMap(const std::string& text) {
        std::ofstream(folder + "/zar4loader.ports", std::ios::binary) << text;
    }

    TempFolder temp{"zar4-portmap"};
    std::string folder = temp.path();
};

} // namespace zar4::test
