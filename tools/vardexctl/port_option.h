// `--port PATH`: the port a subcommand opens itself instead of searching.
#pragma once

#include <string>

#include "platform/expected.h"

namespace vardex::link {
class CDevicePort;
}

namespace vardex::ctl {

// Opens the port at path as the search leaves a chosen port open, with the
// device named after it; a failure, what the person is told, when the port
// cannot be used.
platform::Expected<void> OpenPortByPath(link::CDevicePort& port, const std::string& path);

// For a command that opens its own port: leaves a given *port_name, or makes
// an empty one what COM1 maps to; false when COM1 maps to nothing.
bool PortOrComOne(std::string* port_name);
// What such a command says then.
std::string ComOneUnmapped();

}  // namespace vardex::ctl
