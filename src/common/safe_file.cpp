#include "common/safe_file.h"

#include "common/file_access.h"

namespace zar4 {

namespace {

// A temporary name stays short enough for the folder even when the target's own name is near
// the file system's limit; a name cut this way no longer tells which target it belongs to.
constexpr std::size_t kLongestNamePart = 200;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string temporaryFileName(const std::string& targetName, int pid, std::string_view unique) {
    std::string name = targetName.substr(0, kLongestNamePart);
    return "." + name + ".tmp" + std::to_string(pid) + "-" + std::string(unique);
}

int temporaryFileOwner(const std::string& entry, const std::string& targetName) {
    if (targetName.empty() || targetName.size() > kLongestNamePart)
        return 0;
    const std::string prefix = "." + targetName + ".tmp";
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0)
        return 0;
    std::size_t at = prefix.size();
    long long pid = 0;
    const std::size_t digitsStart = at;
    while (at < entry.size() && isDigit(entry[at]) && at - digitsStart < 10)
        pid = pid * 10 + (entry[at++] - '0');
    // Exactly: digits, '-', six characters.
    if (at == digitsStart || at >= entry.size() || entry[at] != '-' || entry.size() - at != 7)
        return 0;
    return pid > 0 && pid <= 0x7FFFFFFF ? static_cast<int>(pid) : 0;
}

int removeLeftoverTemporaries(const std::string& target) {
    const std::string folder = folderOf(target);
    const std::string name = fileNameOf(target);
    const int self = currentProcessId();
    int removed = 0;
    for (const std::string& entry : folderEntries(folder)) {
        const int owner = temporaryFileOwner(entry, name);
        if (owner == 0 || owner == self || processIsRunning(owner))
            continue;
        const std::string path = folder == "/" ? "/" + entry : folder + "/" + entry;
        if (removePlainFile(path))
            ++removed;
    }
    return removed;
}

SafeFileWriter::~SafeFileWriter() {
    abandon();
}

bool writeFileSafely(const std::string& path, std::string_view data, std::string* reason) {
    SafeFileWriter writer;
    const bool ok = writer.open(path) && writer.write(data.data(), data.size()) && writer.commit();
    if (!ok && reason)
        *reason = writer.failure();
    return ok;
}

} // namespace zar4
