#pragma once
// zar4ctl as a function: the command line's whole behaviour over given streams, so that the
// program's main() only gathers its surroundings and the tests can run it in-process too.

#include "link/serial_link.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace zar4::ctl {

enum ExitStatus {
    kExitCompleted = 0, // also "No target data..."
    kExitFailed = 1,
    kExitUsage = 2,     // usage or port-setting error
    kExitStopped = 3,   // refused by the operator, or Ctrl-C
    kExitDifferent = 4, // verify, write --verify, diff: something compared differs
};

struct CtlEnvironment {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
    // The folder of the running program: the port map zar4loader.ports there comes first.
    std::string programDir;
    // ZAR4_PORT and ZAR4_BAUD ("" when unset): the port and rate when no option gives them.
    std::string portVariable{};
    std::string baudVariable{};
    // The width of the terminal standard error shows on, asked at each redraw (none: unknown).
    std::function<int()> errColumns{};
};

int runCtl(const std::vector<std::string>& args, CtlEnvironment& env);

// The exit status when the link could not be opened or the sensor not stopped: a rate the
// port refuses is a port-setting error (status 2), anything else a failure (status 1).
int linkFailureStatus(const LinkFailure& failure);

// The port a --port value names: COM n (1-256) through `map`, or a device path, opened as
// itself. Nothing (with the reason in `why`) when the value is neither.
std::optional<PortAddress> resolvePort(const std::string& port, const PortMap& map,
                                       std::string& why);

} // namespace zar4::ctl
