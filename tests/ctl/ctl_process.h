#pragma once
// zar4ctl as a child process: arguments in, standard input from a string, standard output and
// standard error collected, exit status out. Standard input and output are pipes, so the
// program sees no terminal.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zar4::test {

// In a forked child: becomes `program` with `args`; ends the child when it cannot.
[[noreturn]] inline void execProgram(const std::string& program,
                                     const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

struct CtlResult {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

class CtlProcess {
public:
    CtlProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& input = "") {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            execProgram(program, args);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0)
            ADD_FAILURE() << "cannot feed standard input";
        ::close(in[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~CtlProcess() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
        if (err_ >= 0)
            ::close(err_);
    }
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    pid_t pid() const { return pid_; }
    void interrupt() { ::kill(pid_, SIGINT); }

    // Collects the output until the program ends (killing it after `limit`).
    CtlResult wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
        CtlResult result;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (out_ >= 0 || err_ >= 0) {
            pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
            int n = ::poll(fds, 2, 100);
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "zar4ctl did not end in time";
                ::kill(pid_, SIGKILL);
                deadline += std::chrono::seconds(5);
            }
            if (n <= 0)
                continue;
            drain(fds[0], out_, result.out);
            drain(fds[1], err_, result.err);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }

private:
    static void drain(const pollfd& p, int& fd, std::string& to) {
        if (fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)))
            return;
        char buffer[4096];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            to.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(fd);
            fd = -1;
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool waited_ = false;
};

} // namespace zar4::test
