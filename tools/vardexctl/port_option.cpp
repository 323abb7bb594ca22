#include "port_option.h"

#include "link/device_port.h"
#include "link/tapi_line.h"
#include "platform/environment.h"
#include "platform/port_map.h"

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

bool PortOrComOne(std::string* port_name) {
    if (!port_name->empty()) {
        return true;
    }
    const auto com1 = ResolvePortName("COM1");
    if (com1) {
        *port_name = *com1;
    }
    return com1.has_value();
}

std::string ComOneUnmapped() {
    return std::string("COM1 is not mapped to any port: give --port PATH or set ") + env::kPorts;
}

}  // namespace vardex::ctl
