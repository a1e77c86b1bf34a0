#pragma once
// Standard input, output and error as the program was started with them. A program started
// with one of them closed (`zar4ctl verify ... >&-`) would hand that number to the next file it
// opens: the serial port could become standard output, and the program's own messages would
// reach the sensor as commands. So every program first puts the null device where one of the
// three is missing, before it opens anything.

namespace zar4 {

// Opens the null device on each of standard input, output and error that is not open. The
// first call of every program's main().
void keepStandardStreamsOpen();

} // namespace zar4
