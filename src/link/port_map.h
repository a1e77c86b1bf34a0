#pragma once
// Which device stands behind "COM n". By default COM n is /dev/ttyS{n-1}; a port map file
// (lines such as "COM3=/dev/ttyUSB0", blank lines and # comments allowed) overrides single
// ports. The desktop program and the command line read the same map: the one beside the
// program file, else the operator's own, else the machine's.

#include "common/program_paths.h"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace zar4 {

// The COM names of one program: the entries of its port map file, the system's default for
// every other port. Whoever owns a connection (the main window, the command line's session)
// owns the map it resolves names by; opening a port never changes it.
class PortMap {
public:
    PortMap() = default;
    explicit PortMap(std::map<int, std::string> entries) : entries_(std::move(entries)) {}

    // The entries of `path`. A missing file gives an empty map (every port at its default);
    // nothing when the file exists but cannot be read.
    static std::optional<PortMap> load(const std::string& path);

    // The device that port number n (1-256) opens; empty outside 1-256.
    std::string deviceFor(int port) const;
    // Sets or (with an empty path) removes one entry.
    void set(int port, const std::string& devicePath);
    // What the map file says, not the defaults.
    const std::map<int, std::string>& entries() const { return entries_; }

private:
    std::map<int, std::string> entries_;
};

// Parses the text of a port map file: entries by port number. Lines that are not
// "COMn=path" with n in 1-256 are ignored.
std::map<int, std::string> parsePortMap(const std::string& text);

// The port map file that belongs to a program file: the settings file's name with "ports" in
// place of "ini" (zar4loader -> zar4loader.ports).
std::string portMapPathForProgram(const std::string& programPath);

// The port map in force: the first that exists of the map beside the program,
// zar4loader.ports in the operator's own folder and zar4loader.ports in the machine's folder;
// the one beside the program when there is none (no map: every port at its default).
std::string portMapPathIn(const ConfigPlaces& places);

} // namespace zar4
