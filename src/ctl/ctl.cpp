#include "ctl/ctl.h"

#include "ctl/console.h"
#include "ctl/ctl_options.h"
#include "ctl/ctl_ports.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "params/parameter_file.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"

#include <cctype>
#include <istream>
#include <ostream>

namespace zar4::ctl {

namespace {

int usageError(CtlEnvironment& env, const std::string& why) {
    env.err << "zar4ctl: " << why << "\nTry 'zar4ctl --help'.\n";
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

int runTransferCommand(const CtlOptions& o, int port, CtlEnvironment& env, ConsoleLine& line,
                       ConsoleMessages& messages) {
    bool write = o.command == CtlCommand::Write;
    if (!baseNameFits(o.base)) {
        env.err << "Error: " << texts::kBaseNameTooLong << "\n";
        return kExitUsage;
    }
    if (write && !o.yes) {
        if (!env.inIsTerminal) {
            env.err << "zar4ctl: writing overwrites the sensor's settings; give --yes to agree "
                       "(there is no terminal to ask \""
                    << texts::kAgreeToOverwriteSensor << "\")\n";
            return kExitUsage;
        }
        if (!messages.askOperator(texts::kAgreeToOverwriteSensorTitle,
                                  texts::kAgreeToOverwriteSensor, false)) {
            // Ctrl-C at the question stops the program; any other answer but Yes leaves the
            // write without the agreement it needs, as a missing --yes does.
            if (messages.interruptedAtQuestion()) {
                stopRequest = StopRequest::None;
                env.out << texts::kAborted << "\n";
                return kExitStopped;
            }
            env.err << "zar4ctl: the sensor's settings are not overwritten without a Yes (or "
                       "--yes)\n";
            return kExitUsage;
        }
    }

    bool open = o.noConnect ? openSensorPort(port, o.baudIndex, messages)
                            : connectSensor(port, o.baudIndex, messages, false);
    if (!open)
        return linkFailureStatus(messages);

    TransferRequest request;
    request.operation = write ? Operation::Write : Operation::Read;
    request.baseName = o.base;
    request.includeParameters = o.parameters;
    request.includePatterns = o.patterns;
    request.firstBank = o.firstBank;
    request.lastBank = o.lastBank;
    ConsoleView view(line, messages, env.errIsTerminal, plannedWireBytes(request));
    TransferOutcome outcome = runTransfer(request, view, port);
    // Ctrl-C at a question stops the transfer as CANCEL does, whatever the question was.
    if (outcome == TransferOutcome::Declined && messages.interruptedAtQuestion()) {
        outcome = TransferOutcome::Cancelled;
        view.setStatusText(texts::kAborted);
    }
    view.finish();
    if (outcome == TransferOutcome::Completed || outcome == TransferOutcome::NothingDone ||
        outcome == TransferOutcome::Cancelled) {
        env.out << view.statusText() << "\n";
        env.out.flush();
    }
    int status = exitStatusFor(outcome);

    // Whatever the outcome, the sensor goes back to work unless the operator said otherwise;
    // a sensor that did not acknowledge Run is a failure even after a good transfer.
    if (o.keepStopped) {
        closePort(port);
    } else if (!returnToRun(messages) && status == kExitCompleted) {
        status = kExitFailed;
    }
    return status;
}

} // namespace

int linkFailureStatus(const ConsoleMessages& messages) {
    return messages.lastError() == texts::kBaudRateInvalid ? kExitUsage : kExitFailed;
}

int resolvePort(const std::string& port, std::string& why) {
    if (port.size() > 3 && std::toupper(static_cast<unsigned char>(port[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(port[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(port[2])) == 'M') {
        std::string digits = port.substr(3);
        bool numeric = digits.size() <= 3 && digits[0] != '0';
        for (char c : digits)
            numeric = numeric && std::isdigit(static_cast<unsigned char>(c));
        int n = numeric ? std::stoi(digits) : 0;
        if (n >= 1 && n <= kPortCount)
            return n;
        why = "'" + port + "' is not a port: COM names run from COM1 to COM256";
        return -1;
    }
    if (port.find_first_of("/\\") == std::string::npos) {
        why = "'" + port + "' is neither a COM name (COM1-COM256) nor a device path";
        return -1;
    }
    // A device path takes the highest slot that the port map leaves at its default.
    for (int n = kPortCount; n >= 1; --n) {
        if (portIsOpen(n) || devicePathForPort(n) != defaultDeviceForPort(n))
            continue;
        setPortDevice(n, port);
        return n;
    }
    why = "no free port slot for '" + port + "'";
    return -1;
}

int runCtl(const std::vector<std::string>& args, CtlEnvironment& env) {
    ParseResult parsed = parseCommandLine(args);
    if (!parsed.ok)
        return usageError(env, parsed.error);
    const CtlOptions& o = parsed.options;
    if (o.help) {
        env.out << usageText(o.command);
        return kExitCompleted;
    }

    // The desktop program's port map: beside this program, else the operator's, else the
    // machine's.
    std::string mapPath = portMapPathIn(configPlacesFor(joinPath(env.programDir, "zar4loader")));
    if (!loadPortMap(mapPath)) {
        env.err << "zar4ctl: the port map " << mapPath << " cannot be read\n";
        return kExitUsage;
    }
    if (o.command == CtlCommand::Ports)
        return runPorts(o, env);
    std::string why;
    int port = resolvePort(o.port, why);
    if (port < 0)
        return usageError(env, why);

    ConsoleLine line(env.err);
    ConsoleMessages messages(line, env.in, env.inIsTerminal, o.overwrite, o.abortOnMissing);
    switch (o.command) {
    case CtlCommand::Connect:
        if (!connectSensor(port, o.baudIndex, messages, false))
            return linkFailureStatus(messages);
        closePort(port);
        env.out << "ZAR4 is stopped in PC communication mode.\n";
        return kExitCompleted;
    case CtlCommand::Run:
        if (!openSensorPort(port, o.baudIndex, messages))
            return linkFailureStatus(messages);
        if (!returnToRun(messages))
            return kExitFailed;
        env.out << "ZAR4 is back in run mode.\n";
        return kExitCompleted;
    case CtlCommand::Read:
    case CtlCommand::Write:
        return runTransferCommand(o, port, env, line, messages);
    case CtlCommand::Ports: // answered above, before any port is chosen
    case CtlCommand::None:
        break;
    }
    return usageError(env, "no command given");
}

} // namespace zar4::ctl
