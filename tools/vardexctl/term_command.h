// `vardexctl term` and `vardexctl trace`: the device's raw output in the
// person's own terminal, converted as the program's terminal screen converts it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vardex::ctl {

// The byte that leaves `term`: Ctrl+] (GS), as serial terminals usually have it.
inline constexpr unsigned char kTermLeaveByte = 0x1D;

// args are the words after "term". Reads the keys from standard input (raw
// mode while it is a terminal, restored on every way out), prints what the
// device sends on standard output; messages go to err.
int RunTerm(const std::vector<std::string>& args, std::ostream& err);

// args are the words after "trace". Prints what the device sends until Ctrl+C
// or the given seconds; every trace is switched off on the way out.
int RunTrace(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vardex::ctl
