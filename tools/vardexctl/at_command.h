// `vardexctl at`: exchange AT command lines with the device.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vardex::ctl {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitLinkDown = 1;
inline constexpr int kExitUsage = 2;

// args are the words after "at". Replies go to out, messages to err.
int RunAt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vardex::ctl
