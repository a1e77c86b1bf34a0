#include "common/program_paths.h"

#include <vector>
#include <windows.h>

namespace zar4 {

namespace {

std::wstring wide(const std::string& text) {
    return utf16FromUtf8(text);
}

std::string utf8(const wchar_t* text, std::size_t length) {
    if (length == 0)
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr,
                              nullptr);
    return out;
}

// A variable of the environment as UTF-8; empty when it is not set.
std::string environmentFolder(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return {};
    std::vector<wchar_t> buffer(size);
    const DWORD n = ::GetEnvironmentVariableW(name, buffer.data(), size);
    if (n == 0 || n >= size)
        return {};
    return utf8(buffer.data(), n);
}

} // namespace

std::string runningProgramPath() {
    // Paths beyond MAX_PATH are possible: grow the buffer until the whole path fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0)
            return {};
        if (n < size)
            return utf8(buffer.data(), n);
    }
    return {};
}

const char* pathSeparators() {
    return "\\/";
}

bool folderTakesNewFiles(const std::string& folder) {
    // Folder rights on Windows live in access lists that no attribute shows: the honest test
    // is to create a file there, which the system removes again when it is closed.
    const DWORD attributes = ::GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const std::wstring probe =
        wide(joinPath(folder, ".zar4loader-probe-" + std::to_string(::GetCurrentProcessId())));
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

bool makeFolders(const std::string& folder) {
    const std::wstring name = wide(folder);
    DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string parent = folderOf(folder);
    // A drive ("C:") or the root needs no creating.
    if (parent != folder && parent != "." && parent.back() != ':' && !makeFolders(parent))
        return false;
    if (!::CreateDirectoryW(name.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string userConfigFolder() {
    const std::string appData = environmentFolder(L"APPDATA");
    return appData.empty() ? std::string() : joinPath(appData, "zar4loader");
}

std::string systemConfigFolder() {
    const std::string programData = environmentFolder(L"ProgramData");
    return programData.empty() ? std::string() : joinPath(programData, "zar4loader");
}

} // namespace zar4
