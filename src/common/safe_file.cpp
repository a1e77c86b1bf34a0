#include "common/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zar4 {

namespace {

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A target that is a symbolic link (one settings or data file shared by several
// installations) is written where the link points: renaming over the link itself would
// replace it with a plain file and leave the shared file as it was.
std::string resolvedTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path; // a link to nothing: the new file takes the link's place
    std::string resolved(real);
    std::free(real);
    return resolved;
}

} // namespace

SafeFileWriter::~SafeFileWriter() {
    abandon();
}

bool SafeFileWriter::open(const std::string& requested) {
    abandon();
    if (requested.empty())
        return false;
    const std::string path = resolvedTarget(requested);
    // The temporary name stays short enough for the folder even when the target's own name
    // is near the file system's limit.
    std::string name = fileNameOf(path);
    if (name.size() > 200)
        name.resize(200);
    std::string pattern = folderOf(path) + "/." + name + ".tmpXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Keep the permissions an ordinary new file would get, as the target had before.
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        mode = st.st_mode & 07777;
    fchmod(fd, mode);
    fd_ = fd;
    good_ = true;
    target_ = path;
    temp_.assign(buffer.data());
    return true;
}

bool SafeFileWriter::write(const void* data, std::size_t size) {
    if (fd_ < 0 || !good_)
        return false;
    good_ = writeAll(fd_, data, size);
    return good_;
}

bool SafeFileWriter::commit() {
    if (fd_ < 0)
        return false;
    bool ok = good_ && fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (ok && std::rename(temp_.c_str(), target_.c_str()) == 0) {
        temp_.clear();
        good_ = false;
        return true;
    }
    ::unlink(temp_.c_str());
    temp_.clear();
    good_ = false;
    return false;
}

void SafeFileWriter::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    good_ = false;
}

bool writeFileSafely(const std::string& path, std::string_view data) {
    SafeFileWriter writer;
    if (!writer.open(path))
        return false;
    if (!writer.write(data.data(), data.size()))
        return false;
    return writer.commit();
}

bool writeFileSafelyOrInPlace(const std::string& path, std::string_view data) {
    if (writeFileSafely(path, data))
        return true;
    // Only a folder that refuses new files while the file itself may be written is worth a
    // second try; any other failure (a full disk, a missing folder) would fail again, and
    // truncating first would then lose what the file held.
    const std::string target = resolvedTarget(path);
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (access(folderOf(target).c_str(), W_OK) == 0 || access(target.c_str(), W_OK) != 0)
        return false;
    int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, data.data(), data.size()) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

bool fileIsReadable(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace zar4
