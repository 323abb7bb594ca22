// What kind of device a serial port is, from what the kernel says of it.
//
// A varDex's own USB port is a modem-class (CDC-ACM) device; a USB-serial
// adapter (ttyUSB*) carries the device's RS-232 port; a pseudo-terminal is
// neither. The name of the port says nothing reliable (a link can be called
// anything, and "ttyUSB" is an RS-232 adapter), so the driver behind the tty
// decides.
#pragma once

#include <string>

namespace vardex::platform {

// True when the port at path (a device node, or a link to one) is a USB modem
// (CDC-ACM) device. sysfs_tty is a parameter so that tests can use a fake tree.
bool IsUsbModemPort(const std::string& path, const std::string& sysfs_tty = "/sys/class/tty");

}  // namespace vardex::platform
