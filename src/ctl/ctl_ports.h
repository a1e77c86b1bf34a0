#pragma once
// zar4ctl ports: which serial device is the sensor's. Lists the machine's serial devices with
// their stable names, USB identity and driver, the COM names the port maps give them and
// whether this user can open them now; --map prints port-map lines ready to paste.

#include "link/port_discovery.h"
#include "link/port_map.h"

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace zar4::ctl {

struct CtlOptions;
struct CommandResult;

// One device as `ports` shows it.
struct ListedPort {
    SerialDevice device;
    std::vector<int> comPorts; // the COM numbers the port maps (or the defaults) give it
    std::string access;        // "ok", "permission denied (group dialout)", "in use by ..."
};

// The devices of this machine (pseudo-terminals too with `includePseudoTerminals`), each
// with its COM numbers under `map` and (with `probeAccess`, which opens each device) its
// access state.
std::vector<ListedPort> listPorts(const PortMap& map, bool includePseudoTerminals,
                                  bool probeAccess = true);

// Port-map lines naming each device by its stable name: its by-id link, else the name the
// map `entries` give it now, else its device path. A device keeps the COM number it has; the
// others take the lowest numbers that neither the map (a device unplugged today keeps its
// number) nor another device uses, COM1-COM9 first (the desktop program's list).
std::string portMapText(const std::vector<ListedPort>& ports,
                        const std::map<int, std::string>& entries);

// Lists the devices on `human` (or prints the map lines with --map) and fills the result's
// `ports` (and `map`) for the JSON result object. The COM names are those of `map`.
int runPorts(const CtlOptions& options, const PortMap& map, std::ostream& human, std::ostream& err,
             CommandResult& result);

} // namespace zar4::ctl
