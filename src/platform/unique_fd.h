// One owner of a file descriptor: it closes the descriptor when it goes, so no
// path out of a function leaks one and none is closed twice.
//
// A descriptor handed on to another owner (a FILE*, a notifier, a thread that
// closes it later, a child across exec) leaves through release().
#pragma once

#include <unistd.h>

#include <utility>

namespace vardex::platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (if any) and takes fd.
    void reset(int fd = -1) { (void)CloseOnce(std::exchange(fd_, fd)); }

    // Closes now and says whether close reported an error (errno tells which):
    // for a file just written, a failed close can mean its data never arrived.
    // Empty afterwards either way.
    bool close() { return CloseOnce(release()); }

private:
    // close() is called once and never again on EINTR: on Linux the descriptor
    // is released even then, and a second close could hit a descriptor another
    // thread has just been given.
    static bool CloseOnce(int fd) { return fd < 0 || ::close(fd) == 0; }

    int fd_ = -1;
};

// pipe2() into two owners: ends[0] reads, ends[1] writes. False with errno set,
// the owners left as they were.
inline bool OpenPipe(UniqueFd (&ends)[2], int flags) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, flags) != 0) {
        return false;
    }
    ends[0].reset(fds[0]);
    ends[1].reset(fds[1]);
    return true;
}

}  // namespace vardex::platform
