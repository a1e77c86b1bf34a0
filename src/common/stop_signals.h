#pragma once
// Requests from outside to stop the program: Ctrl-C, SIGTERM (a shutdown, `kill`) and SIGHUP
// (the terminal went away); on Windows Ctrl-C, Ctrl-Break and closing the console window.
// Each only raises a flag: the program stops at its next safe point as CANCEL stops a
// transfer, so no temporary file is left behind and the sensor is not left half-written.

#include <atomic>

namespace zar4 {

// Raised by a stop request; the program lowers it once it has acted on it. Set from a signal
// handler (or, on Windows, from the system's handler thread), hence atomic and lock-free.
extern std::atomic<int> stopSignalled;

// From now on the requests above raise stopSignalled instead of ending the program; a second
// request of the same kind ends it at once (for an operator whose stop is not seen). A file
// size limit becomes a failed write, reported as such, and output to a reader that has gone
// fails quietly: neither ends the program.
void catchStopSignals();
// Back to the system's own handling of those requests; the flag is lowered.
void releaseStopSignals();

} // namespace zar4
