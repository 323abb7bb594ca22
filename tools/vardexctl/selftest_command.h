// `vardexctl selftest`: the hardware tests in a terminal.
#pragma once

#include <cstdio>
#include <ostream>

namespace vardex::ctl {

struct CommandCall;

// Exit status: 0 every test passed, 1 a test failed (or no device), 2 bad
// usage, 3 a test was interrupted.
int RunSelfTest(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err);

}  // namespace vardex::ctl
