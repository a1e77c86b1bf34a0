#include "ctl/ctl.h"

#include "common/version.h"
#include "ctl/console.h"
#include "ctl/ctl_events.h"
#include "ctl/ctl_inspect.h"
#include "ctl/ctl_options.h"
#include "ctl/ctl_ports.h"
#include "link/port_map.h"
#include "link/protocol.h"
#include "params/parameter_file.h"
#include "transfer/link_advice.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <set>

namespace zar4::ctl {

namespace {

int usageError(CtlEnvironment& env, EventSink& events, const std::string& command,
               const std::string& why) {
    // The help of the command, when there is one to give.
    CtlOptions named;
    named.command = commandNamed(command);
    const bool helpful = named.command != CtlCommand::None && notYetBuilt(named).empty();
    env.err << "zar4ctl: " << why << "\nTry 'zar4ctl help" << (helpful ? " " + command : "")
            << "'.\n";
    events.emit(errorEvent(ErrorCode::Usage, why, ""));
    events.emit(resultEvent(command, "usage", kExitUsage)
                    .add("files", std::vector<std::string>{})
                    .add("skipped", std::vector<JsonObject>{}));
    return kExitUsage;
}

int exitStatusFor(TransferOutcome outcome) {
    switch (outcome) {
    case TransferOutcome::Completed:
    case TransferOutcome::NothingDone:
        return kExitCompleted;
    case TransferOutcome::Failed:
        return kExitFailed;
    case TransferOutcome::Declined:
    case TransferOutcome::Cancelled:
        return kExitStopped;
    }
    return kExitFailed;
}

const char* outcomeName(TransferOutcome outcome) {
    switch (outcome) {
    case TransferOutcome::Completed:
        return "completed";
    case TransferOutcome::NothingDone:
        return "nothing";
    case TransferOutcome::Failed:
        return "failed";
    case TransferOutcome::Declined:
        return "declined";
    case TransferOutcome::Cancelled:
        return "cancelled";
    }
    return "failed";
}

// Return to run after a transfer that failed: the operator has been told of the failure
// once, so a Run that fails the same way (a line that hung up) is told as what it is, a
// failure while returning to run, not as the same words again. `before` is how the line
// failed in the transfer (None when a file failed it).
bool returnToRunAfterFailure(SerialLink& link, LinkFailureKind before, MessageService& messages) {
    bool ok = exchange(link, Command::Run);
    if (!ok) {
        std::string told = "Run not acknowledged while returning to run";
        told += link.lastFailure().kind == before ? "." : ": " + linkFailureMessage(link);
        messages.error(told);
    }
    link.close();
    return ok;
}

struct Session {
    const CtlOptions& o;
    SerialLink& link;
    const PortAddress& port;
    CtlEnvironment& env;
    ConsoleLine& line;
    ConsoleMessages& console; // for Ctrl-C at a question
    MessageService& messages; // the console's, told as events too
    EventSink& events;
    std::ostream& human; // outcome lines: standard output, or standard error with --json
    CommandResult& result;
};

void printSkipped(Session& s, const std::vector<SkippedItem>& skipped) {
    for (const auto& item : skipped)
        s.human << itemName(item.kind, item.item) << ": " << item.reason << ", skipped\n";
}

int runTransferCommand(Session& s) {
    const CtlOptions& o = s.o;
    CtlEnvironment& env = s.env;
    bool write = o.command == CtlCommand::Write;
    bool verify = o.command == CtlCommand::Verify;
    if (!baseNameFits(o.base)) {
        env.err << "Error: " << texts::kBaseNameTooLong << "\n";
        s.events.emit(errorEvent(ErrorCode::Usage, texts::kBaseNameTooLong, ""));
        s.result.outcome = "usage";
        return kExitUsage;
    }
    if (write && !o.yes) {
        if (!env.inIsTerminal) {
            env.err << "zar4ctl: writing overwrites the sensor's settings; give --yes to agree "
                       "(there is no terminal to ask \""
                    << texts::kAgreeToOverwriteSensor << "\")\n";
            s.events.emit(errorEvent(
                ErrorCode::Usage, "writing overwrites the sensor's settings; give --yes to agree",
                o.port));
            s.result.outcome = "usage";
            return kExitUsage;
        }
        bool agreed = s.console.askOperator(texts::kAgreeToOverwriteSensorTitle,
                                            texts::kAgreeToOverwriteSensor, false);
        s.events.emit(JsonObject::event("question")
                          .add("title", texts::kAgreeToOverwriteSensorTitle)
                          .add("text", texts::kAgreeToOverwriteSensor)
                          .add("answer", agreed ? "yes" : "no"));
        if (!agreed) {
            // Ctrl-C at the question stops the program; any other answer but Yes leaves the
            // write without the agreement it needs, as a missing --yes does.
            if (s.console.interruptedAtQuestion()) {
                s.human << texts::kAborted << "\n";
                s.result.outcome = "cancelled";
                return kExitStopped;
            }
            env.err << "zar4ctl: the sensor's settings are not overwritten without a Yes (or "
                       "--yes)\n";
            s.result.outcome = "usage";
            return kExitUsage;
        }
    }

    TransferRequest request;
    request.operation = write ? Operation::Write : Operation::Read;
    request.baseName = o.base;
    request.includeParameters = o.parameters;
    request.includePatterns = o.patterns;
    request.firstBank = o.firstBank;
    request.lastBank = o.lastBank;

    // Verify reads the files first: one that cannot be read ends it before the sensor is
    // touched, and a missing one is a difference that needs no exchange.
    Report report{s.human, s.events};
    report.line = &s.line;
    Backup files;
    if (verify) {
        files = loadBackup(o.base, request);
        if (report.invalidFiles(files, request)) {
            s.result.outcome = "failed";
            return kExitFailed;
        }
        for (auto [kind, item] : chosenItems(request)) {
            const CheckedFile& f = files.file(kind, item);
            if (f.state != CheckedFile::State::Missing)
                continue;
            Difference d;
            d.what = Difference::What::Missing;
            d.kind = kind;
            d.item = item;
            d.file = f.path;
            report.difference(d, "file", "sensor");
        }
    }

    SerialLink& link = s.link;
    bool open = o.noConnect ? openSensorPort(link, s.port, o.baudIndex, s.messages)
                            : connectSensor(link, s.port, o.baudIndex, s.messages, false);
    if (!open) {
        s.result.outcome = "failed";
        return linkFailureStatus(link.lastFailure());
    }

    TransferOutcome outcome;
    if (verify) {
        outcome =
            verifySensor(request, files, {}, link, s.line, s.messages, env.errIsTerminal, report);
    } else {
        // write --verify is one run for the operator: one bar, one estimate over the write and
        // the read-back of everything chosen.
        TransferRequest readBack = request;
        readBack.operation = Operation::Read;
        const std::int64_t planned =
            plannedWireBytes(request) + (o.verify ? plannedWireBytes(readBack) : 0);
        ConsoleView console(s.line, s.messages, env.errIsTerminal, planned);
        EventView view(console, s.messages, s.events, planned);
        s.console.cancelThrough(&view);
        outcome = runTransfer(request, view, link);
        // Ctrl-C at a question stops the transfer as CANCEL does, whatever the question was.
        if (outcome == TransferOutcome::Declined && s.console.interruptedAtQuestion()) {
            outcome = TransferOutcome::Cancelled;
            console.setStatusText(texts::kAborted);
        }
        const bool readsBack = o.verify && outcome == TransferOutcome::Completed;
        // What the sensor acknowledged is read back and compared before it runs again; the
        // write's outcome comes first, and the bar goes on below it.
        if (readsBack) {
            s.line.breakLine();
            s.human << console.statusText() << "\n";
            s.human.flush();
            std::set<std::pair<ItemKind, int>> sent;
            for (const auto& chosen : chosenItems(request))
                if (std::none_of(view.skipped().begin(), view.skipped().end(),
                                 [&](const SkippedItem& k) {
                                     return k.kind == chosen.first && k.item == chosen.second;
                                 }))
                    sent.insert(chosen);
            files = loadBackup(o.base, request);
            outcome = verifySensor(request, files, sent, link, s.line, s.messages,
                                   env.errIsTerminal, report, &view);
            verify = true;
        }
        s.console.cancelThrough(nullptr);
        console.finish();
        view.finish();
        s.result.files = view.files();
        s.result.skipped = view.skipped();
        if (!readsBack && outcome != TransferOutcome::Failed &&
            outcome != TransferOutcome::Declined) {
            s.human << console.statusText() << "\n";
            s.human.flush();
        }
        printSkipped(s, view.skipped());
    }
    int status = exitStatusFor(outcome);
    s.result.outcome = outcomeName(outcome);
    if (verify) {
        s.result.differences = report.differences;
        if (outcome == TransferOutcome::Cancelled) {
            s.human << texts::kAborted << "\n";
        } else if (outcome != TransferOutcome::Failed) {
            s.human << verifySummary(report.differences) << "\n";
            s.result.outcome = report.differences == 0 ? "equal" : "different";
            status = report.differences == 0 ? kExitCompleted : kExitDifferent;
        }
        s.human.flush();
    }

    // Whatever the outcome, the sensor goes back to work unless the operator said otherwise;
    // a sensor that did not acknowledge Run is a failure even after a good transfer.
    if (o.keepStopped) {
        link.close();
    } else {
        bool ran = outcome == TransferOutcome::Failed
                       ? returnToRunAfterFailure(link, link.lastFailure().kind, s.messages)
                       : returnToRun(link, s.messages);
        if (!ran && (status == kExitCompleted || status == kExitDifferent)) {
            status = kExitFailed;
            s.result.outcome = "failed";
        }
    }
    return status;
}

} // namespace

int linkFailureStatus(const LinkFailure& failure) {
    return failure.kind == LinkFailureKind::BaudRateInvalid ? kExitUsage : kExitFailed;
}

std::optional<PortAddress> resolvePort(const std::string& port, const PortMap& map,
                                       std::string& why) {
    if (port.size() > 3 && std::toupper(static_cast<unsigned char>(port[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(port[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(port[2])) == 'M') {
        std::string digits = port.substr(3);
        bool numeric = digits.size() <= 3 && digits[0] != '0';
        for (char c : digits)
            numeric = numeric && std::isdigit(static_cast<unsigned char>(c));
        int n = numeric ? std::stoi(digits) : 0;
        if (n >= 1 && n <= kPortCount)
            return comPort(n, map);
        why = "'" + port + "' is not a port: COM names run from COM1 to COM256";
        return std::nullopt;
    }
    if (port.find_first_of("/\\") == std::string::npos) {
        why = "'" + port + "' is neither a COM name (COM1-COM256) nor a device path";
        return std::nullopt;
    }
    return PortAddress{port, port};
}

int runCtl(const std::vector<std::string>& args, CtlEnvironment& env) {
    const CtlDefaults defaults{env.portVariable, env.baudVariable};
    ParseResult parsed = parseCommandLine(args, defaults);
    if (parsed.ok && parsed.error.empty())
        parsed.error = notYetBuilt(parsed.options);
    parsed.ok = parsed.ok && parsed.error.empty();
    const CtlOptions& o = parsed.options;
    // A command line refused before --json was taken still answers a script in JSON.
    bool json = parsed.ok ? o.json : std::find(args.begin(), args.end(), "--json") != args.end();
    EventSink events(json ? &env.out : nullptr);
    std::string command = commandName(o.command);
    if (!parsed.ok && !args.empty() && commandNamed(args[0]) != CtlCommand::None)
        command = args[0]; // the command whose options were refused
    if (!parsed.ok)
        return usageError(env, events, command, parsed.error);
    if (o.help) {
        env.out << (o.helpJson ? jsonContractText() : usageText(o.command, defaults));
        return kExitCompleted;
    }
    if (o.version) {
        env.out << "zar4ctl " << kProjectVersion << "\n";
        return kExitCompleted;
    }

    JsonObject start = startEvent(command);
    if (usesPort(o.command))
        start.add("port", o.port);
    if (!o.base.empty())
        start.add("base", o.base);
    if (!o.base2.empty())
        start.add("base2", o.base2);
    events.emit(start);

    std::ostream& human = json ? env.err : env.out;
    CommandResult result;
    int status = kExitFailed;
    Report report{human, events};
    // The desktop program's port map: beside this program, else the operator's, else the
    // machine's. `ports` shows the COM names it gives.
    PortMap portMap;
    auto loadMap = [&] {
        std::string mapPath =
            portMapPathIn(configPlacesFor(joinPath(env.programDir, "zar4loader")));
        if (std::optional<PortMap> loaded = PortMap::load(mapPath)) {
            portMap = std::move(*loaded);
            return true;
        }
        usageError(env, events, command, "the port map " + mapPath + " cannot be read");
        return false;
    };
    if (o.command == CtlCommand::Diff) {
        status = runDiff(o, report, result);
    } else if (o.command == CtlCommand::Show) {
        status = runShow(o, report, result);
    } else if (o.command == CtlCommand::Ports) {
        if (!loadMap())
            return kExitUsage;
        status = runPorts(o, portMap, human, env.err, result);
    } else {
        if (!loadMap())
            return kExitUsage;
        std::string why;
        std::optional<PortAddress> port = resolvePort(o.port, portMap, why);
        if (!port)
            return usageError(env, events, command, why);
        SerialLink link;

        ConsoleLine line(env.err, env.errColumns);
        line.setProgressMode(o.progress);
        ConsoleMessages console(line, env.in, env.inIsTerminal, o.overwrite, o.abortOnMissing);
        EventMessages messages(console, events, link, o.port, port->device);
        Session session{o, link, *port, env, line, console, messages, events, human, result};
        switch (o.command) {
        case CtlCommand::Connect:
            if (!connectSensor(link, *port, o.baudIndex, messages, false)) {
                status = linkFailureStatus(link.lastFailure());
                result.outcome = "failed";
                break;
            }
            link.close();
            human << "ZAR4 is stopped in PC communication mode.\n";
            status = kExitCompleted;
            result.outcome = "completed";
            break;
        case CtlCommand::Run:
            if (!openSensorPort(link, *port, o.baudIndex, messages)) {
                status = linkFailureStatus(link.lastFailure());
                result.outcome = "failed";
                break;
            }
            if (!returnToRun(link, messages)) {
                status = kExitFailed;
                result.outcome = "failed";
                break;
            }
            human << "ZAR4 is back in run mode.\n";
            status = kExitCompleted;
            result.outcome = "completed";
            break;
        default:
            status = runTransferCommand(session);
            break;
        }
    }

    JsonObject end = resultEvent(command, result.outcome, status);
    end.add("files", result.files).add("skipped", skippedObjects(result.skipped));
    if (result.differences >= 0)
        end.add("differences", result.differences);
    if (result.hasPorts) {
        end.add("ports", result.ports);
        if (o.mapLines)
            end.add("map", result.map);
    }
    if (result.hasShow) {
        end.add("banks", result.banks);
        if (result.common.text() == "{}")
            end.addNull("common");
        else
            end.add("common", result.common);
    }
    events.emit(end);
    human.flush();
    return status;
}

} // namespace zar4::ctl
