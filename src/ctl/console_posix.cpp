#include "ctl/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace zar4::ctl {

namespace {

int descriptorOf(ConsoleStream stream) {
    return stream == ConsoleStream::In    ? STDIN_FILENO
           : stream == ConsoleStream::Out ? STDOUT_FILENO
                                          : STDERR_FILENO;
}

} // namespace

bool isTerminal(ConsoleStream stream) {
    return ::isatty(descriptorOf(stream)) == 1;
}

int terminalColumns(ConsoleStream stream) {
    winsize size{};
    if (::ioctl(descriptorOf(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

} // namespace zar4::ctl
