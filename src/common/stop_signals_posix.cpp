#include "common/stop_signals.h"

#include <csignal>

namespace zar4 {

std::atomic<int> stopSignalled{0};

static_assert(std::atomic<int>::is_always_lock_free, "the flag is set from a signal handler");

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onStopSignal(int) {
    stopSignalled.store(1);
}

} // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No restart: a question waiting for the operator's answer gives up at once. The handler
    // is reset after the first signal, so a second one ends the program.
    action.sa_flags = SA_RESETHAND;
    for (int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
    // Writing beyond a file size limit then fails with EFBIG, which the writer reports.
    std::signal(SIGXFSZ, SIG_IGN);
    // Output that nobody reads any more (a pipe whose reader has ended) fails quietly instead
    // of ending the program before it has sent the sensor back to run.
    std::signal(SIGPIPE, SIG_IGN);
}

void releaseStopSignals() {
    for (int signal : kStopSignals)
        std::signal(signal, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    stopSignalled.store(0);
}

} // namespace zar4
