#include "common/stop_signals.h"

#include <windows.h>

namespace zar4 {

std::atomic<int> stopSignalled{0};

namespace {

std::atomic<int> interruptsSeen{0};

// Runs on a thread of its own that the system starts for each console event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // A second Ctrl-C goes on to the system's handler, which ends the program.
        if (interruptsSeen.fetch_add(1) > 0)
            return FALSE;
        stopSignalled.store(1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process as soon as this returns: hold it back so the program
        // can stop cleanly. Ending the program ends this thread too; the system waits some
        // seconds at most.
        stopSignalled.store(1);
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void catchStopSignals() {
    // A program without a console gets none of these events; that is no failure.
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void releaseStopSignals() {
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    interruptsSeen.store(0);
    stopSignalled.store(0);
}

} // namespace zar4
