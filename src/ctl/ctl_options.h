#pragma once
// The command line of zar4ctl: what the operator asked for, checked before anything touches
// the port. One table of commands and one of options (ctl_options.cpp) drive the parsing, the
// check of which command takes which option, the help texts and the shell completion.

#include <string>
#include <vector>

namespace zar4::ctl {

enum class CtlCommand { None, Connect, Run, Read, Write, Verify, Diff, Show, Check, Ports };

// How a question is answered: from the operator at a terminal, or fixed by an option.
enum class Answer { Ask, Yes, No };

// How a transfer shows its progress on standard error: a bar redrawn in place when standard
// error is a terminal (nothing otherwise), one line per item done (for logs), or nothing.
enum class ProgressMode { Auto, Plain, None };

struct CtlOptions {
    CtlCommand command = CtlCommand::None;
    bool help = false;
    bool helpJson = false; // zar4ctl help json: the --json events
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
    ProgressMode progress = ProgressMode::Auto;
    bool resume = false; // read: go on with a backup that an earlier read left unfinished
    std::string base;
    std::string base2;      // diff: the second backup
    bool allPorts = false;  // ports --all: pseudo-terminals too
    bool mapLines = false;  // ports --map
    bool portNames = false; // ports --names: COM names and device paths, for completion
};

// The values of ZAR4_PORT and ZAR4_BAUD ("" when unset): the port and rate a command takes
// when --port or --baud is not given.
struct CtlDefaults {
    std::string port;
    std::string baud;
};

// True for the commands that talk to the sensor (and so need --port).
bool usesPort(CtlCommand command);

struct ParseResult {
    bool ok = false;
    CtlOptions options;
    std::string error; // why the command line was refused
};

// `args` are the words after the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args,
                             const CtlDefaults& defaults = {});

// Why a command line that parsed cannot run yet: a command or option of the table whose work
// is not built in this program. Empty when it can run.
std::string notYetBuilt(const CtlOptions& options);

// The list position of a rate in bit/s (4800 ... 57600), or -1.
int baudIndexForRate(const std::string& rate);

// The help text of the program (CtlCommand::None) or of one command, with two or three
// examples; the defaults are shown as the environment gives them now.
std::string usageText(CtlCommand command, const CtlDefaults& defaults = {});
// The JSON Lines contract of --json: every "type" with its fields (zar4ctl help json).
std::string jsonContractText();

const char* commandName(CtlCommand command);
// The command a word names (CtlCommand::None for none), as the operator types it.
CtlCommand commandNamed(const std::string& word);

} // namespace zar4::ctl
