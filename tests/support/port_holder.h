// Another program holding a port: a child process that opens and locks it, as a
// terminal program or ModemManager would, until the holder is destroyed.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace vardex::test {

class PortHolder {
public:
    // name: the child's command name, as /proc shows it (at most 15 characters).
    PortHolder(const std::string& path, const char* name) {
        int ready[2], release[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only system calls from here: the parent may have other threads.
            ::close(ready[0]);
            ::close(release[1]);  // else the read below never sees the end
            ::prctl(PR_SET_NAME, name, 0, 0, 0);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char byte = 0;
            (void)!::read(release[0], &byte, 1);  // ends when the parent closes its side
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = '0';
        held_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~PortHolder() {
        if (release_ >= 0) {
            ::close(release_);
        }
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool Held() const { return held_; }
    int Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

}  // namespace vardex::test
