// The control channel of vardex-sim: one text command per line, from a person
// at the simulator's standard input or from a script on its control socket.
// Each command gets a reply of one or more lines, the last of which is "ok" or
// begins with "error:" (so a script reads until one of those).
#pragma once

#include <string>
#include <string_view>

#include "pty_device.h"

namespace vardex::sim {

// The command list, as "help" prints it.
extern const std::string_view kControlHelp;

// Runs one command line on the device. Sets *close_session for "quit".
std::string RunControlCommand(PtyDevice& device, std::string_view line, bool* close_session);

}  // namespace vardex::sim
