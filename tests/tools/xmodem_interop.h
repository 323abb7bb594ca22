// lrzsz's XMODEM receiver behind a pseudo-terminal that socat provides: the
// receiver sits on a socket pair (on a terminal of its own it would flush its
// input after every answer), the program opens the pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_files.h"

extern char** environ;

namespace vardex::test {

inline bool ProgramExists(const std::string& name) {
    const std::string command = "command -v " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class ChildProcess {
public:
    // Starts argv in folder dir; its standard error comes back through a pipe.
    bool Start(const std::vector<std::string>& argv, const std::string& dir) {
        int err_pipe[2];
        if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        const int rc = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(err_pipe[1]);
        err_fd_ = err_pipe[0];
        return rc == 0;
    }
    ~ChildProcess() {
        if (pid_ > 0 && !Wait(std::chrono::milliseconds(0))) {
            ::kill(pid_, SIGTERM);
            Wait(std::chrono::seconds(5));
        }
        if (err_fd_ >= 0) {
            ::close(err_fd_);
        }
    }
    // Reads standard error until a line holds marker; what follows the marker
    // on that line, or empty after limit.
    std::string WaitForErrLine(const std::string& marker, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto at = err_.find(marker);
            if (at != std::string::npos) {
                const auto eol = err_.find('\n', at);
                if (eol != std::string::npos) {
                    return err_.substr(at + marker.size(), eol - at - marker.size());
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd fd{err_fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char buffer[512];
            const ssize_t n = ::read(err_fd_, buffer, sizeof buffer);
            if (n <= 0) {
                return {};
            }
            err_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Bounded wait for the child's end, through a process descriptor.
    bool Wait(std::chrono::milliseconds limit) {
        if (exited_) {
            return true;
        }
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (pidfd >= 0) {
            pollfd fd{pidfd, POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(limit.count()));
            ::close(pidfd);
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = status;
        }
        return exited_;
    }
    int Status() const { return status_; }

private:
    pid_t pid_ = -1;
    int err_fd_ = -1;
    std::string err_;
    bool exited_ = false;
    int status_ = -1;
};

// socat with rx behind it; Start returns the pseudo-terminal's path. rx
// writes only below its working folder, so the file is named relative to dir.
class RxReceiver {
public:
    std::string Start(const std::string& dir, const std::string& out_name) {
        if (!child_.Start({"socat", "-d", "-d", "pty,raw,echo=0", "EXEC:rx -b -q " + out_name},
                          dir)) {
            return {};
        }
        return child_.WaitForErrLine("PTY is ", std::chrono::seconds(10));
    }
    bool Wait(std::chrono::milliseconds limit) { return child_.Wait(limit); }

private:
    ChildProcess child_;
};

}  // namespace vardex::test
