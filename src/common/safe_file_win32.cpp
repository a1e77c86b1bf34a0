#include "common/file_access.h"
#include "common/safe_file.h"

#include <windows.h>

namespace zar4 {

namespace {

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

bool writeAll(HANDLE h, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size > (1u << 20) ? (1u << 20) : size);
        DWORD n = 0;
        if (!WriteFile(h, p, chunk, &n, nullptr))
            return false;
        if (n == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += n;
        size -= n;
    }
    return true;
}

std::string lastErrorText() {
    return systemErrorText(static_cast<int>(GetLastError()));
}

// A name for the temporary file that no other writer picks: the tick count and a counter.
std::string uniquePart() {
    static unsigned counter = 0;
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long seed = GetTickCount64() * 2654435761ull + (++counter) * 40503ull;
    std::string part(6, 'A');
    for (char& c : part) {
        c = kLetters[seed % 62];
        seed /= 62;
    }
    return part;
}

// A symbolic link is written where it points, as on Linux: the file it leads to is replaced
// and the link stays (a rename onto the link's own name would replace the link with a plain
// file). A link to nothing, or any other name, is written as it stands.
std::string writeTargetOf(const std::string& path) {
    const std::wstring name = utf16FromUtf8(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return path;
    std::wstring final(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    if (n == 0 || n >= final.size())
        return path;
    final.resize(n);
    // The system answers in its long form: "\\?\C:\..." or "\\?\UNC\server\share\...".
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
        final = L"\\\\" + final.substr(8);
    else if (final.rfind(L"\\\\?\\", 0) == 0)
        final = final.substr(4);
    const int size = WideCharToMultiByte(CP_UTF8, 0, final.data(), static_cast<int>(final.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return path;
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, final.data(), static_cast<int>(final.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

} // namespace

bool SafeFileWriter::open(const std::string& requested) {
    abandon();
    failure_.clear();
    requested_ = requested;
    if (requested.empty()) {
        failure_ = fileReason(requested, systemErrorText(ERROR_INVALID_NAME));
        return false;
    }
    if (std::string problem = replaceTargetProblem(requested, true); !problem.empty()) {
        failure_ = fileReason(requested, problem);
        return false;
    }
    const std::string target = writeTargetOf(requested);
    removeLeftoverTemporaries(target);
    const std::string folder = folderOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp =
            folder + "\\" + temporaryFileName(fileNameOf(target), currentProcessId(), uniquePart());
        HANDLE h = CreateFileW(utf16FromUtf8(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS)
                continue;
            failure_ = fileReason(requested, systemErrorText(static_cast<int>(error)));
            SetLastError(error); // for the in-place save, which asks why
            return false;
        }
        handle_ = reinterpret_cast<std::intptr_t>(h);
        good_ = true;
        target_ = target;
        temp_ = temp;
        return true;
    }
    failure_ = fileReason(requested, systemErrorText(ERROR_FILE_EXISTS));
    return false;
}

bool SafeFileWriter::write(const void* data, std::size_t size) {
    if (handle_ == -1 || !good_)
        return false;
    good_ = writeAll(asHandle(handle_), data, size);
    if (!good_)
        failure_ = fileReason(requested_, lastErrorText());
    return good_;
}

bool SafeFileWriter::commit() {
    if (handle_ == -1)
        return false;
    HANDLE h = asHandle(handle_);
    handle_ = -1;
    bool ok = good_;
    if (ok && !FlushFileBuffers(h)) {
        failure_ = fileReason(requested_, lastErrorText());
        ok = false;
    }
    if (!CloseHandle(h) && ok) {
        failure_ = fileReason(requested_, lastErrorText());
        ok = false;
    }
    const std::wstring temp = utf16FromUtf8(temp_);
    if (ok && MoveFileExW(temp.c_str(), utf16FromUtf8(target_).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        temp_.clear();
        good_ = false;
        return true;
    }
    if (ok)
        failure_ = fileReason(requested_, lastErrorText());
    DeleteFileW(temp.c_str());
    temp_.clear();
    good_ = false;
    return false;
}

void SafeFileWriter::abandon() {
    if (handle_ != -1) {
        CloseHandle(asHandle(handle_));
        handle_ = -1;
    }
    if (!temp_.empty()) {
        DeleteFileW(utf16FromUtf8(temp_).c_str());
        temp_.clear();
    }
    good_ = false;
}

bool writeFileSafelyOrInPlace(const std::string& path, std::string_view data, std::string* reason) {
    SafeFileWriter writer;
    if (writer.open(path)) {
        if (writer.write(data.data(), data.size()) && writer.commit())
            return true;
        if (reason)
            *reason = writer.failure();
        return false;
    }
    const DWORD openError = GetLastError();
    if (reason)
        *reason = writer.failure();
    // Only a folder that refuses new files while the file itself may be written is worth a
    // second try; truncating after any other failure could lose what the file held.
    if (openError != ERROR_ACCESS_DENIED || fileInfo(path).kind != FileKind::Regular ||
        !replaceTargetProblem(path, false).empty())
        return false;
    HANDLE h = CreateFileW(utf16FromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                           TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok =
        h != INVALID_HANDLE_VALUE && writeAll(h, data.data(), data.size()) && FlushFileBuffers(h);
    const DWORD error = GetLastError();
    ok = h != INVALID_HANDLE_VALUE && CloseHandle(h) && ok;
    if (!ok && reason)
        *reason = fileReason(path, systemErrorText(static_cast<int>(error)));
    return ok;
}

bool fileIsReadable(const std::string& path) {
    HANDLE h = CreateFileW(utf16FromUtf8(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace zar4
