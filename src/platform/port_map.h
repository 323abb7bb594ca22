// Resolves the port names "COM1".."COM10" to device paths.
//
// VARDEX_PORTS, when set, is a colon-separated list of paths whose n-th entry is
// COMn (an empty entry leaves that COM unmapped). A network port,
// rfc2217://HOST:PORT (HOST may be a bracketed IPv6 literal), is one entry with
// its own colons. Otherwise COM1..COM10 are the
// first ten of the system's serial ports: /dev/ttyS* that have a UART behind them,
// then /dev/ttyUSB*, then /dev/ttyAMA*, each by number, leaving out the console.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardex::platform {

inline constexpr int kComPortCount = 10;

// The path of "COMn" (n 1..10, case-insensitive name), or nothing when unmapped.
std::optional<std::string> ResolvePortName(std::string_view com_name);

// The ten entries, index 0 = COM1; empty strings are unmapped.
std::vector<std::string> CurrentPortMap();

// Building blocks, with the roots as parameters so that tests can use a fake tree.
std::vector<std::string> ParsePortList(std::string_view list);
std::vector<std::string> SystemSerialPorts(const std::string& sysfs_tty = "/sys/class/tty",
                                           const std::string& dev = "/dev");

// A display form for messages and lists: "COM3 (/dev/ttyUSB0)", or the name alone.
std::string DescribePort(std::string_view com_name);

}  // namespace vardex::platform
