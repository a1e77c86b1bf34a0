// zar4ctl: connect, read, write and return to run from a shell, with the loader's engine.

#include "ctl/console.h"
#include "ctl/ctl.h"

#include <csignal>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The first Ctrl-C is CANCEL: the transfer stops at its next stop point and the sensor is
// sent back to run. A second one ends the program at once.
void onInterrupt(int) {
    zar4::ctl::interruptRequested = 1;
}

std::string programDir(const char* argv0) {
    std::string path;
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0)
        path.assign(buffer, static_cast<std::size_t>(n));
    else if (argv0)
        path = argv0;
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No restart: a question waiting for input gives up at Ctrl-C. The handler is reset after
    // the first one, so a second Ctrl-C ends the program at once.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);

    std::vector<std::string> args(argv + 1, argv + argc);
    zar4::ctl::CtlEnvironment env{std::cin, std::cout, std::cerr, false, false, {}};
    env.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    env.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    env.programDir = programDir(argc > 0 ? argv[0] : nullptr);
    int status = zar4::ctl::runCtl(args, env);
    std::cout.flush();
    return status;
}
