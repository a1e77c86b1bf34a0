#include "common/file_access.h"
#include "support/system_fixtures.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace zar4::test {

std::string missingFileText(bool folderMissing) {
    (void)folderMissing;
    return systemErrorText(ENOENT);
}

void setEnvironment(const std::string& name, const char* value) {
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
}

OtherProcess::OtherProcess(State state) {
    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        if (state == State::Running)
            ::pause();
        ::_exit(0);
    }
    id_ = static_cast<int>(child);
    running_ = state == State::Running;
    if (!running_)
        ::waitpid(child, nullptr, 0);
}

OtherProcess::~OtherProcess() {
    if (running_ && id_ > 0) {
        ::kill(static_cast<pid_t>(id_), SIGKILL);
        ::waitpid(static_cast<pid_t>(id_), nullptr, 0);
    }
}

} // namespace zar4::test
