// `vardexctl at`: exchange AT command lines with the device.
#pragma once

#include <ostream>

namespace vardex::ctl {

struct CommandCall;

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitLinkDown = 1;
inline constexpr int kExitUsage = 2;
// The device waits in its firmware loader: only `vardexctl upgrade FILE` helps.
inline constexpr int kExitInLoader = 3;
// A second Ctrl+C ends the program at once, with the shell's status for SIGINT.
inline constexpr int kExitInterrupted = 130;

// What to do about a device found in its loader, for the end of any subcommand.
inline constexpr const char* kLoaderAdvice =
    "the varDex is waiting in its firmware loader (a firmware upgrade was interrupted); "
    "install a firmware image with: vardexctl upgrade FILE";

// call holds the words after "at". Replies go to out, messages to err.
int RunAt(const CommandCall& call, std::ostream& out, std::ostream& err);

}  // namespace vardex::ctl
