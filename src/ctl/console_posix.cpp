#include "ctl/console.h"

#include <unistd.h>

namespace zar4::ctl {

bool isTerminal(ConsoleStream stream) {
    const int fd = stream == ConsoleStream::In    ? STDIN_FILENO
                   : stream == ConsoleStream::Out ? STDOUT_FILENO
                                                  : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

} // namespace zar4::ctl
