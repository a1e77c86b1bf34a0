// What `zar4ctl ports` and "Failed to open COM port." say about a device: whether this user
// may open it, and who holds it, on real pseudo-terminals held by real processes.

#include "link/port_access.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zar4 {
namespace {

// A pseudo-terminal: the master and the slave, both held by this process.
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            device = ::ptsname(master);
            slave = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
    int master = -1;
    int slave = -1;
    std::string device;
};

// A child process named `name` that keeps the descriptors listed open until it is ended.
class Holder {
public:
    Holder(const char* name, std::initializer_list<int> keep, std::initializer_list<int> drop) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_NAME, name);
            for (int fd : drop) {
                ::close(fd);
            }
            for (int fd : keep) {
                ::fcntl(fd, F_SETFD, 0);
            }
            ::close(ready[0]);
            if (::write(ready[1], "x", 1) != 1) {
                ::_exit(1);
            }
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char c = 0;
        if (::read(ready[0], &c, 1) != 1) {
            ADD_FAILURE() << "the holding process did not start";
        }
        ::close(ready[0]);
    }
    ~Holder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// portAccessState as an unprivileged user (nobody) sees it.
std::string accessStateAsNobody(const std::string& device) {
    int out[2];
    if (::pipe(out) != 0) {
        return "no pipe";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(1);
        }
        const std::string state = portAccessState(device);
        ::_exit(::write(out[1], state.data(), state.size()) < 0 ? 1 : 0);
    }
    ::close(out[1]);
    std::string state;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        state.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? state : "the child failed";
}

TEST(PortAccess, FreeLineAndALineHeldByAnotherProgram) {
    Pty pty;
    ASSERT_GE(pty.slave, 0);
    // A simulated sensor holds both sides to keep the line up: the port is still free.
    {
        Holder farEnd("zar4sim", {pty.master, pty.slave}, {});
        EXPECT_EQ(portAccessState(pty.device), "ok");
    }
    Holder program("minicom", {pty.slave}, {pty.master});
    EXPECT_EQ(portAccessState(pty.device),
              "in use by process " + std::to_string(program.pid()) + " (minicom)");
    const auto holder = findPortHolder(pty.device);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, program.pid());
    EXPECT_EQ(portAccessState("/nonexistent/ttyZAR4"), "no such device");
}

TEST(PortAccess, DeniedNamesTheGroupThatWouldGrantIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the device away and drop to an unprivileged user";
    }
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) {
        GTEST_SKIP() << "this system has no group dialout";
    }
    Pty pty;
    ASSERT_GE(pty.slave, 0);
    ASSERT_EQ(::chown(pty.device.c_str(), 0, dialout->gr_gid), 0);
    const struct {
        mode_t mode;
        const char* state;
    } cases[] = {
        {0660, "permission denied (group dialout)"},
        {0600, "permission denied"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(pty.device.c_str(), c.mode), 0);
        EXPECT_EQ(accessStateAsNobody(pty.device), c.state) << std::oct << c.mode;
    }
}

} // namespace
} // namespace zar4
