#include "common/program_start.h"

namespace zar4 {

std::vector<std::string> programArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void showUtf8OnConsole() {}

} // namespace zar4
