#include "port_option.h"

#include "link/device_port.h"
#include "link/tapi_line.h"

namespace vardex::ctl {

bool OpenPortByPath(CDevicePort& port, const std::string& path, std::string* why) {
    CTapiLine& line = port.Line();
    const int opened = line.OpenPort(path, 115200);
    if (opened != 0) {
        *why = DescribeOpenFailure(opened, path, path, line.LastOpenError());
        return false;
    }
    line.SelectDirectPort(path);
    return true;
}

}  // namespace vardex::ctl
