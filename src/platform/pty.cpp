#include "pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace vardex::platform {

bool PtyPair::Create(PtyPair* pair, SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    PtyPair made;
    made.master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!made.master_) {
        err = SysError::FromErrno("posix_openpt");
        return false;
    }
    char name[128] = {};
    const int master = made.master_.get();
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        err = SysError::FromErrno("unlock pseudo-terminal");
        return false;
    }
    made.slave_path_ = name;
    made.keeper_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!made.keeper_) {
        err = SysError::FromErrno("open pseudo-terminal slave");
        return false;
    }
    termios tio{};
    if (::tcgetattr(made.keeper_.get(), &tio) != 0) {
        err = SysError::FromErrno("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(made.keeper_.get(), TCSANOW, &tio) != 0) {
        err = SysError::FromErrno("tcsetattr");
        return false;
    }
    *pair = std::move(made);
    return true;
}

}  // namespace vardex::platform
