#include "ctl/ctl_options.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace zar4::ctl {

namespace {

const char* const kRates[] = {"4800", "9600", "19200", "38400", "57600"};

constexpr unsigned bit(CtlCommand c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kSensor = bit(CtlCommand::Connect) | bit(CtlCommand::Run) |
                             bit(CtlCommand::Read) | bit(CtlCommand::Write) |
                             bit(CtlCommand::Verify);
constexpr unsigned kTransfer =
    bit(CtlCommand::Read) | bit(CtlCommand::Write) | bit(CtlCommand::Verify);
constexpr unsigned kChoice = kTransfer | bit(CtlCommand::Diff) | bit(CtlCommand::Show);
constexpr unsigned kEvery = kSensor | bit(CtlCommand::Diff) | bit(CtlCommand::Show) |
                            bit(CtlCommand::Check) | bit(CtlCommand::Ports);

// One command of zar4ctl. `built` is false for a command whose work is not in this program
// yet: it is parsed so that its options are checked, refused before it runs, and left out of
// the help and the completion.
struct CommandRow {
    CtlCommand command;
    const char* name;
    const char* summary;     // its line in the list of commands
    const char* operands;    // "BASE", "BASE1 BASE2" or ""
    int bases;               // how many backups it names
    const char* description; // one paragraph, wrapped when shown
    const char* examples;    // one command line a line
    bool built;
};

const CommandRow kCommands[] = {
    {CtlCommand::Connect, "connect", "stop the sensor (PC communication mode)", "", 0,
     "Stops the sensor and puts it into PC communication mode, then closes the port.",
     "zar4ctl connect --port COM3\n"
     "ZAR4_PORT=/dev/ttyUSB0 zar4ctl connect --baud 19200\n",
     true},
    {CtlCommand::Run, "run", "send the sensor back to run mode", "", 0,
     "Sends the sensor back to its run mode and closes the port.",
     "zar4ctl run --port COM3\n"
     "zar4ctl run --port /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0\n",
     true},
    {CtlCommand::Read, "read", "read parameters and patterns from the sensor into files", "BASE", 1,
     "Reads the sensor's data into the files BASE.pr0.zar4 ... BASE.prE.zar4, BASE.prM.zar4 "
     "(the common parameters) and BASE.pt0.bmp ... BASE.ptE.bmp, and leaves BASE.manifest.json "
     "beside them (also after a cancel or a failure): the program, the start and end time, the "
     "port, device and rate, the banks and kinds asked for, the outcome, and each item's file "
     "with its size and SHA-256 once read. --resume completes an interrupted backup.",
     "zar4ctl read --port COM3 line1\n"
     "zar4ctl read --port COM3 --resume line1\n"
     "zar4ctl read --port COM3 --banks 3 --parameters --overwrite line1\n"
     "zar4ctl read --banks all --progress=plain line1 2>>read.log\n",
     true},
    {CtlCommand::Write, "write", "write parameter and pattern files into the sensor", "BASE", 1,
     "Writes the files of BASE into the sensor; each pattern half goes into its flash memory.",
     "zar4ctl write --port COM3 --yes --verify line1\n"
     "zar4ctl write --port COM3 --banks 0-4 --patterns --skip-missing line1\n",
     true},
    {CtlCommand::Verify, "verify", "compare the sensor with a backup", "BASE", 1,
     "Reads the chosen items from the sensor into memory (no file is written) and compares "
     "them with the files of BASE: parameters word by word, patterns pixel by pixel in the "
     "sensor's words. A missing file counts as a difference.",
     "zar4ctl verify --port COM3 line1\n"
     "zar4ctl verify --port COM3 --banks 2 --parameters --json line1\n",
     true},
    {CtlCommand::Diff, "diff", "compare two backups", "BASE1 BASE2", 2,
     "Compares two backups on disk with the report of verify (first = BASE1, second = BASE2).",
     "zar4ctl diff old/line1 new/line1\n"
     "zar4ctl diff --banks 3 --patterns --png pictures old/line1 new/line1\n",
     true},
    {CtlCommand::Show, "show", "print a backup as the editors show it", "BASE", 1,
     "Prints each present bank's and the common parameters by the names, captions and texts of "
     "the parameter editor, and each pattern's masked pixel count.",
     "zar4ctl show line1\n"
     "zar4ctl show --banks 0-2 --parameters line1\n",
     true},
    {CtlCommand::Check, "check", "check that a backup is whole and unchanged", "BASE", 1,
     "Checks the files of BASE against BASE.manifest.json, the record that the read which made "
     "them left beside them, without the sensor: status 0 when every item the read asked for was "
     "read and every file is as read (same size and SHA-256), 4 when an item was never read or a "
     "file was edited or deleted since (each listed by bank and kind with its file), 1 without a "
     "manifest or with one that cannot be read. Nothing is changed.",
     "zar4ctl check line1\n", true},
    {CtlCommand::Ports, "ports", "list the serial devices, their stable names and COM names", "", 0,
     "Lists the serial devices of this machine: the device, its stable name under "
     "/dev/serial/by-id, USB vendor:product, manufacturer, product, serial number, driver, the "
     "COM names the port maps give it, and whether you can open it now (ok, permission denied "
     "(group dialout), in use by process N (name)).",
     "zar4ctl ports\n"
     "zar4ctl ports --map >> ~/.config/zar4loader/zar4loader.ports\n"
     "zar4ctl ports --all --json\n",
     true},
};

// Applies an option's value (empty for a flag) to the options; false with the reason when
// the value is refused.
using Apply = bool (*)(CtlOptions&, const std::string& value, std::string& why);

struct OptionRow {
    const char* name;     // "--banks"
    const char* value;    // what it takes ("FIRST-LAST"), or nullptr for a flag
    unsigned commands;    // the commands that take it
    const char* help;     // one paragraph, wrapped when shown
    const char* excludes; // the option it cannot be given with, shown as [--a | --b]
    bool once;            // refused when given twice
    Apply apply;
    const char* variable = nullptr; // the environment variable that gives its default
    bool built = true;              // see CommandRow
};

bool parseBank(const std::string& text, int& bank) {
    if (text.empty() || text.size() > 2)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    bank = std::atoi(text.c_str());
    return bank >= 0 && bank <= 14;
}

bool parseBanks(const std::string& text, int& first, int& last) {
    if (text == "all") {
        first = 0;
        last = 14;
        return true;
    }
    auto dash = text.find('-');
    if (dash == std::string::npos) {
        if (!parseBank(text, first))
            return false;
        last = first;
        return true;
    }
    return parseBank(text.substr(0, dash), first) && parseBank(text.substr(dash + 1), last);
}

const char* const kBaudList = "4800, 9600, 19200, 38400 or 57600";

bool applyBaud(CtlOptions& o, const std::string& value, std::string& why) {
    o.baudIndex = baudIndexForRate(value);
    why = std::string("--baud must be ") + kBaudList + ", not '" + value + "'";
    return o.baudIndex >= 0;
}

const OptionRow kOptions[] = {
    {"--port", "PORT", kSensor,
     "COM1 to COM256 (see zar4loader.ports beside the program) or a device path", nullptr, false,
     [](CtlOptions& o, const std::string& v, std::string& why) {
         o.port = v;
         why = "--port needs a COM name or a device path";
         return !v.empty();
     },
     "ZAR4_PORT"},
    {"--baud", "RATE", kSensor,
     "4800, 9600, 19200, 38400 or 57600 (default 57600): the sensor's COMMUNIC setting, "
     "which the desktop program's rate list shows in parentheses",
     nullptr, true, applyBaud, "ZAR4_BAUD"},
    {"--banks", "FIRST-LAST", kChoice,
     "banks FIRST to LAST, one bank (3) or all (0-14, the default); a start after the end "
     "chooses no bank",
     nullptr, true,
     [](CtlOptions& o, const std::string& v, std::string& why) {
         why = "--banks must be FIRST-LAST, one bank or all, with banks 0 to 14, not '" + v + "'";
         return parseBanks(v, o.firstBank, o.lastBank);
     }},
    {"--parameters", nullptr, kChoice, "the bank and common parameters", nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.parameters = true; }},
    {"--patterns", nullptr, kChoice, "the reference patterns (with neither, both are taken)",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.patterns = true; }},
    {"--overwrite", nullptr, bit(CtlCommand::Read), "replace existing files without asking",
     "--no-overwrite", false,
     [](CtlOptions& o, const std::string&, std::string&) {
         o.overwrite = Answer::Yes;
         return true;
     }},
    {"--no-overwrite", nullptr, bit(CtlCommand::Read),
     "refuse, before connecting, when a file of the read is there", "--overwrite", false,
     [](CtlOptions& o, const std::string&, std::string&) {
         o.overwrite = Answer::No;
         return true;
     }},
    {"--skip-missing", nullptr, bit(CtlCommand::Write), "skip the items whose files are missing",
     "--abort-on-missing", false,
     [](CtlOptions& o, const std::string&, std::string&) {
         o.abortOnMissing = Answer::No;
         return true;
     }},
    {"--abort-on-missing", nullptr, bit(CtlCommand::Write),
     "stop at the first missing file (default without a terminal)", "--skip-missing", false,
     [](CtlOptions& o, const std::string&, std::string&) {
         o.abortOnMissing = Answer::Yes;
         return true;
     }},
    {"--yes", nullptr, bit(CtlCommand::Write),
     "agree to overwrite the sensor's settings without asking", nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.yes = true; }},
    {"--verify", nullptr, bit(CtlCommand::Write),
     "before Run, read back what was written and compare it with the files (status 4 when "
     "the sensor does not hold it)",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.verify = true; }},
    {"--resume", nullptr, bit(CtlCommand::Read),
     "complete a backup whose read stopped before its end, as BASE.manifest.json records it: "
     "read only the items never read and those whose files are missing or changed (a changed "
     "file is replaced without asking); the banks, kinds and rate are the manifest's",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.resume = true; }},
    {"--no-connect", nullptr, kTransfer,
     "the sensor is already stopped: skip the connect exchanges", nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.noConnect = true; }},
    {"--keep-stopped", nullptr, kTransfer,
     "leave the sensor stopped afterwards (default: send it to run)", nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.keepStopped = true; }},
    {"--progress", "MODE", kTransfer,
     "MODE is one of: auto, plain, none. auto (the default) redraws one line that fits the "
     "terminal, or shows nothing when standard error is no terminal; plain prints one line per "
     "item done, for logs; none shows nothing",
     nullptr, false,
     [](CtlOptions& o, const std::string& v, std::string& why) {
         why = "--progress must be auto, plain or none, not '" + v + "'";
         if (v == "auto")
             o.progress = ProgressMode::Auto;
         else if (v == "plain")
             o.progress = ProgressMode::Plain;
         else if (v == "none")
             o.progress = ProgressMode::None;
         else
             return false;
         return true;
     }},
    {"--png", "DIR", bit(CtlCommand::Diff),
     "for each pattern that differs, DIR/bankN.png: BASE2's pattern as the pattern editor "
     "shows it, the differing pixels in red",
     nullptr, false,
     [](CtlOptions& o, const std::string& v, std::string& why) {
         o.pngDir = v;
         why = "--png needs a folder";
         return !v.empty();
     }},
    {"--all", nullptr, bit(CtlCommand::Ports),
     "also list pseudo-terminals (a simulated sensor "
     "is one)",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.allPorts = true; }},
    {"--map", nullptr, bit(CtlCommand::Ports),
     "print port-map lines (COMn=/dev/serial/by-id/...) ready to paste into zar4loader.ports: "
     "a device keeps its COM name, the others take free ones",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.mapLines = true; }},
    {"--names", nullptr, bit(CtlCommand::Ports),
     "print only the COM names and device paths, one a line, without opening any device (the "
     "shell completion uses it)",
     nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.portNames = true; }},
    {"--json", nullptr, kEvery,
     "JSON Lines events on standard output (see zar4ctl help json); the human text goes to "
     "standard error",
     nullptr, false, [](CtlOptions& o, const std::string&, std::string&) { return o.json = true; }},
    {"--help", nullptr, kEvery, "this help", nullptr, false,
     [](CtlOptions& o, const std::string&, std::string&) { return o.help = true; }},
};

const CommandRow* commandRow(CtlCommand command) {
    for (const auto& c : kCommands)
        if (c.command == command)
            return &c;
    return nullptr;
}

const OptionRow* optionNamed(const std::string& name) {
    for (const auto& o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

bool takes(CtlCommand command, const OptionRow& option) {
    return (option.commands & bit(command)) != 0;
}

ParseResult refuse(std::string why) {
    ParseResult result;
    result.error = std::move(why);
    return result;
}

constexpr std::size_t kWidth = 80;

// `text` wrapped into lines of fewer than 80 columns, each starting with `indent` spaces
// but the first, which starts at column `first`.
std::string wrapped(const std::string& text, std::size_t first, std::size_t indent) {
    std::string out;
    std::size_t column = first;
    std::size_t at = 0;
    bool lineStart = true;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        std::string word = text.substr(at, end - at);
        at = end + 1;
        if (!lineStart && column + 1 + word.size() >= kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineStart = false;
    }
    return out + "\n";
}

std::string optionWords(const OptionRow& option) {
    return option.value ? std::string(option.name) + " " + option.value : option.name;
}

std::string synopsis(const CommandRow& command) {
    std::vector<std::string> words;
    std::set<std::string> shown;
    for (const auto& option : kOptions) {
        if (!takes(command.command, option) || !option.built || shown.count(option.name) ||
            std::string(option.name) == "--help")
            continue;
        shown.insert(option.name);
        if (std::string(option.name) == "--port") {
            words.push_back(optionWords(option)); // required (or given by ZAR4_PORT)
        } else if (option.excludes) {
            shown.insert(option.excludes);
            words.push_back("[" + optionWords(option) + " | " +
                            optionWords(*optionNamed(option.excludes)) + "]");
        } else {
            words.push_back("[" + optionWords(option) + "]");
        }
    }
    if (*command.operands)
        words.push_back(command.operands);
    std::string head = std::string("Usage: zar4ctl ") + command.name;
    std::string out = head;
    std::size_t column = head.size();
    for (const auto& word : words) {
        if (column + 1 + word.size() >= kWidth) {
            out += "\n" + std::string(head.size(), ' ');
            column = head.size();
        }
        out += " " + word;
        column += 1 + word.size();
    }
    return out + "\n";
}

std::string defaultFrom(const OptionRow& option, const CtlDefaults& defaults) {
    const std::string name = option.variable;
    const std::string& value = name == "ZAR4_PORT" ? defaults.port : defaults.baud;
    return "; without it, $" + name + (value.empty() ? " (not set)" : " (now " + value + ")");
}

const char* const kStatusText =
    "Exit status: 0 completed or equal (also when there was nothing to transfer),\n"
    "1 failed (the sensor, the port or a file), 2 usage or port-setting error,\n"
    "3 stopped by the operator (Ctrl-C acts as CANCEL), 4 verify, write --verify or\n"
    "diff found a difference, or check found a backup not as read.\n";

std::string commandHelp(const CommandRow& command, const CtlDefaults& defaults) {
    std::string text = synopsis(command) + wrapped(command.description, 0, 0) + "\n";
    std::size_t column = 0;
    for (const auto& option : kOptions)
        if (takes(command.command, option) && option.built)
            column = std::max(column, optionWords(option).size());
    column += 4;
    for (const auto& option : kOptions) {
        if (!takes(command.command, option) || !option.built)
            continue;
        std::string help = option.help;
        if (option.variable)
            help += defaultFrom(option, defaults);
        std::string words = "  " + optionWords(option);
        text += words + std::string(column - words.size(), ' ') + wrapped(help, column, column);
    }
    text += "\nExamples:\n";
    std::string examples = command.examples;
    for (std::size_t at = 0, end; at < examples.size(); at = end + 1) {
        end = examples.find('\n', at);
        text += "  " + examples.substr(at, end - at) + "\n";
    }
    return text + "\n" + kStatusText;
}

} // namespace

const char* commandName(CtlCommand command) {
    const CommandRow* row = commandRow(command);
    return row ? row->name : "";
}

CtlCommand commandNamed(const std::string& word) {
    for (const auto& c : kCommands)
        if (word == c.name)
            return c.command;
    return CtlCommand::None;
}

bool usesPort(CtlCommand command) {
    return (kSensor & bit(command)) != 0;
}

int baudIndexForRate(const std::string& rate) {
    for (int i = 0; i < 5; ++i)
        if (rate == kRates[i])
            return i;
    return -1;
}

ParseResult parseCommandLine(const std::vector<std::string>& args, const CtlDefaults& defaults) {
    ParseResult result;
    CtlOptions& o = result.options;
    if (args.empty())
        return refuse("no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "--version") {
        if (args.size() > 1)
            return refuse(first + " takes nothing after it");
        (first == "--version" ? o.version : o.help) = true;
        result.ok = true;
        return result;
    }
    if (first == "help") {
        // zar4ctl help [COMMAND | json]
        if (args.size() > 2)
            return refuse("help takes one COMMAND, or json");
        o.help = true;
        if (args.size() == 2) {
            o.command = commandNamed(args[1]);
            o.helpJson = args[1] == "json";
            if (o.command == CtlCommand::None && !o.helpJson)
                return refuse("no help on '" + args[1] + "': name a command, or json");
        }
        result.ok = true;
        return result;
    }
    o.command = commandNamed(first);
    if (o.command == CtlCommand::None)
        return refuse("unknown command '" + first + "'");

    std::set<const OptionRow*> seen;
    bool optionsEnded = false;
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        auto eq = arg.find('=');
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        if (arg == "-h")
            arg = "--help";
        const OptionRow* option = optionNamed(arg);
        if (!option || !takes(o.command, *option))
            return refuse(std::string("'") + commandName(o.command) + "' does not take " + arg);
        if (option->value && !hasValue) {
            if (i + 1 >= args.size())
                return refuse(arg + " needs a value");
            value = args[++i];
        } else if (!option->value && hasValue) {
            return refuse(arg + " takes no value");
        }
        if (option->once && seen.count(option))
            return refuse(arg + " given twice");
        if (option->excludes && seen.count(optionNamed(option->excludes))) {
            bool firstInTable = option < optionNamed(option->excludes);
            return refuse(std::string(firstInTable ? option->name : option->excludes) + " and " +
                          (firstInTable ? option->excludes : option->name) + " exclude each other");
        }
        seen.insert(option);
        o.given.push_back(option->name);
        std::string why;
        if (!option->apply(o, value, why))
            return refuse(why);
    }
    if (o.help) {
        result.ok = true;
        return result;
    }
    const CommandRow& command = *commandRow(o.command);
    if (command.bases == 0 && !positional.empty())
        return refuse(std::string("'") + command.name + "' takes no '" + positional[0] + "'");
    if (command.bases == 2 && positional.size() != 2)
        return refuse("diff compares two backups: BASE1 and BASE2");
    if (command.bases == 1 && positional.size() != 1)
        return refuse(positional.empty() ? "BASE (the base file name) is missing"
                                         : "only one BASE may be given");
    if (command.bases >= 1) {
        o.base = positional[0];
        o.base2 = command.bases == 2 ? positional[1] : "";
        if (o.base.empty() || (command.bases == 2 && o.base2.empty()))
            return refuse("BASE must not be empty");
    }
    // The environment stands in for the options the operator did not type.
    if (usesPort(o.command)) {
        if (!seen.count(optionNamed("--port")))
            o.port = defaults.port;
        if (!seen.count(optionNamed("--baud")) && !defaults.baud.empty()) {
            o.baudIndex = baudIndexForRate(defaults.baud);
            if (o.baudIndex < 0)
                return refuse(std::string("ZAR4_BAUD must be ") + kBaudList + ", not '" +
                              defaults.baud + "'");
        }
        if (o.port.empty())
            return refuse("--port is required (or ZAR4_PORT in the environment)");
    }
    if (!o.parameters && !o.patterns) {
        o.parameters = true;
        o.patterns = true;
    }
    result.ok = true;
    return result;
}

std::string notYetBuilt(const CtlOptions& options) {
    const CommandRow* command = commandRow(options.command);
    if (command && !command->built)
        return std::string("'") + command->name + "' is not available in this zar4ctl";
    if (options.resume && !optionNamed("--resume")->built)
        return "--resume is not available in this zar4ctl";
    return "";
}

std::string usageText(CtlCommand command, const CtlDefaults& defaults) {
    const CommandRow* row = commandRow(command);
    if (row)
        return commandHelp(*row, defaults);
    std::string text = "Usage: zar4ctl COMMAND [options]\n"
                       "       zar4ctl help [COMMAND | json]\n"
                       "       zar4ctl --version\n\n"
                       "Commands:\n";
    for (const auto& c : kCommands)
        if (c.built)
            text += "  " + std::string(c.name) + std::string(9 - std::string(c.name).size(), ' ') +
                    c.summary + "\n";
    auto now = [](const char* name, const std::string& value) {
        return std::string(name) + (value.empty() ? " not set" : "=" + value);
    };
    text += "\n" + wrapped("ZAR4_PORT and ZAR4_BAUD give --port and --baud when these are not "
                           "typed (" +
                               now("ZAR4_PORT", defaults.port) + ", " +
                               now("ZAR4_BAUD", defaults.baud) + ").",
                           0, 0);
    text += "zar4ctl help COMMAND (or COMMAND --help) describes a command with examples,\n"
            "zar4ctl help json the events of --json.\n\n";
    return text + kStatusText;
}

std::string jsonContractText() {
    return "JSON Lines (--json): one object a line on standard output; its \"type\" and fields:\n"
           "  start       program, version, command, port, base, base2\n"
           "  progress    bytes, planned, status, kind, bank, item\n"
           "  question    title, text, answer\n"
           "  warning     text, items\n"
           "  difference  kind, bank, what, file, word, field, expected, actual, pixels, "
           "maskOnly, box\n"
           "  result      command, outcome, status, files, skipped, differences, banks, "
           "common, summary, manifest, items, ports, map\n"
           "  error       code, text, file, port, reason\n"
           "kind is \"parameters\" or \"pattern\"; bank is null for the common parameters. "
           "start has\n"
           "port with a port, base and base2 with backups. A difference is \"missing\" (file), "
           "\"word\"\n"
           "(word, field: the editor's names or null, expected: the file or BASE1, actual: the "
           "sensor\n"
           "or BASE2) or \"pixels\" (pixels, maskOnly, box: xMin, xMax, yMin, yMax in the "
           "editor's X/Y).\n"
           "result: outcome is completed, nothing, equal, different, failed, declined, "
           "cancelled or\n"
           "usage; status is the exit status; files written or sent; skipped items (kind, "
           "bank,\n"
           "reason); differences with verify and diff; banks and common with show (name, "
           "caption,\n"
           "word, value, text, auto for each parameter; maskedPixels); ports with ports (device, "
           "byId,\n"
           "bus, usb, manufacturer, product, serial, driver, com, access for each device)\n"
           "and map with ports --map. answer is \"yes\" or \"no\".\n"
           "check: outcome is complete, incomplete, changed or failed; summary (also with show) "
           "is the\n"
           "manifest's summary lines; manifest is what it records (outcome, started, ended, "
           "resumed,\n"
           "program, version, port, device, rate, firstBank, lastBank, kinds, failure) or null; "
           "items\n"
           "(kind, bank, file, state: \"as read\", \"never read\", \"edited\", \"missing\" "
           "or\n"
           "\"unreadable\", reason) are the backup's. A warning that names items of a backup "
           "not as read\n"
           "(before write and verify, or what read --resume replaces) lists them the same way.\n"
           "error: file names the file, port the port in use; reason is the system's, or what "
           "to\ncheck when the sensor did not answer or answered garbled, or null.\n"
           "code is one of: usage, file, port-open, port-setting, no-response, bad-reply,\n"
           "checksum, nak, mode-not-secured, mode-refused, wrong-model, aborted, failed.\n";
}

} // namespace zar4::ctl
