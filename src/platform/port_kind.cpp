#include "port_kind.h"

#include <filesystem>

#include "net_line.h"

namespace vardex::platform {

bool IsUsbModemPort(const std::string& path, const std::string& sysfs_tty) {
    namespace fs = std::filesystem;
    if (IsNetPortName(path)) {
        return false;  // an RS-232 port behind a port server
    }
    std::error_code ec;
    const fs::path node = fs::canonical(path, ec);
    if (ec || !node.has_filename()) {
        return false;
    }
    // /sys/class/tty/ttyACM0/device/driver names the driver: cdc_acm for a
    // modem-class USB device.
    const fs::path driver =
        fs::read_symlink(fs::path(sysfs_tty) / node.filename() / "device" / "driver", ec);
    return !ec && driver.filename() == "cdc_acm";
}

}  // namespace vardex::platform
