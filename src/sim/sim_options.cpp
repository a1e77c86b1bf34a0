#include "sim/sim_options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zar4::sim {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseInt(const std::string& text, int low, int high, int& value, int base = 10) {
    if (text.empty() || text[0] == '-' || text[0] == '+' ||
        std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        const auto at = text.find(sep, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

bool parseKind(const std::string& text, Fault& fault) {
    const std::string k = lower(text);
    if (k == "noreply" || k == "none") {
        fault.kind = Fault::Kind::NoReply;
    } else if (k == "short") {
        fault.kind = Fault::Kind::ShortReply;
    } else if (k.rfind("short=", 0) == 0) {
        fault.kind = Fault::Kind::ShortReply;
        return parseInt(k.substr(6), 0, 1000, fault.shortBytes);
    } else if (k == "checksum" || k == "badsum") {
        fault.kind = Fault::Kind::BadChecksum;
    } else if (k == "nak") {
        fault.kind = Fault::Kind::Nak;
    } else if (k == "hangup") {
        fault.kind = Fault::Kind::HangUp;
    } else if (k == "nostore") {
        fault.kind = Fault::Kind::AckNoStore;
    } else {
        return false;
    }
    return true;
}

bool parseCode(const std::string& text, std::uint8_t& code) {
    static const struct {
        const char* name;
        std::uint8_t code;
    } names[] = {{"mode", 0x43},
                 {"getparameterblock", 0x81},
                 {"putparameterblock", 0x82},
                 {"getpatternblock", 0x83},
                 {"putpatternblock", 0x84},
                 {"loadpatternhalf", 0x85},
                 {"flashpatternhalf", 0x86},
                 {"run", 0x87},
                 {"stop", 0x88}};
    const std::string t = lower(text);
    for (const auto& n : names)
        if (t == n.name) {
            code = n.code;
            return true;
        }
    int v = 0;
    const std::string digits = t.rfind("0x", 0) == 0 ? t.substr(2) : t;
    if (!parseInt(digits, 0, 255, v, 16) || !(v == 0x43 || (v >= 0x81 && v <= 0x88)))
        return false;
    code = static_cast<std::uint8_t>(v);
    return true;
}

bool parseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(std::strtol(digits.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

} // namespace

std::string simUsage() {
    return "Usage: zar4sim [options]\n"
           "A simulated ZAR4 colour vision sensor on a pseudo-terminal. The first line printed\n"
           "is the device to open (the --link path when given); the sensor answers until it\n"
           "gets SIGINT, SIGTERM or SIGHUP. Options take their value as the next word or after "
           "'='.\n"
           "\n"
           "  --link PATH          also place a symbolic link to the device at PATH (removed on "
           "exit);\n"
           "                       a link left by an earlier run is replaced, any other file is "
           "not\n"
           "  --state DIR          keep banks and patterns in DIR (created when missing):\n"
           "                       parameters.bin and pattern-00.bin to pattern-15.bin, loaded "
           "at\n"
           "                       start (a file of the wrong size stops the start), saved after\n"
           "                       every PutParameterBlock and FlashPatternHalf; a write that "
           "cannot\n"
           "                       be saved is answered with NAK and changes nothing\n"
           "  --paced              every byte costs 10 bits of wire time at the rate the host "
           "set,\n"
           "                       in both directions (default: answer at once)\n"
           "  --flash-ms N         FlashPatternHalf takes N ms before it answers (default 0)\n"
           "  --fault KIND:CODE[:N]\n"
           "                       spoil the answer to the N-th command CODE (default N = 1);\n"
           "                       CODE is 81-88 (hex), mode (the mode request 43 50 6C) or a\n"
           "                       command name such as GetPatternBlock\n"
           "  --fault-block KIND:BLOCK[:N]\n"
           "                       spoil the answer to the N-th GetPatternBlock or "
           "PutPatternBlock\n"
           "                       of block BLOCK (0-255), counted over every half and bank\n"
           "                       KIND is one of:\n"
           "                         noreply   say nothing (the command is not carried out)\n"
           "                         short[=B] send only the first B bytes of the answer (default "
           "1;\n"
           "                                   the command is carried out)\n"
           "                         checksum  answer with a wrong checksum (the command is "
           "carried\n"
           "                                   out; the mode request: answer 06 01, PC mode "
           "not\n"
           "                                   secured)\n"
           "                         nak       answer NAK 15 EA (the command is not carried "
           "out;\n"
           "                                   the mode request: the lone byte 15)\n"
           "                         hangup    close the line for good instead of answering "
           "(the\n"
           "                                   command is not carried out; the device is gone "
           "until\n"
           "                                   zar4sim is started again)\n"
           "                         nostore   acknowledge a PutParameterBlock, PutPatternBlock "
           "or\n"
           "                                   FlashPatternHalf without storing it\n"
           "                       each fault strikes once; both options may be given more "
           "than once\n"
           "  --stray HEXBYTES     send these bytes ahead of every answer to the mode request,\n"
           "                       e.g. --stray 00 or --stray 00,FF\n"
           "  --wrong-model BANK   bank BANK (0-14) reports model mark word 9 = 480\n"
           "  --slow-us N          wait N microseconds between the bytes of every answer (on top "
           "of\n"
           "                       the wire time when paced)\n"
           "  --pc-mode            start in PC communication mode (no mode request needed)\n"
           "  --log                print every frame received and sent on standard error\n"
           "  --help, -h           show this text\n"
           "  --version            show the program's name and version\n"
           "\n"
           "The line: outside PC mode the sensor hears only the mode request. In PC mode a byte\n"
           "that starts no command, a wrong checksum or a number out of range is answered with\n"
           "NAK 15 EA; a frame left unfinished for a second is dropped. The sensor answers\n"
           "correctly only when the host's line rate matches its COMMUNIC setting (5 = 57600\n"
           "bit/s by default); at any other rate the host receives garbage. A new COMMUNIC\n"
           "written in PC mode takes effect after Run.\n"
           "Exit status: 0 after a signal, 1 when the sensor cannot start (line, link or state\n"
           "folder), 2 on bad options.\n";
}

ParseOutcome parseSimArguments(const std::vector<std::string>& args, SimOptions& options,
                               std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const auto eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto flag = [&]() -> bool {
            if (hasValue) {
                error = name + " takes no value";
                return false;
            }
            return true;
        };

        if (name == "--help" || name == "-h") {
            return ParseOutcome::Help;
        } else if (name == "--version") {
            return ParseOutcome::Version;
        } else if (name == "--paced") {
            if (!flag())
                return ParseOutcome::Error;
            options.paced = true;
        } else if (name == "--pc-mode") {
            if (!flag())
                return ParseOutcome::Error;
            options.startInPcMode = true;
        } else if (name == "--log") {
            if (!flag())
                return ParseOutcome::Error;
            options.logFrames = true;
        } else if (name == "--link" || name == "--state") {
            if (!takeValue())
                return ParseOutcome::Error;
            if (value.empty()) {
                error = name + " needs a path";
                return ParseOutcome::Error;
            }
            (name == "--link" ? options.linkPath : options.stateDir) = value;
        } else if (name == "--flash-ms" || name == "--slow-us" || name == "--wrong-model") {
            if (!takeValue())
                return ParseOutcome::Error;
            int v = 0;
            const int high = name == "--wrong-model" ? 14 : INT_MAX;
            if (!parseInt(value, 0, high, v)) {
                error =
                    name + ": '" + value + "' is not a number from 0 to " + std::to_string(high);
                return ParseOutcome::Error;
            }
            if (name == "--flash-ms")
                options.flashTimeMs = v;
            else if (name == "--slow-us")
                options.slowByteDelayUs = v;
            else
                options.wrongModelBank = v;
        } else if (name == "--stray") {
            if (!takeValue())
                return ParseOutcome::Error;
            if (!parseHexBytes(value, options.strayBeforeModeAnswer)) {
                error = "--stray: '" + value + "' is not a list of hexadecimal bytes";
                return ParseOutcome::Error;
            }
        } else if (name == "--fault" || name == "--fault-block") {
            if (!takeValue())
                return ParseOutcome::Error;
            const auto parts = split(value, ':');
            Fault fault;
            bool ok = (parts.size() == 2 || parts.size() == 3) && parseKind(parts[0], fault);
            if (ok && name == "--fault")
                ok = parseCode(parts[1], fault.command);
            else if (ok)
                ok = parseInt(parts[1], 0, 255, fault.patternBlock);
            if (ok && parts.size() == 3)
                ok = parseInt(parts[2], 1, INT_MAX, fault.nth);
            if (!ok) {
                error = name + ": '" + value + "' is not " +
                        (name == "--fault" ? "KIND:CODE[:N]" : "KIND:BLOCK[:N]") + " (see --help)";
                return ParseOutcome::Error;
            }
            options.faults.push_back(fault);
        } else {
            error = "unknown option '" + args[i] + "'";
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

} // namespace zar4::sim
