#pragma once
// The zar4sim command line: turns the arguments into the options of one run.

#include "sim/sim_server.h"

#include <string>
#include <vector>

namespace zar4::sim {

enum class ParseOutcome { Run, Help, Version, Error };

// `args` without the program name. On Error, `error` says what was wrong.
ParseOutcome parseSimArguments(const std::vector<std::string>& args, SimOptions& options,
                               std::string& error);

// The --help text.
std::string simUsage();

} // namespace zar4::sim
