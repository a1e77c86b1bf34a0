#include "common/file_access.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zar4 {

namespace {

FileKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    return FileKind::Other;
}

} // namespace

FileInfo fileInfo(const std::string& path) {
    FileInfo info;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        info.error = errno;
        info.kind = (errno == ENOENT || errno == ENOTDIR) ? FileKind::Missing : FileKind::Other;
        return info;
    }
    if (!S_ISLNK(st.st_mode)) {
        info.kind = kindOfMode(st.st_mode);
        return info;
    }
    info.link = true;
    if (::stat(path.c_str(), &st) != 0) {
        info.error = errno;
        info.kind = errno == ENOENT ? FileKind::DanglingLink : FileKind::Other;
        return info;
    }
    info.kind = kindOfMode(st.st_mode);
    return info;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string systemErrorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
        !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

FileRead readRegularFile(const std::string& path, std::size_t limit, BeyondLimit beyond) {
    FileRead result;
    // Something that is no plain file is never opened: opening a serial device would change
    // its lines, and opening a FIFO could wait for a writer for good.
    const FileInfo before = fileInfo(path);
    if (before.kind == FileKind::Missing) {
        result.status = FileRead::Status::Missing;
        result.reason = fileReason(path, systemErrorText(before.error));
        return result;
    }
    if (before.kind != FileKind::Regular) {
        // A path that cannot even be looked at (a folder on the way that may not be searched,
        // a link loop) is there but unreadable; anything else is no plain file.
        const bool unreadable = before.kind == FileKind::Other && before.error != 0;
        result.status = unreadable ? FileRead::Status::Unreadable : FileRead::Status::NotRegular;
        result.reason = fileReason(path, kindReason(before));
        return result;
    }
    // O_NONBLOCK: should a FIFO be swapped in after the look, the open still does not wait;
    // for a plain file it changes nothing. The kind is judged again on the open descriptor.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        const FileInfo info = fileInfo(path);
        if (info.kind == FileKind::Missing) {
            result.status = FileRead::Status::Missing;
            result.reason = fileReason(path, systemErrorText(error));
        } else if (info.kind == FileKind::Regular) {
            result.status = FileRead::Status::Unreadable;
            result.reason = fileReason(path, systemErrorText(error));
        } else {
            result.status = FileRead::Status::NotRegular;
            result.reason = fileReason(path, info.kind == FileKind::Other ? systemErrorText(error)
                                                                          : kindReason(info));
        }
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        FileInfo info = fileInfo(path);
        if (info.kind == FileKind::Regular || info.kind == FileKind::Missing) {
            info.kind = kindOfMode(st.st_mode);
            info.error = error;
        }
        result.status = FileRead::Status::NotRegular;
        result.reason = fileReason(path, kindReason(info));
        return result;
    }
    const auto fileSize = static_cast<std::size_t>(st.st_size);
    if (fileSize > limit && beyond == BeyondLimit::Refuse) {
        ::close(fd);
        refuseTooLarge(result, path, limit);
        return result;
    }
    // One byte beyond the bound shows a file that grew since fstat.
    const std::size_t want = beyond == BeyondLimit::Refuse ? limit + 1 : limit;
    result.bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, result.bytes.data() + got, want - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            result.bytes.clear();
            result.status = FileRead::Status::Unreadable;
            result.reason = fileReason(path, systemErrorText(error));
            return result;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    finishBoundedRead(result, path, got, limit, beyond, fileSize);
    return result;
}

std::string replaceTargetProblem(const std::string& path, bool danglingLinkAllowed) {
    const FileInfo info = fileInfo(path);
    switch (info.kind) {
    case FileKind::Missing:
        return {};
    case FileKind::DanglingLink:
        return danglingLinkAllowed ? std::string() : kindReason(info);
    case FileKind::Regular:
        // Replacing by a rename needs only the folder's permission: ask the file itself, as
        // opening it for writing would.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
            return systemErrorText(errno);
        return {};
    default:
        return kindReason(info);
    }
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int currentProcessId() {
    return static_cast<int>(::getpid());
}

bool processIsRunning(int pid) {
    if (pid <= 0)
        return true; // no process of ours: never judged dead
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool removePlainFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

} // namespace zar4
