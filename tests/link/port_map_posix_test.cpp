// What only Linux can put where a port map is looked for: a pipe. Checked with an oversized
// map in the same test, as both are refused before anything is read.

#include "link/port_map.h"
#include "link/port_map_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace zar4::test {
namespace {

using PortMapPosixTest = PortMapFixture;

// A pipe named like the map is refused without waiting on it, a map over 64 KiB without
// reading it.
TEST_F(PortMapPosixTest, APipeOrAMapOver64KiBIsRefusedAtOnce) {
    const std::string pipe = folder + "/pipe.ports";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    EXPECT_FALSE(PortMap::load(pipe));
    ::unlink(pipe.c_str());
    writeMap("COM2=/dev/ttyUSB0\n");
    ASSERT_EQ(::truncate((folder + "/zar4loader.ports").c_str(), 64 * 1024 + 1), 0);
    EXPECT_FALSE(PortMap::load(folder + "/zar4loader.ports"));
}

} // namespace
} // namespace zar4::test
