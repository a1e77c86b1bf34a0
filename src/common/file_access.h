#pragma once
// How the program looks at and reads its own files (data files, the settings file, the port
// map): only plain files are read, never more than a bound, and nothing ever waits on a pipe
// or a device that happens to carry a data file's name. Every refusal comes with the words
// that name the file and the reason, for the second line of the operator's message.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zar4 {

// The most any of the small text files (parameter files, settings, port map) may hold.
constexpr std::size_t kSmallFileLimit = 64 * 1024;

enum class FileKind { Missing, Regular, Folder, Fifo, Socket, Device, DanglingLink, Other };

struct FileInfo {
    FileKind kind = FileKind::Missing;
    bool link = false; // reached through a symbolic link
    int error = 0;     // the system's error when the path could not be looked at
};

// What is at `path`, following symbolic links. A link whose target does not exist is
// DanglingLink; a path that cannot be looked at at all (a link loop, a folder without search
// permission) is Other with `error` set.
FileInfo fileInfo(const std::string& path);

// True when anything is at `path`, a link to nothing included.
bool pathExists(const std::string& path);

// The words that follow "<path>: " for something that is not a plain file ("is a folder",
// "is a FIFO", "is a link to a device", "is a link to nothing"), or the system's reason.
std::string kindReason(const FileInfo& info);

// The system's words for an error (errno on Linux, GetLastError() on Windows), starting with
// a small letter as they follow a path: "permission denied", "read-only file system".
std::string systemErrorText(int error);

// "<path>: <why>", the second line of a message about a file.
std::string fileReason(const std::string& path, const std::string& why);
// "<text>\n<reason>": the operator's message with that second line; just the text when
// there is no reason to give.
std::string messageWithReason(const std::string& text, const std::string& reason);

struct FileRead {
    enum class Status { Ok, Missing, NotRegular, Unreadable, TooLarge };
    Status status = Status::Missing;
    std::string bytes;
    std::string reason;     // "<path>: <why>" unless Ok
    bool truncated = false; // BeyondLimit::Ignore: the file holds more than was read
};

// Beyond the bound: Refuse makes the file TooLarge without reading it; Ignore reads the first
// `limit` bytes (a reader that uses no more than that).
enum class BeyondLimit { Refuse, Ignore };

// Reads the plain file at `path` (or where a link to one points) whole, up to `limit` bytes.
// A pipe, device, socket or folder is NotRegular at once: it is opened without waiting and
// never read.
FileRead readRegularFile(const std::string& path, std::size_t limit,
                         BeyondLimit beyond = BeyondLimit::Refuse);

// For the system files behind readRegularFile: a file over `limit` refused, as "<path>:
// larger than 64 KiB"; and the end of a read that took `got` bytes (at most limit + 1) of a
// file of `fileSize`, the same on every system.
void refuseTooLarge(FileRead& result, const std::string& path, std::size_t limit);
void finishBoundedRead(FileRead& result, const std::string& path, std::size_t got,
                       std::size_t limit, BeyondLimit beyond, std::size_t fileSize);

// Why `path` may not be replaced by a new file this operator writes, or empty when it may:
// nothing there yet, or a plain file (or a link to one) the operator may write. A link to
// nothing is refused only when `danglingLinkAllowed` is false.
std::string replaceTargetProblem(const std::string& path, bool danglingLinkAllowed);

// The folder part of a path ("." when there is none) and the last component.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// For the clean-up of temporary files that killed runs left behind.
int currentProcessId();
bool processIsRunning(int pid);
// Names in `folder` (without "." and ".."); empty when it cannot be listed.
std::vector<std::string> folderEntries(const std::string& folder);
// Removes a plain file (never a folder, and a link itself rather than its target).
bool removePlainFile(const std::string& path);

// UTF-8 to UTF-16 code units, for the wide file calls of Windows. Invalid bytes become
// U+FFFD.
std::wstring utf16FromUtf8(std::string_view text);

} // namespace zar4
