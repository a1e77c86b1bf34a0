#include "link/port_map.h"

#include "common/file_access.h"
#include "link/port_access.h"

#include <sstream>

namespace zar4 {

namespace {

std::string trimmed(const std::string& s) {
    const char* blanks = " \t\r\n\f\v";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The port number of a "COMn" name (any letter case), or 0 when it is not one in 1-256.
int portOfName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6) {
        return 0;
    }
    for (int i = 0; i < 3; ++i) {
        const char c = static_cast<char>(name[static_cast<std::size_t>(i)] & ~0x20);
        if (c != "COM"[i]) {
            return 0;
        }
    }
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!isDigit(name[i])) {
            return 0;
        }
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 256 ? n : 0;
}

} // namespace

std::string PortMap::deviceFor(int port) const {
    if (port < 1 || port > 256) {
        return {};
    }
    const auto it = entries_.find(port);
    if (it != entries_.end()) {
        return it->second;
    }
    return defaultDeviceForPort(port);
}

std::map<int, std::string> parsePortMap(const std::string& text) {
    std::map<int, std::string> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string entry = trimmed(line);
        if (entry.empty() || entry[0] == '#') {
            continue;
        }
        const auto eq = entry.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const int port = portOfName(trimmed(entry.substr(0, eq)));
        const std::string device = trimmed(entry.substr(eq + 1));
        if (port == 0 || device.empty()) {
            continue;
        }
        entries[port] = device; // a later line for the same port wins
    }
    return entries;
}

std::optional<PortMap> PortMap::load(const std::string& path) {
    // Only a plain file of at most 64 KiB is a port map: a pipe or device of that name is
    // refused without waiting on it, a huge file without reading it.
    const FileRead file = readRegularFile(path, kSmallFileLimit);
    if (file.status == FileRead::Status::Missing) {
        return PortMap(); // no map: every port at its default
    }
    if (file.status != FileRead::Status::Ok) {
        return std::nullopt;
    }
    return PortMap(parsePortMap(file.bytes));
}

void PortMap::set(int port, const std::string& devicePath) {
    if (port < 1 || port > 256) {
        return;
    }
    if (devicePath.empty()) {
        entries_.erase(port);
    } else {
        entries_[port] = devicePath;
    }
}

std::string portMapPathForProgram(const std::string& programPath) {
    const auto slash = programPath.find_last_of(pathSeparators());
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = programPath.find_last_of('.');
    // A dot that leads the file name (a hidden file) starts no extension.
    if (dot != std::string::npos && dot > nameStart) {
        return programPath.substr(0, dot) + ".ports";
    }
    return programPath + ".ports";
}

std::string portMapPathIn(const ConfigPlaces& places) {
    const std::string beside = portMapPathForProgram(places.programFile);
    if (pathExists(beside))
        return beside;
    for (const std::string& folder : {places.userFolder, places.systemFolder}) {
        std::string path = joinPath(folder, "zar4loader.ports");
        if (!folder.empty() && pathExists(path))
            return path;
    }
    return beside;
}

} // namespace zar4
