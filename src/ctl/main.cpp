// zar4ctl: connect, read, write and return to run from a shell, with the loader's engine.

#include "common/program_paths.h"
#include "common/program_start.h"
#include "common/standard_streams.h"
#include "common/stop_signals.h"
#include "ctl/console.h"
#include "ctl/ctl.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    zar4::keepStandardStreamsOpen(); // no port or file may take a closed stream's place
    // Ctrl-C, SIGTERM and SIGHUP are CANCEL: the transfer stops at its next stop point, its
    // temporary file is removed and the sensor is sent back to run. A second one ends the
    // program at once. A file size limit is a failed write like any other.
    zar4::catchStopSignals();

    // Names of folders and files in any script (日本語フォルダ\b, é\b) arrive as UTF-8, the
    // form every file call of the program takes, and are shown as such on the console.
    std::vector<std::string> args = zar4::programArguments(argc, argv);
    zar4::showUtf8OnConsole();
    zar4::ctl::CtlEnvironment env{std::cin, std::cout, std::cerr, false, false, {}};
    env.inIsTerminal = zar4::ctl::isTerminal(zar4::ctl::ConsoleStream::In);
    env.errIsTerminal = zar4::ctl::isTerminal(zar4::ctl::ConsoleStream::Err);
    // A terminal that does not tell its width (a serial console, some CI runners) is taken
    // as the classic 80 columns.
    env.errColumns = [] {
        const int columns = zar4::ctl::terminalColumns(zar4::ctl::ConsoleStream::Err);
        return columns > 0 ? columns : 80;
    };
    // The port map beside the program comes first: where the system cannot name the program
    // file, the path it was started by stands in.
    std::string program = zar4::runningProgramPath();
    if (program.empty() && argc > 0 && argv[0])
        program = argv[0];
    env.programDir = zar4::folderOf(program);
    for (auto [name, value] :
         {std::pair{"ZAR4_PORT", &env.portVariable}, std::pair{"ZAR4_BAUD", &env.baudVariable}})
        if (const char* set = std::getenv(name))
            *value = set;
    int status = zar4::ctl::runCtl(args, env);
    std::cout.flush();
    return status;
}
