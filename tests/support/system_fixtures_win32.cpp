#include "common/file_access.h"
#include "support/system_fixtures.h"

#include <stdlib.h>
#include <windows.h>

namespace zar4::test {

std::string missingFileText(bool folderMissing) {
    return systemErrorText(folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
}

void setEnvironment(const std::string& name, const char* value) {
    // The C runtime keeps a copy of its own: both are set, the system's last, as the runtime
    // passes its copy on in the ANSI code page.
    ::_putenv_s(name.c_str(), value ? value : "");
    ::SetEnvironmentVariableW(utf16FromUtf8(name).c_str(),
                              value ? utf16FromUtf8(value).c_str() : nullptr);
}

OtherProcess::OtherProcess(State state) {
    // The system's command interpreter, told to end at once; a running one is held suspended
    // before its first instruction.
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring program = std::wstring(system) + L"\\cmd.exe";
    std::wstring command = L"cmd.exe /c exit 0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const DWORD flags = CREATE_NO_WINDOW | (state == State::Running ? CREATE_SUSPENDED : 0);
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          nullptr, &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    running_ = state == State::Running;
    if (!running_)
        ::WaitForSingleObject(info.hProcess, 30000);
    // The handle stays open so that the id is not given to another process meanwhile.
    handle_ = reinterpret_cast<std::intptr_t>(info.hProcess);
    id_ = static_cast<int>(info.dwProcessId);
}

OtherProcess::~OtherProcess() {
    if (handle_ == 0)
        return;
    HANDLE process = reinterpret_cast<HANDLE>(handle_);
    if (running_) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 30000);
    }
    ::CloseHandle(process);
}

ExclusivelyOpenFile::ExclusivelyOpenFile(const std::string& path) {
    HANDLE h = ::CreateFileW(utf16FromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        handle_ = reinterpret_cast<std::intptr_t>(h);
}

ExclusivelyOpenFile::~ExclusivelyOpenFile() {
    if (handle_ != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

} // namespace zar4::test
