#pragma once
// The command line of zar4ctl: what the operator asked for, checked before anything touches
// the port.

#include <string>
#include <vector>

namespace zar4::ctl {

enum class CtlCommand { None, Connect, Run, Read, Write, Verify, Diff, Show, Ports };

// How a question is answered: from the operator at a terminal, or fixed by an option.
enum class Answer { Ask, Yes, No };

struct CtlOptions {
    CtlCommand command = CtlCommand::None;
    bool help = false;
    bool version = false;
    bool json = false;   // JSON Lines events on standard output
    bool verify = false; // write: verify what was written before Run
    std::string pngDir;  // diff: pictures of the patterns that differ
    std::string port;
    int baudIndex = 4; // 57600
    int firstBank = 0;
    int lastBank = 14;
    bool parameters = false; // with neither given, both are transferred
    bool patterns = false;
    Answer overwrite = Answer::Ask;      // "Found same filename. Do you overwrite?"
    Answer abortOnMissing = Answer::Ask; // "... Do you abort remaining file(s)?"
    bool yes = false;                    // "Agree to overwrite ZAR4 settings?"
    bool noConnect = false;
    bool keepStopped = false;
    std::string base;
    std::string base2;     // diff: the second backup
    bool allPorts = false; // ports --all: pseudo-terminals too
    bool mapLines = false; // ports --map
};

// True for the commands that talk to the sensor (and so need --port).
bool usesPort(CtlCommand command);

struct ParseResult {
    bool ok = false;
    CtlOptions options;
    std::string error; // why the command line was refused
};

// `args` are the words after the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

// The list position of a rate in bit/s (4800 ... 57600), or -1.
int baudIndexForRate(const std::string& rate);

// The help text of the program (CtlCommand::None) or of one command.
std::string usageText(CtlCommand command);
// The JSON Lines contract of --json: every "type" with its fields, as the help lists it.
std::string jsonContractText();

const char* commandName(CtlCommand command);

} // namespace zar4::ctl
