// Several devices at once: `--port` given more than once, or `--all` for every
// varDex the search finds. Each device gets its own vardexctl, with its own
// channel, running in parallel; the results are printed in the order of the
// ports, one per device (with --json one JSON object a line, with its port and
// exit status), and the exit status is the worst of them.
#pragma once

#include <string>
#include <vector>

namespace vardex::ctl {

struct CommandCall;

// Runs a call of identify, read or apply as its words ask: on one device
// through single, on several through a vardexctl each.
int RunPerDevice(const CommandCall& call, int (*single)(const CommandCall& one));

// The ports on which the search finds a varDex, in the search's order; a port
// whose varDex waits in its loader is among them (the search stops there, which
// *note then says). *silent, when given, gets each port VARDEX_PORTS names on
// which no varDex answered.
std::vector<std::string> FindEveryVarDex(std::string* note,
                                         std::vector<std::string>* silent = nullptr);

}  // namespace vardex::ctl
