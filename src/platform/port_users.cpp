#include "port_users.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

namespace vardex {
namespace {

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

}  // namespace

std::vector<PortUser> FindPortUsers(const std::string& path, const std::string& proc) {
    std::vector<PortUser> users;
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) {
        return users;
    }
    const std::string self = std::to_string(::getpid());
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
            if (::stat(fd->path().c_str(), &open_file) == 0 && S_ISCHR(open_file.st_mode) &&
                open_file.st_rdev == device.st_rdev) {
                users.push_back({std::stoi(pid), CommandName(it->path())});
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
    if (::stat(path.c_str(), &info) != 0) {
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

}  // namespace vardex
