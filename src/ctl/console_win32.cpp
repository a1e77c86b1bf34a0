#include "ctl/console.h"

#include <windows.h>

namespace zar4::ctl {

bool isTerminal(ConsoleStream stream) {
    const DWORD which = stream == ConsoleStream::In    ? STD_INPUT_HANDLE
                        : stream == ConsoleStream::Out ? STD_OUTPUT_HANDLE
                                                       : STD_ERROR_HANDLE;
    HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return false;
    // A character device is not yet a console (the NUL device is one too): only a console
    // has a console mode.
    DWORD mode = 0;
    return ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode) != 0;
}

} // namespace zar4::ctl
