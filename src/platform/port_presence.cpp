#include "port_presence.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>

#include "net_line.h"

namespace vardex::platform {
namespace {

constexpr long kDevptsMagic = 0x1cd1;  // the pseudo-terminals' file system

}  // namespace

PortPresence::PortPresence(const std::string& name) : name_(name) {
    struct stat info {};
    // A network port has no name in the file system; a lost connection is its
    // vanishing, and the channel itself reports that.
    if (name_.empty() || IsNetPortName(name_) || ::lstat(name_.c_str(), &info) != 0) {
        return;
    }
    if (S_ISLNK(info.st_mode)) {
        name_tells_ = true;
        return;
    }
    struct statfs fs {};
    name_tells_ = ::statfs(name_.c_str(), &fs) != 0 || static_cast<long>(fs.f_type) != kDevptsMagic;
}

bool PortPresence::Vanished() const {
    if (!name_tells_) {
        return false;
    }
    struct stat info {};
    return ::lstat(name_.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

}  // namespace vardex::platform
