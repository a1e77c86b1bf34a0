#include "common/file_access.h"
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

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
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

bool SafeFileWriter::open(const std::string& requested) {
    abandon();
    failure_.clear();
    requested_ = requested;
    if (requested.empty()) {
        failure_ = fileReason(requested, systemErrorText(ENOENT));
        return false;
    }
    if (std::string problem = replaceTargetProblem(requested, true); !problem.empty()) {
        failure_ = fileReason(requested, problem);
        return false;
    }
    const std::string path = resolvedTarget(requested);
    removeLeftoverTemporaries(path);
    const std::string folder = folderOf(path);
    std::string pattern = (folder == "/" ? std::string() : folder) + "/" +
                          temporaryFileName(fileNameOf(path), currentProcessId(), "XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        failure_ = fileReason(requested, systemErrorText(errno));
        return false;
    }
    // The new file gets what the old one had: its permission bits and, when root writes it,
    // its owner and group (an operator's file must stay the operator's). A new file gets
    // what an ordinary new file would get.
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (geteuid() == 0 && fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not every file system keeps owners; the content matters more.
        }
        mode = st.st_mode & 07777;
    }
    fchmod(fd, mode);
    handle_ = fd;
    good_ = true;
    target_ = path;
    temp_.assign(buffer.data());
    return true;
}

bool SafeFileWriter::write(const void* data, std::size_t size) {
    if (handle_ == -1 || !good_)
        return false;
    good_ = writeAll(static_cast<int>(handle_), data, size);
    if (!good_)
        failure_ = fileReason(requested_, systemErrorText(errno));
    return good_;
}

bool SafeFileWriter::commit() {
    if (handle_ == -1)
        return false;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    bool ok = good_;
    if (ok && fsync(fd) != 0) {
        failure_ = fileReason(requested_, systemErrorText(errno));
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        failure_ = fileReason(requested_, systemErrorText(errno));
        ok = false;
    }
    if (ok && std::rename(temp_.c_str(), target_.c_str()) == 0) {
        temp_.clear();
        good_ = false;
        return true;
    }
    if (ok)
        failure_ = fileReason(requested_, systemErrorText(errno));
    ::unlink(temp_.c_str());
    temp_.clear();
    good_ = false;
    return false;
}

void SafeFileWriter::abandon() {
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    good_ = false;
}

bool writeFileSafelyOrInPlace(const std::string& path, std::string_view data, std::string* reason) {
    std::string safeFailure;
    if (writeFileSafely(path, data, &safeFailure))
        return true;
    if (reason)
        *reason = safeFailure;
    // Only a folder that refuses new files while the file itself may be written is worth a
    // second try; any other failure (a full disk, a missing folder) would fail again, and
    // truncating first would then lose what the file held.
    const std::string target = resolvedTarget(path);
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (access(folderOf(target).c_str(), W_OK) == 0 || access(target.c_str(), W_OK) != 0)
        return false;
    int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    bool ok = fd >= 0 && writeAll(fd, data.data(), data.size()) && fsync(fd) == 0;
    const int error = errno;
    ok = fd >= 0 && (::close(fd) == 0) && ok;
    if (!ok && reason)
        *reason = fileReason(path, systemErrorText(error));
    return ok;
}

bool fileIsReadable(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace zar4
