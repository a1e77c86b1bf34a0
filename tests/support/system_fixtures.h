#pragma once
// What the file tests need of the system itself, in the form each system has it: the
// environment, other processes (one that has ended, one that still runs) and, on Windows, a
// file another program holds open without sharing it.

#include <cstdint>
#include <string>

namespace zar4::test {

// Sets `name` to `value` for this process, for the system's own calls as well as getenv();
// nullptr removes it.
void setEnvironment(const std::string& name, const char* value);

// The system's words for a file that is not there: the file alone, or (`folderMissing`) the
// folder it would be in as well, where the system tells the two apart.
std::string missingFileText(bool folderMissing = false);

// A process other than this one, known to the system for the life of the object: one that
// has already ended, or one that keeps running until the object goes.
class OtherProcess {
public:
    enum class State { Ended, Running };
    explicit OtherProcess(State state);
    ~OtherProcess();
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    // 0 when the process could not be started.
    int id() const { return id_; }

private:
    int id_ = 0;
    std::intptr_t handle_ = 0;
    bool running_ = false;
};

// Windows only: `path` opened for reading and writing with no sharing, as an editor or a
// virus scanner may hold a data file, until the object goes.
class ExclusivelyOpenFile {
public:
    explicit ExclusivelyOpenFile(const std::string& path);
    ~ExclusivelyOpenFile();
    ExclusivelyOpenFile(const ExclusivelyOpenFile&) = delete;
    ExclusivelyOpenFile& operator=(const ExclusivelyOpenFile&) = delete;

    bool isOpen() const { return handle_ != -1; }

private:
    std::intptr_t handle_ = -1;
};

} // namespace zar4::test
