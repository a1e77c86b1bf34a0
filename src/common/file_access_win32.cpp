#include "common/file_access.h"

#include <windows.h>

namespace zar4 {

namespace {

std::string utf8FromUtf16(const wchar_t* text, int length) {
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

bool isMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// Opens `path` for looking at or reading without waiting on anything: a pipe that is busy
// answers at once with ERROR_PIPE_BUSY.
HANDLE openShared(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileKind kindOfHandle(HANDLE h) {
    switch (GetFileType(h)) {
    case FILE_TYPE_CHAR:
        return FileKind::Device;
    case FILE_TYPE_PIPE:
        return FileKind::Fifo;
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info))
            return FileKind::Other;
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder
                                                                  : FileKind::Regular;
    }
    default:
        return FileKind::Other;
    }
}

} // namespace

FileInfo fileInfo(const std::string& path) {
    FileInfo info;
    const std::wstring wide = utf16FromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        info.error = static_cast<int>(error);
        info.kind = isMissingError(error) ? FileKind::Missing : FileKind::Other;
        // Device names ("COM1", "NUL") have no attributes yet open.
        {
            HANDLE h = openShared(wide, 0);
            if (h != INVALID_HANDLE_VALUE) {
                info.kind = kindOfHandle(h);
                info.error = 0;
                CloseHandle(h);
            }
        }
        return info;
    }
    info.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    HANDLE h = openShared(wide, 0);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        info.error = static_cast<int>(error);
        info.kind = info.link && isMissingError(error) ? FileKind::DanglingLink : FileKind::Other;
        return info;
    }
    info.kind = kindOfHandle(h);
    CloseHandle(h);
    return info;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(utf16FromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string systemErrorText(int error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer)
        text = utf8FromUtf16(buffer, static_cast<int>(length));
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        return "system error " + std::to_string(error);
    if (text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

FileRead readRegularFile(const std::string& path, std::size_t limit, BeyondLimit beyond) {
    FileRead result;
    const std::wstring wide = utf16FromUtf8(path);
    HANDLE h = openShared(wide, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const FileInfo info = fileInfo(path);
        if (info.kind == FileKind::Missing) {
            result.status = FileRead::Status::Missing;
            result.reason = fileReason(path, systemErrorText(static_cast<int>(error)));
        } else if (info.kind == FileKind::Regular || info.kind == FileKind::Other) {
            result.status = FileRead::Status::Unreadable;
            result.reason = fileReason(path, systemErrorText(static_cast<int>(error)));
        } else {
            result.status = FileRead::Status::NotRegular;
            result.reason = fileReason(path, kindReason(info));
        }
        return result;
    }
    const FileKind kind = kindOfHandle(h);
    if (kind != FileKind::Regular) {
        CloseHandle(h);
        FileInfo info;
        info.kind = kind;
        result.status = FileRead::Status::NotRegular;
        result.reason = fileReason(path, kindReason(info));
        return result;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        result.status = FileRead::Status::Unreadable;
        result.reason = fileReason(path, systemErrorText(static_cast<int>(error)));
        return result;
    }
    const auto fileSize = static_cast<std::size_t>(size.QuadPart);
    if (fileSize > limit && beyond == BeyondLimit::Refuse) {
        CloseHandle(h);
        refuseTooLarge(result, path, limit);
        return result;
    }
    const std::size_t want = beyond == BeyondLimit::Refuse ? limit + 1 : limit;
    result.bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        DWORD chunk = static_cast<DWORD>(want - got > 1u << 20 ? 1u << 20 : want - got);
        DWORD n = 0;
        if (!ReadFile(h, result.bytes.data() + got, chunk, &n, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            result.bytes.clear();
            result.status = FileRead::Status::Unreadable;
            result.reason = fileReason(path, systemErrorText(static_cast<int>(error)));
            return result;
        }
        if (n == 0)
            break;
        got += n;
    }
    CloseHandle(h);
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
    case FileKind::Regular: {
        // A read-only file would be replaced by the rename all the same: refuse it as
        // creating it anew would be refused.
        const DWORD attributes = GetFileAttributesW(utf16FromUtf8(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return systemErrorText(ERROR_ACCESS_DENIED);
        return {};
    }
    default:
        return kindReason(info);
    }
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    if (slash == 2 && path[1] == ':')
        return path.substr(0, 3);
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int currentProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

bool processIsRunning(int pid) {
    if (pid <= 0)
        return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(utf16FromUtf8(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = utf8FromUtf16(found.cFileName, lstrlenW(found.cFileName));
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool removePlainFile(const std::string& path) {
    const std::wstring wide = utf16FromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    return DeleteFileW(wide.c_str()) != 0;
}

} // namespace zar4
