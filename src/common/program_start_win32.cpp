#include "common/program_start.h"

#include <cstdlib>
#include <windows.h>
// <shellapi.h> after <windows.h>, which it needs.
#include <shellapi.h>

namespace zar4 {

namespace {

std::string utf8FromUtf16(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back(); // the terminating zero
    return out;
}

UINT consoleCodePageAtStart = 0;

void restoreConsoleCodePage() {
    if (consoleCodePageAtStart != 0)
        ::SetConsoleOutputCP(consoleCodePageAtStart);
}

} // namespace

std::vector<std::string> programArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) // out of memory: the narrow arguments are better than none
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                        : std::vector<std::string>();
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(utf8FromUtf16(wide[i]));
    ::LocalFree(wide);
    return args;
}

void showUtf8OnConsole() {
    // GetConsoleOutputCP is 0 when the program has no console at all.
    const UINT current = ::GetConsoleOutputCP();
    if (current == 0 || current == CP_UTF8)
        return;
    if (::SetConsoleOutputCP(CP_UTF8)) {
        consoleCodePageAtStart = current;
        // The console outlives the program (it is the operator's command prompt): give it its
        // code page back at every normal end.
        std::atexit(restoreConsoleCodePage);
    }
}

} // namespace zar4
