#include "port_option.h"

#include "link/device_port.h"
#include "link/tapi_line.h"
#include "platform/environment.h"
#include "platform/port_map.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::ctl {

Expected<void> OpenPortByPath(CDevicePort& port, const std::string& path) {
    CTapiLine& line = port.Line();
    const OpenResult opened = line.OpenPort(path, kLineBaud);
    if (opened != OpenResult::kOk) {
        return Unexpected{DescribeOpenFailure(opened, path, path, line.LastOpenError())};
    }
    line.SelectDirectPort(path);
    return {};
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
