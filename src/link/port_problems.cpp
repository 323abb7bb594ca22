#include "link/port_problems.h"

#include <unistd.h>

#include <cerrno>

#include "link/channel.h"
#include "platform/net_line.h"
#include "platform/port_users.h"

namespace vardex::link {

namespace {

constexpr const char* kModemManager = "ModemManager";

std::string Refused(const std::string& path) {
    const std::string group = vardex::platform::DeviceGroup(path);
    if (group.empty() || group == "root") {
        return "You may not open " + path +
               ". Ask the administrator of this computer for read and write access to it.";
    }
    return "You may not open " + path + ": it belongs to the group '" + group +
           "'. Join that group with\n    sudo usermod -aG " + group +
           " $USER\nthen log out and in again (a new group counts only from the next login).";
}

std::string StopModemManager() {
    return "ModemManager opens modem ports to find out what they are. Stop it with\n"
           "    sudo systemctl stop ModemManager\n"
           "or install the udev rule of the README that tells it to leave the varDex alone, "
           "then try again.";
}

// A network port whose server took the connection and then closed it: ser2net
// does that when it cannot open its own serial port, and a server may do it to
// a second client.
bool ServerClosed(const std::string& path, const vardex::platform::SysError& error) {
    return vardex::platform::IsNetPortName(path) &&
           (error.code == EIO || error.code == ECONNRESET || error.code == EPIPE);
}

std::string ServerClosedText(const std::string& port, const std::string& because) {
    return "Cannot open " + port + because +
           ": the port server closed the connection. It could not open its own serial port "
           "(its log says why), or it serves another program already.";
}

}  // namespace

std::string DescribeBusy(const std::string& path,
                         const std::vector<vardex::platform::PortUser>& users,
                         bool modem_manager_running) {
    if (!users.empty()) {
        const vardex::platform::PortUser& user = users.front();
        const std::string text =
            path + " is in use by " + user.name + " (process " + std::to_string(user.pid) + "). ";
        return text + (user.name == kModemManager ? StopModemManager()
                                                  : "Close that program and try again.");
    }
    const std::string text = path + " is in use by another program. ";
    if (modem_manager_running) {
        return text + StopModemManager();
    }
    return text +
           "Close the program that uses it (a terminal program, or another copy of this one) "
           "and try again.";
}

bool WorthReporting(const vardex::platform::SysError& error) {
    return error.code == EACCES || error.code == EPERM || error.code == EBUSY;
}

bool WorthReportingPort(const std::string& path, const vardex::platform::SysError& error) {
    return WorthReporting(error) || (error.Failed() && vardex::platform::IsNetPortName(path));
}

std::string DescribeAccessProblem(const std::string& path,
                                  const vardex::platform::SysError& error) {
    if (ServerClosed(path, error)) {
        return ServerClosedText(path, " (" + error.Message() + ")");
    }
    switch (error.code) {
        case EACCES:
        case EPERM:
            return Refused(path);
        case EBUSY:
            if (vardex::platform::IsNetPortName(path)) {
                // Held through the server, from any computer: nothing here can
                // name the holder.
                return path +
                       " is in use by another program: its port server serves one at a time. "
                       "Close the program that uses it, on this or another computer, and try "
                       "again.";
            }
            return DescribeBusy(path, vardex::platform::FindPortUsers(path),
                                vardex::platform::RunningProcess(kModemManager));
        default:
            return "Cannot open " + path + (error.Failed() ? " (" + error.Message() + ")" : "") +
                   ".";
    }
}

std::string DescribeOpenFailure(OpenResult result, const std::string& port, const std::string& path,
                                const vardex::platform::SysError& error) {
    const std::string because = error.Failed() ? " (" + error.Message() + ")" : std::string();
    if (ServerClosed(path, error)) {
        // Whichever step met it: the line settings, the status, the first read.
        return ServerClosedText(port, because);
    }
    switch (result) {
        case OpenResult::kFailed:
            if (WorthReporting(error)) {
                return DescribeAccessProblem(path, error);
            }
            if (error.code == ENOENT) {
                return port + " does not exist" + because + ".";
            }
            return "Cannot open " + port + because + ".";
        case OpenResult::kGetSettingsFailed:
            return "Cannot read the line settings of " + port + because +
                   ": it is not a serial port, or its device has gone.";
        case OpenResult::kSetSettingsFailed:
            return "Cannot set the line settings of " + port + because + ".";
        case OpenResult::kSetTimeoutsFailed:
            return "Cannot set the time-outs of " + port + because + ".";
        case OpenResult::kModemStatusFailed:
            return "Cannot read the modem status of " + port + because + ".";
        case OpenResult::kNotReady:
            return "No varDex is ready on " + port +
                   ": CTS or DSR stayed off after the initialisation. Check that the varDex is "
                   "switched on and that its cable is plugged in at both ends, then try again.";
        case OpenResult::kOk:
            break;
    }
    return "Cannot open " + port + because + ".";
}

std::string DescribePortFailures(const std::vector<PortFailure>& failures) {
    std::string text;
    for (const PortFailure& failure : failures) {
        text += (text.empty() ? "" : "\n\n") + failure.name +
                (failure.name == failure.path ? std::string() : " (" + failure.path + ")") + ": " +
                DescribeAccessProblem(failure.path, failure.error);
    }
    return text;
}

}  // namespace vardex::link
