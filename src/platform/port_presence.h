// Whether the device behind an open port is still there.
//
// A USB serial device that is unplugged hangs up every descriptor of it and its
// device node goes. A pseudo-terminal hangs up when its other side closes, and
// the program reads that as DSR off: the line dropped, the port stays open. The
// two look alike on the descriptor; the name tells them apart. A name that goes
// (a node such as /dev/ttyACM0, or a symbolic link such as the simulator offers
// a USB line under) means the device vanished. A pseudo-terminal's own
// /dev/pts/N name always goes with its other side, so its absence tells nothing.
// Neither does a network port's rfc2217:// name, which is no file.
#pragma once

#include <string>

namespace vardex::platform {

class PortPresence {
public:
    // Looks at the name now, while the device is surely there.
    explicit PortPresence(const std::string& name);

    // True once the name the port was opened under is gone, where that name
    // tells anything.
    bool Vanished() const;

private:
    std::string name_;
    bool name_tells_ = false;
};

}  // namespace vardex::platform
