#include "port_option.h"

#include "link/device_port.h"
#include "link/tapi_line.h"

namespace vardex::ctl {

bool OpenPortByPath(CDevicePort& port, const std::string& path, std::string* why) {
    CTapiLine& line = port.Line();
    const OpenResult opened = line.OpenPort(path, kLineBaud);
    if (opened != OpenResult::kOk) {
        *why = DescribeOpenFailure(opened, path, path, line.LastOpenError());
        return false;
    }
    line.SelectDirectPort(path);
    return true;
}

PortWord TakePortWord(const std::vector<std::string>& args, std::size_t* i, std::string* path) {
    if (args[*i] != "--port") {
        return PortWord::kNotPort;
    }
    if (*i + 1 >= args.size() || args[*i + 1].empty()) {
        return PortWord::kNoPath;
    }
    *path = args[++*i];
    return PortWord::kTaken;
}

}  // namespace vardex::ctl
