#include "port_option.h"

#include "link/device_port.h"
#include "link/tapi_line.h"

namespace vardex::ctl {

bool OpenPortByPath(CDevicePort& port, const std::string& path, std::string* why) {
    CTapiLine& line = port.Line();
    const int opened = line.OpenPort(path, kLineBaud);
    if (opened != kOpenOk) {
        *why = DescribeOpenFailure(opened, path, path, line.LastOpenError());
        return false;
    }
    line.SelectDirectPort(path);
    return true;
}

}  // namespace vardex::ctl
