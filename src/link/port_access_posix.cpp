// Who may open a serial device, and who holds it, as Linux shows it: the device's mode and
// group, and the open descriptors under /proc/<pid>/fd.

#include "link/port_access.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zar4 {

namespace {

// The name of group `gid`, or its number when the system has no name for it.
std::string groupName(gid_t gid) {
    if (const group* g = ::getgrgid(gid)) {
        return g->gr_name;
    }
    return std::to_string(gid);
}

// "permission denied (group dialout)" when the device's group may read and write it, so that
// joining the group is the way in; plain "permission denied" otherwise.
std::string deniedText(const std::string& device, bool longForm) {
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0 && (st.st_mode & S_IRGRP) != 0 &&
        (st.st_mode & S_IWGRP) != 0) {
        const std::string name = groupName(st.st_gid);
        if (longForm) {
            return "permission denied (the device belongs to group " + name +
                   "; add your user to it and log in again)";
        }
        return "permission denied (group " + name + ")";
    }
    return "permission denied";
}

std::string holderText(const PortHolder& holder) {
    return "in use by process " + std::to_string(holder.pid) + " (" + holder.name + ")";
}

// The pseudo-terminal number of a slave device (/dev/pts/N), or -1 for any other device.
int ptySlaveIndex(dev_t device) {
    const unsigned int first = 136; // the slave majors: 136 to 143, 256 terminals each
    const unsigned int m = major(device);
    return m >= first && m < first + 8 ? static_cast<int>((m - first) * 256 + minor(device)) : -1;
}

// The pseudo-terminal that a descriptor on /dev/ptmx is the master of, or -1.
int ptyMasterIndex(const std::string& fdInfoPath) {
    std::ifstream info(fdInfoPath);
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("tty-index:", 0) == 0) {
            return std::atoi(line.c_str() + 10);
        }
    }
    return -1;
}

std::string processName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "unknown" : name;
}

} // namespace

std::string defaultDeviceForPort(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::optional<PortHolder> findPortHolder(const std::string& device) {
    struct stat wanted {};
    if (::stat(device.c_str(), &wanted) != 0) {
        return std::nullopt;
    }
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return std::nullopt;
    }
    const std::string self = std::to_string(::getpid());
    std::optional<PortHolder> found;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (entry == nullptr) {
            break;
        }
        const std::string pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == self) {
            continue;
        }
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str()); // other users' processes: not shown, skipped
        if (fds == nullptr) {
            continue;
        }
        // A process that holds both sides of a pseudo-terminal is its far end (a simulated
        // sensor keeps the line up that way), not a program that has taken the port.
        bool holds = false;
        bool farEnd = false;
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') {
                continue;
            }
            struct stat st {};
            const std::string link = fdDir + "/" + fd->d_name;
            if (::stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) ||
                !S_ISCHR(wanted.st_mode)) {
                continue;
            }
            if (st.st_rdev == wanted.st_rdev) {
                holds = true;
            } else if (st.st_rdev == makedev(5, 2) && ptySlaveIndex(wanted.st_rdev) >= 0 &&
                       ptyMasterIndex("/proc/" + pid + "/fdinfo/" + fd->d_name) ==
                           ptySlaveIndex(wanted.st_rdev)) {
                farEnd = true;
            }
        }
        ::closedir(fds);
        if (holds && !farEnd) {
            found = PortHolder{std::atoi(pid.c_str()), processName(pid)};
        }
    }
    ::closedir(proc);
    return found;
}

std::string portAccessState(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        return errno == EACCES ? deniedText(device, false) : "no such device";
    }
    if (::access(device.c_str(), R_OK | W_OK) != 0) {
        return deniedText(device, false);
    }
    if (const auto holder = findPortHolder(device)) {
        return holderText(*holder);
    }
    // Root sees every process's descriptors: with no holder among them, nobody holds the
    // lock either, and the device is not opened (an open raises the modem lines of a real
    // port, and a lock held even for an instant can refuse another program's open).
    if (::geteuid() == 0) {
        return "ok";
    }
    // Another loader that this user cannot see through /proc may still hold the lock.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EACCES ? deniedText(device, false) : std::string(std::strerror(errno));
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked ? "in use by another process" : "ok";
}

std::string portOpenFailureReason(const std::string& device, int systemError) {
    std::string reason;
    switch (systemError) {
    case EACCES:
    case EPERM:
        reason = deniedText(device, true);
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        reason = "no such device";
        break;
    case EBUSY:
    case EWOULDBLOCK: {
        const auto holder = findPortHolder(device);
        reason = holder ? holderText(*holder) : "in use by another process";
        break;
    }
    case ENOTTY:
        reason = "not a serial port";
        break;
    default: {
        reason = std::strerror(systemError);
        if (!reason.empty()) {
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        }
        break;
    }
    }
    return device + ": " + reason;
}

} // namespace zar4
