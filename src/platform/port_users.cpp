#include "port_users.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "net_line.h"

namespace vardex::platform {
namespace {

// The slave side of Unix 98 pseudo-terminals.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

namespace fs = std::filesystem;

bool IsPid(const std::string& name) {
    if (name.empty() || name.size() > 10) {
        return false;
    }
    for (const char c : name) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

std::string CommandName(const fs::path& process) {
    std::ifstream in(process / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Processes holding a lock on the node (as this program and the provider lock
// the ports they open): /proc/locks is readable by everyone and names the
// process that took the lock, whoever it runs as.
std::vector<int> LockingPids(const struct stat& node, const std::string& proc) {
    std::vector<int> pids;
    std::ifstream locks(fs::path(proc) / "locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 4711 00:18:3 0 EOF"
        std::istringstream words(line);
        std::string number, kind, mode, access, where;
        int pid = 0;
        if (!(words >> number >> kind >> mode >> access >> pid >> where) || kind == "->") {
            continue;
        }
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            major == ::major(node.st_dev) && minor == ::minor(node.st_dev) &&
            inode == node.st_ino) {
            pids.push_back(pid);
        }
    }
    return pids;
}

// Whether an open file is the port: the same device, through whichever node it
// was opened. Pseudo-terminal numbers repeat in every devpts instance (a
// container's, a chroot's), so there the node itself must be the same.
bool SameDevice(const struct stat& open_file, const struct stat& device) {
    if (!S_ISCHR(open_file.st_mode) || open_file.st_rdev != device.st_rdev) {
        return false;
    }
    const unsigned major_number = major(device.st_rdev);
    const bool pseudo_terminal = major_number >= kFirstPtyMajor && major_number <= kLastPtyMajor;
    return !pseudo_terminal || open_file.st_dev == device.st_dev;
}

}  // namespace

std::vector<PortUser> FindPortUsers(const std::string& path, const std::string& proc) {
    std::vector<PortUser> users;
    struct stat device {};
    // Whoever holds a network port does so on the server's machine.
    if (IsNetPortName(path) || ::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) {
        return users;
    }
    const std::string self = std::to_string(::getpid());
    const auto known = [&users](int pid) {
        for (const PortUser& user : users) {
            if (user.pid == pid) {
                return true;
            }
        }
        return false;
    };
    // The lock's holder is the one that keeps others out: named first.
    for (const int pid : LockingPids(device, proc)) {
        if (pid != ::getpid() && !known(pid)) {
            users.push_back({pid, CommandName(fs::path(proc) / std::to_string(pid))});
        }
    }
    std::error_code ec;
    for (fs::directory_iterator it(proc, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (!IsPid(pid) || pid == self) {
            continue;
        }
        std::error_code fd_ec;
        for (fs::directory_iterator fd(it->path() / "fd", fd_ec), fd_end; !fd_ec && fd != fd_end;
             fd.increment(fd_ec)) {
            struct stat open_file {};
            if (::stat(fd->path().c_str(), &open_file) == 0 && SameDevice(open_file, device)) {
                if (!known(std::stoi(pid))) {
                    users.push_back({std::stoi(pid), CommandName(it->path())});
                }
                break;
            }
        }
    }
    return users;
}

bool RunningProcess(const std::string& name, const std::string& proc) {
    std::error_code ec;
    for (fs::directory_iterator it(proc, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsPid(it->path().filename().string()) && CommandName(it->path()) == name) {
            return true;
        }
    }
    return false;
}

std::string DeviceGroup(const std::string& path) {
    struct stat info {};
    if (IsNetPortName(path) || ::stat(path.c_str(), &info) != 0) {
        return {};
    }
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}

}  // namespace vardex::platform
