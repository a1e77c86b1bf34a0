#include "ctl/console.h"

#include <windows.h>

namespace zar4::ctl {

namespace {

HANDLE handleOf(ConsoleStream stream) {
    const DWORD which = stream == ConsoleStream::In    ? STD_INPUT_HANDLE
                        : stream == ConsoleStream::Out ? STD_OUTPUT_HANDLE
                                                       : STD_ERROR_HANDLE;
    return ::GetStdHandle(which);
}

} // namespace

int terminalColumns(ConsoleStream stream) {
    // The visible window, not the screen buffer, which is often far wider than the window.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(handleOf(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool isTerminal(ConsoleStream stream) {
    HANDLE h = handleOf(stream);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return false;
    // A character device is not yet a console (the NUL device is one too): only a console
    // has a console mode.
    DWORD mode = 0;
    return ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode) != 0;
}

} // namespace zar4::ctl
