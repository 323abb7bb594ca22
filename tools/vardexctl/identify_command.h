// `vardexctl identify`: find the device (or open the given port) and identify it.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

namespace vardex::params {
class CDeviceConfig;
class CVarDexConfigurationManagerApp;
}  // namespace vardex::params

namespace vardex::ctl {

struct CommandCall;

// The first steps of every job on a device: opens port when one is given
// (otherwise identification searches), then identifies the device, showing the
// search on err and asking on in/err when several answer. The first Ctrl+C
// stops the search where it can, a second ends the program. kExitOk when a
// varDex was identified; otherwise what went wrong is said on err, prefixed
// "vardexctl COMMAND: ", and the exit status is kExitLinkDown or, for a device
// waiting in its loader, kExitInLoader.
int OpenAndIdentify(params::CVarDexConfigurationManagerApp& app, const std::string& port,
                    const char* command, std::FILE* in, std::FILE* err);

int RunIdentify(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err);

// What identify prints of an identified device: a JSON object on one line, or
// labelled lines.
void PrintIdentity(params::CDeviceConfig& record, bool json, std::ostream& out);

}  // namespace vardex::ctl
