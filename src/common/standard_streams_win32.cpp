#include "common/standard_streams.h"

namespace zar4 {

// Nothing to do on Windows: the serial port and every file are handles of their own, never
// numbered in the standard streams' place, and the C library keeps its numbers 0 to 2 for the
// standard streams even when the program was started without them (a desktop program without
// a console); writing to such a stream fails quietly and reaches no file.
void keepStandardStreamsOpen() {}

} // namespace zar4
