#pragma once
// What a command-line program takes from the system as it starts: its arguments as UTF-8, and
// a console that shows UTF-8 text.

#include <string>
#include <vector>

namespace zar4 {

// The program's arguments after its own name, as UTF-8 whatever the system's code page: on
// Windows they come from the wide command line (GetCommandLineW), since the narrow `argv`
// arrives in the ANSI code page where a name such as 日本語フォルダ\b has no place. Elsewhere
// `argv` is taken as it is.
std::vector<std::string> programArguments(int argc, char** argv);

// Text the program writes to a console is UTF-8: on Windows the console's output code page is
// set to UTF-8 while the program runs and put back when it ends. Nothing to do elsewhere, and
// nothing when the output goes to a file or a pipe (which get the UTF-8 bytes as they are).
void showUtf8OnConsole();

} // namespace zar4
