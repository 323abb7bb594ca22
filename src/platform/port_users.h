// Who else has a serial device open, and which group may open it: what a person
// needs to know when a port is busy or refused.
//
// Another user's processes cannot be looked into without privileges, so a
// search can miss the holder; RunningProcess still tells whether a program
// known to take modem ports (ModemManager) runs at all.
#pragma once

#include <string>
#include <vector>

namespace vardex::platform {

struct PortUser {
    int pid = 0;
    std::string name;  // the process's command name
};

// Processes other than this one that have the device behind path open, the
// one holding a lock on it first (that is the one keeping others out). The
// root is a parameter so that tests can use a fake tree.
std::vector<PortUser> FindPortUsers(const std::string& path, const std::string& proc = "/proc");

// Whether a process with this command name runs (any user).
bool RunningProcess(const std::string& name, const std::string& proc = "/proc");

// The name of the group that owns the device node behind path, or "" when unknown.
std::string DeviceGroup(const std::string& path);

}  // namespace vardex::platform
