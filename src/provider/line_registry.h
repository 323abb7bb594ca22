// Which devices the provider offers as lines: every USB modem-class serial
// device (/dev/ttyACM*, named after its USB product string) and every path in
// VARDEX_LINES (an entry may be a pattern such as /tmp/usb/ttyACM*, standing
// for every path that matches), each once, in that order.
#pragma once

#include <string>
#include <vector>

namespace vardex::provider {

struct LineDevice {
    std::string path;
    std::string product;  // the line's name is the product followed by " USB Modem"
};

std::vector<LineDevice> DiscoverLines(const std::string& sysfs_tty = "/sys/class/tty",
                                      const std::string& dev = "/dev");

// Product string for paths named by VARDEX_LINES, which have no USB descriptor.
inline constexpr const char* kConfiguredLineProduct = "varDex";

}  // namespace vardex::provider
