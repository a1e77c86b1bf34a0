#include "ctl/ctl_options.h"

#include "ctl/ctl_ports.h"

#include <cstdlib>

namespace zar4::ctl {

namespace {

const char* const kRates[] = {"4800", "9600", "19200", "38400", "57600"};

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
    auto dash = text.find('-');
    if (dash == std::string::npos) {
        if (!parseBank(text, first))
            return false;
        last = first;
        return true;
    }
    return parseBank(text.substr(0, dash), first) && parseBank(text.substr(dash + 1), last);
}

bool commandTakes(CtlCommand command, const std::string& option) {
    if (command == CtlCommand::Ports)
        return option == "--help" || option == "--all" || option == "--map" || option == "--json";
    bool transfer = command == CtlCommand::Read || command == CtlCommand::Write ||
                    command == CtlCommand::Verify;
    if (option == "--help" || option == "--json")
        return true;
    if (option == "--port" || option == "--baud")
        return usesPort(command);
    if (option == "--banks" || option == "--parameters" || option == "--patterns")
        return transfer || command == CtlCommand::Diff || command == CtlCommand::Show;
    if (option == "--no-connect" || option == "--keep-stopped")
        return transfer;
    if (option == "--verify")
        return command == CtlCommand::Write;
    if (option == "--png")
        return command == CtlCommand::Diff;
    if (option == "--overwrite" || option == "--no-overwrite")
        return command == CtlCommand::Read;
    if (option == "--skip-missing" || option == "--abort-on-missing" || option == "--yes")
        return command == CtlCommand::Write;
    return false;
}

ParseResult refuse(std::string why) {
    ParseResult result;
    result.error = std::move(why);
    return result;
}

} // namespace

const char* commandName(CtlCommand command) {
    switch (command) {
    case CtlCommand::Connect:
        return "connect";
    case CtlCommand::Run:
        return "run";
    case CtlCommand::Read:
        return "read";
    case CtlCommand::Write:
        return "write";
    case CtlCommand::Ports:
        return "ports";
    case CtlCommand::Verify:
        return "verify";
    case CtlCommand::Diff:
        return "diff";
    case CtlCommand::Show:
        return "show";
    case CtlCommand::None:
        break;
    }
    return "";
}

bool usesPort(CtlCommand command) {
    return command == CtlCommand::Connect || command == CtlCommand::Run ||
           command == CtlCommand::Read || command == CtlCommand::Write ||
           command == CtlCommand::Verify;
}

int baudIndexForRate(const std::string& rate) {
    for (int i = 0; i < 5; ++i)
        if (rate == kRates[i])
            return i;
    return -1;
}

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CtlOptions& o = result.options;
    std::size_t i = 0;
    if (args.empty())
        return refuse("no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        if (args.size() > 1)
            return refuse("--help takes nothing after it");
        o.help = true;
        result.ok = true;
        return result;
    }
    if (first == "--version") {
        if (args.size() > 1)
            return refuse("--version takes nothing after it");
        o.version = true;
        result.ok = true;
        return result;
    }
    for (CtlCommand c : {CtlCommand::Connect, CtlCommand::Run, CtlCommand::Read, CtlCommand::Write,
                         CtlCommand::Verify, CtlCommand::Diff, CtlCommand::Show, CtlCommand::Ports})
        if (first == commandName(c))
            o.command = c;
    if (o.command == CtlCommand::None)
        return refuse("unknown command '" + first + "'");
    ++i;

    bool sawOverwrite = false, sawMissing = false, sawBanks = false, sawBaud = false;
    bool optionsEnded = false;
    std::vector<std::string> positional;
    for (; i < args.size(); ++i) {
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
        if (!commandTakes(o.command, arg))
            return refuse(std::string("'") + commandName(o.command) + "' does not take " + arg);
        bool needsValue = arg == "--port" || arg == "--baud" || arg == "--banks" || arg == "--png";
        if (needsValue && !hasValue) {
            if (i + 1 >= args.size())
                return refuse(arg + " needs a value");
            value = args[++i];
        } else if (!needsValue && hasValue) {
            return refuse(arg + " takes no value");
        }
        if (arg == "--help") {
            o.help = true;
        } else if (arg == "--port") {
            if (value.empty())
                return refuse("--port needs a COM name or a device path");
            o.port = value;
        } else if (arg == "--baud") {
            if (sawBaud)
                return refuse("--baud given twice");
            sawBaud = true;
            o.baudIndex = baudIndexForRate(value);
            if (o.baudIndex < 0)
                return refuse("--baud must be 4800, 9600, 19200, 38400 or 57600, not '" + value +
                              "'");
        } else if (arg == "--banks") {
            if (sawBanks)
                return refuse("--banks given twice");
            sawBanks = true;
            if (!parseBanks(value, o.firstBank, o.lastBank))
                return refuse("--banks must be A-B or A with banks 0 to 14, not '" + value + "'");
        } else if (arg == "--parameters") {
            o.parameters = true;
        } else if (arg == "--patterns") {
            o.patterns = true;
        } else if (arg == "--overwrite" || arg == "--no-overwrite") {
            Answer a = arg == "--overwrite" ? Answer::Yes : Answer::No;
            if (sawOverwrite && o.overwrite != a)
                return refuse("--overwrite and --no-overwrite exclude each other");
            sawOverwrite = true;
            o.overwrite = a;
        } else if (arg == "--skip-missing" || arg == "--abort-on-missing") {
            Answer a = arg == "--abort-on-missing" ? Answer::Yes : Answer::No;
            if (sawMissing && o.abortOnMissing != a)
                return refuse("--skip-missing and --abort-on-missing exclude each other");
            sawMissing = true;
            o.abortOnMissing = a;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--verify") {
            o.verify = true;
        } else if (arg == "--png") {
            if (value.empty())
                return refuse("--png needs a folder");
            o.pngDir = value;
        } else if (arg == "--yes") {
            o.yes = true;
        } else if (arg == "--no-connect") {
            o.noConnect = true;
        } else if (arg == "--keep-stopped") {
            o.keepStopped = true;
        } else if (arg == "--all") {
            o.allPorts = true;
        } else if (arg == "--map") {
            o.mapLines = true;
        }
    }
    if (o.help) {
        result.ok = true;
        return result;
    }
    // How many backups (BASE) a command names.
    std::size_t bases = 0;
    if (o.command == CtlCommand::Diff)
        bases = 2;
    else if (o.command == CtlCommand::Read || o.command == CtlCommand::Write ||
             o.command == CtlCommand::Verify || o.command == CtlCommand::Show)
        bases = 1;
    if (bases == 0 && !positional.empty())
        return refuse(std::string("'") + commandName(o.command) + "' takes no '" + positional[0] +
                      "'");
    if (bases == 2 && positional.size() != 2)
        return refuse("diff compares two backups: BASE1 and BASE2");
    if (bases == 1 && positional.size() != 1)
        return refuse(positional.empty() ? "BASE (the base file name) is missing"
                                         : "only one BASE may be given");
    if (bases >= 1) {
        o.base = positional[0];
        o.base2 = bases == 2 ? positional[1] : "";
        if (o.base.empty() || (bases == 2 && o.base2.empty()))
            return refuse("BASE must not be empty");
    }
    if (usesPort(o.command) && o.port.empty())
        return refuse("--port is required");
    if (!o.parameters && !o.patterns) {
        o.parameters = true;
        o.patterns = true;
    }
    result.ok = true;
    return result;
}

std::string usageText(CtlCommand command) {
    const std::string common = "  --port PORT     COM1 to COM256 (see zar4loader.ports beside the "
                               "program) or a device path\n"
                               "  --baud RATE     4800, 9600, 19200, 38400 or 57600 (default "
                               "57600); the sensor's\n"
                               "                  Communication-set must match\n";
    const std::string choice =
        "  --banks A-B     banks A to B, or one bank A (0-14; default 0-14; a start after\n"
        "                  the end chooses no bank)\n"
        "  --parameters    the bank and common parameters\n"
        "  --patterns      the reference patterns (with neither, both are taken)\n";
    const std::string link =
        "  --no-connect    the sensor is already stopped: skip the connect exchanges\n"
        "  --keep-stopped  leave the sensor stopped afterwards (default: send it to run)\n";
    const std::string json = "  --json          JSON Lines events on standard output (see zar4ctl "
                             "--help); the\n"
                             "                  human text goes to standard error\n";
    const std::string status =
        "Exit status: 0 completed or equal (also when there was nothing to transfer),\n"
        "1 failed (the sensor, the port or a file), 2 usage or port-setting error,\n"
        "3 stopped by the operator (Ctrl-C acts as CANCEL), 4 verify, write --verify or\n"
        "diff found a difference.\n";
    switch (command) {
    case CtlCommand::Connect:
        return "Usage: zar4ctl connect --port PORT [--baud RATE] [--json]\n"
               "Stops the sensor and puts it into PC communication mode, then closes the "
               "port.\n\n" +
               common + json + "\n" + status;
    case CtlCommand::Run:
        return "Usage: zar4ctl run --port PORT [--baud RATE] [--json]\n"
               "Sends the sensor back to its run mode and closes the port.\n\n" +
               common + json + "\n" + status;
    case CtlCommand::Read:
        return "Usage: zar4ctl read --port PORT [--baud RATE] [--banks A-B] [--parameters] "
               "[--patterns]\n"
               "                   [--overwrite | --no-overwrite] [--no-connect] "
               "[--keep-stopped] [--json] BASE\n"
               "Reads the sensor's data into the files BASE.pr0.zar4 ... BASE.prM.zar4 and "
               "BASE.pt0.bmp ...\n\n" +
               common + choice + link +
               "  --overwrite     replace existing files without asking\n"
               "  --no-overwrite  stop at the first existing file (default without a "
               "terminal)\n" +
               json + "\n" + status;
    case CtlCommand::Write:
        return "Usage: zar4ctl write --port PORT [--baud RATE] [--banks A-B] [--parameters] "
               "[--patterns]\n"
               "                    [--skip-missing | --abort-on-missing] [--yes] [--verify] "
               "[--no-connect]\n"
               "                    [--keep-stopped] [--json] BASE\n"
               "Writes the files of BASE into the sensor; each pattern half goes into its "
               "flash memory.\n\n" +
               common + choice + link +
               "  --skip-missing      skip the items whose files are missing\n"
               "  --abort-on-missing  stop at the first missing file (default without a "
               "terminal)\n"
               "  --yes               agree to overwrite the sensor's settings without "
               "asking\n"
               "  --verify            before Run, read back what was written and compare it "
               "with the\n"
               "                      files (status 4 when the sensor does not hold it)\n" +
               json + "\n" + status;
    case CtlCommand::Verify:
        return "Usage: zar4ctl verify --port PORT [--baud RATE] [--banks A-B] [--parameters] "
               "[--patterns]\n"
               "                     [--no-connect] [--keep-stopped] [--json] BASE\n"
               "Reads the chosen items from the sensor into memory (no file is written) and "
               "compares\n"
               "them with the files of BASE: parameters word by word, patterns pixel by pixel "
               "in the\n"
               "sensor's words. A missing file counts as a difference.\n\n" +
               common + choice + link + json + "\n" + status;
    case CtlCommand::Diff:
        return "Usage: zar4ctl diff [--banks A-B] [--parameters] [--patterns] [--png DIR] "
               "[--json] BASE1 BASE2\n"
               "Compares two backups on disk with the report of verify (first = BASE1, second "
               "= BASE2).\n\n" +
               choice +
               "  --png DIR       for each pattern that differs, DIR/bankN.png: BASE2's "
               "pattern as the\n"
               "                  pattern editor shows it, the differing pixels in red\n" +
               json + "\n" + status;
    case CtlCommand::Show:
        return "Usage: zar4ctl show [--banks A-B] [--parameters] [--patterns] [--json] BASE\n"
               "Prints each present bank's and the common parameters by the names, captions "
               "and texts\n"
               "of the parameter editor, and each pattern's masked pixel count.\n\n" +
               choice + json + "\n" + status;
    case CtlCommand::Ports:
        return portsUsage();
    case CtlCommand::None:
        break;
    }
    return "Usage: zar4ctl COMMAND [options]\n"
           "       zar4ctl --version\n"
           "The ZAR4 Data Loader's command line.\n\n"
           "Commands:\n"
           "  connect  stop the sensor (PC communication mode)\n"
           "  run      send the sensor back to run mode\n"
           "  read     read parameters and patterns from the sensor into files\n"
           "  write    write parameter and pattern files into the sensor\n"
           "  verify   compare the sensor with a backup\n"
           "  diff     compare two backups\n"
           "  show     print a backup as the editors show it\n"
           "  ports    list the serial devices, their stable names and COM names\n\n"
           "zar4ctl COMMAND --help describes each command.\n\n" +
           status + "\n" + jsonContractText();
}

std::string jsonContractText() {
    return "JSON Lines (--json): one object a line on standard output; its \"type\" and fields:\n"
           "  start       program, version, command, port, base, base2\n"
           "  progress    bytes, planned, status, kind, bank, item\n"
           "  question    title, text, answer\n"
           "  warning     text\n"
           "  difference  kind, bank, what, file, word, field, expected, actual, pixels, "
           "maskOnly, box\n"
           "  result      command, outcome, status, files, skipped, differences, banks, "
           "common, ports, map\n"
           "  error       text, file, port, reason\n"
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
           "error: file names the file, port the port in use; reason is the system's, or "
           "null.\n";
}

} // namespace zar4::ctl
