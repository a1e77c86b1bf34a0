// zar4sim: a simulated ZAR4 on a pseudo-terminal, for trying the loader without a sensor.
#include "sim/sim_options.h"
#include "sim/sim_server.h"

#include "common/standard_streams.h"
#include "common/version.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv) {
    zar4::keepStandardStreamsOpen(); // no pseudo-terminal may take a closed stream's place
    using namespace zar4::sim;
    SimOptions options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (parseSimArguments(args, options, error)) {
    case ParseOutcome::Help:
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    case ParseOutcome::Version:
        std::printf("zar4sim %s\n", zar4::kProjectVersion);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "zar4sim: %s\nTry 'zar4sim --help'.\n", error.c_str());
        return 2;
    case ParseOutcome::Run:
        break;
    }
    options.keepReceivedBytes = false;

    // The signals that end the program are taken by sigwait below; the server's thread inherits the
    // blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP); // the terminal closed: still remove the link
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SimServer server(options);
    if (!server.start())
        return 1;
    std::printf("%s\n", server.devicePath().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    return 0;
}
