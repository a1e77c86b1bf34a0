#pragma once
// A folder of the test's own to put port maps in.

#include "link/port_map.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace zar4::test {

class PortMapFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.empty()); }
    void writeMap(const std::string& text) {
        std::ofstream(folder + "/zar4loader.ports", std::ios::binary) << text;
    }

    TempFolder temp{"zar4-portmap"};
    std::string folder = temp.path();
};

} // namespace zar4::test
