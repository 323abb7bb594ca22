// `vardexctl term` and `vardexctl trace`: the device's raw output in the
// person's own terminal, converted as the program's terminal screen converts it.
#pragma once

#include <ostream>

namespace vardex::ctl {

struct CommandCall;

// The byte that leaves `term`: Ctrl+] (GS), as serial terminals usually have it.
inline constexpr unsigned char kTermLeaveByte = 0x1D;

// call holds the words after "term". Reads the keys from standard input (raw
// mode while it is a terminal, restored on every way out), prints what the
// device sends on standard output; messages go to err.
int RunTerm(const CommandCall& call, std::ostream& err);

// call holds the words after "trace". Prints what the device sends until Ctrl+C
// or the given seconds; every trace is switched off on the way out.
int RunTrace(const CommandCall& call, std::ostream& err);

}  // namespace vardex::ctl
