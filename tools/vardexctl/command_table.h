// vardexctl's subcommands, one row each: name, summary, options, usage and
// handler. The program's usage, each subcommand's --help, its parser and the
// shell completion (which asks the program) all read this one table.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

namespace vardex::ctl {

std::span<const CommandSpec> Commands();
// nullptr for a name no subcommand has.
const CommandSpec* FindCommand(std::string_view name);
// The row of a subcommand the program has; aborts for any other name. The
// handlers get theirs with their call (CommandCall).
const CommandSpec& CommandNamed(std::string_view name);
// The call RunCommand hands that subcommand's handler for these words, for
// running one handler on streams of its own.
CommandCall CallOf(std::string_view name, const std::vector<std::string>& args);

// The "commands:" part of the program's usage: each synopsis with its summary.
std::string CommandList();

}  // namespace vardex::ctl
