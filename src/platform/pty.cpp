#include "pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace vardex {

bool PtyPair::Create(PtyPair* pair, SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    PtyPair made;
    made.master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (made.master_ < 0) {
        err = SysError::FromErrno("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (::grantpt(made.master_) != 0 || ::unlockpt(made.master_) != 0 ||
        ::ptsname_r(made.master_, name, sizeof name) != 0) {
        err = SysError::FromErrno("unlock pseudo-terminal");
        return false;
    }
    made.slave_path_ = name;
    made.keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (made.keeper_ < 0) {
        err = SysError::FromErrno("open pseudo-terminal slave");
        return false;
    }
    termios tio{};
    if (::tcgetattr(made.keeper_, &tio) != 0) {
        err = SysError::FromErrno("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(made.keeper_, TCSANOW, &tio) != 0) {
        err = SysError::FromErrno("tcsetattr");
        return false;
    }
    *pair = std::move(made);
    return true;
}

PtyPair::~PtyPair() {
    CloseMaster();
    CloseKeeper();
}

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      keeper_(std::exchange(other.keeper_, -1)),
      slave_path_(std::move(other.slave_path_)) {}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
    if (this != &other) {
        CloseMaster();
        CloseKeeper();
        master_ = std::exchange(other.master_, -1);
        keeper_ = std::exchange(other.keeper_, -1);
        slave_path_ = std::move(other.slave_path_);
    }
    return *this;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PtyPair::CloseKeeper() {
    if (keeper_ >= 0) {
        ::close(keeper_);
        keeper_ = -1;
    }
}

}  // namespace vardex
