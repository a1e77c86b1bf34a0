#include "common/program_paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zar4 {

std::string runningProgramPath() {
    // The link names the program file even when it was started through another link or a
    // relative path; a path longer than the buffer is grown into.
    for (std::size_t size = 4096; size <= 65536; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n <= 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    return {};
}

const char* pathSeparators() {
    return "/";
}

bool folderTakesNewFiles(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // Asked for the effective user, as a create would be: a read-only file system answers
    // no too.
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = folderOf(folder);
    if (parent != folder && parent != "." && !makeFolders(parent))
        return false;
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST)
        return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return false;
}

std::string userConfigFolder() {
    // A relative $XDG_CONFIG_HOME is to be ignored, as if it were not set.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return joinPath(config, "zar4loader");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return joinPath(joinPath(home, ".config"), "zar4loader");
    return {};
}

std::string systemConfigFolder() {
    return "/etc";
}

} // namespace zar4
