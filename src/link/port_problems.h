// Why a port could not be used, in words that say what to do about it: the
// group to join and the command for it when a port is refused, the program
// holding a busy port, a device that does not signal that it is ready.
#pragma once

#include <string>
#include <vector>

#include "link/channel.h"
#include "platform/port_users.h"
#include "platform/sys_error.h"

namespace vardex::link {

// A port the search could not use for a reason the person can act on.
struct PortFailure {
    std::string name;  // "COM3", or a modem line's name
    std::string path;  // the device path
    vardex::platform::SysError error;
};

// Refusals and busy ports are worth telling after a search found nothing; a
// missing COM port is not. A network port that could not be reached is (see
// WorthReportingPort): someone mapped it on purpose.
bool WorthReporting(const vardex::platform::SysError& error);
bool WorthReportingPort(const std::string& path, const vardex::platform::SysError& error);

// What happened to the port at path and what the person can do; for errors
// other than refused (EACCES, EPERM) and busy (EBUSY) just the system's words.
std::string DescribeAccessProblem(const std::string& path, const vardex::platform::SysError& error);

// A busy port: who holds it (the first of users, when any could be found) and
// what to do; ModemManager gets its own advice.
std::string DescribeBusy(const std::string& path,
                         const std::vector<vardex::platform::PortUser>& users,
                         bool modem_manager_running);

// The sentences for a result of opening or configuring a port (OpenPort and
// Connect). port names it for the person ("/dev/ttyS0", or a device's name
// with its path).
std::string DescribeOpenFailure(OpenResult result, const std::string& port, const std::string& path,
                                const vardex::platform::SysError& error);

// The failures of a search, one paragraph each; "" when there are none.
std::string DescribePortFailures(const std::vector<PortFailure>& failures);

}  // namespace vardex::link
