// What each subcommand takes on its command line, and the one parser that
// reads every subcommand's words from that description, so that an unknown
// option, a missing value or an option given twice is told the same way
// everywhere.
#pragma once

#include <cstdio>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vardex::ctl {

enum class Reason;
struct CommandCall;

struct OptionSpec {
    std::string_view name;
    // What follows the option in the synopsis ("PATH"); empty for a switch.
    std::string_view value;
    std::string_view alias = {};
    // The end of "NAME needs ..." when the value is missing or empty.
    std::string_view needs = "a value";
    bool required = false;
    // May be given more than once (--port for several devices).
    bool repeatable = false;
};

// What a subcommand takes after its options.
enum class Operands { kNone, kOne, kMany };

struct CommandSpec {
    std::string_view name;
    // Beside the synopsis in the program's usage; a line break continues it
    // under itself.
    std::string_view summary;
    std::span<const OptionSpec> options;
    Operands operands = Operands::kNone;
    // The operands in the synopsis ("COMMAND...", "FILE").
    std::string_view operand_text = {};
    // Every word from the first operand on is an operand (at's commands may
    // begin with a dash).
    bool options_end_at_operand = false;
    // The usage text after its synopsis.
    std::string_view description;
    // Runs the subcommand on the program's own streams.
    int (*run)(const CommandCall& call) = nullptr;
};

// "[--port PATH] [--json] COMMAND...": the options and operands as the usage shows them.
std::string Synopsis(const CommandSpec& command);
// The text of `vardexctl NAME --help`.
std::string CommandUsage(const CommandSpec& command);
// "vardexctl NAME: PROBLEM" and the usage, as every usage error ends.
std::string UsageError(const CommandSpec& command, std::string_view problem);
// Tells UsageError on err and keeps problem, of kind reason, as the command's
// failure; returns kExitUsage.
int TellUsageError(const CommandSpec& command, Reason reason, const std::string& problem,
                   std::FILE* err);
int TellUsageError(const CommandSpec& command, Reason reason, const std::string& problem,
                   std::ostream& err);
// "NAME needs ...": for a missing value and for a value the option cannot take.
std::string NeedsValue(const OptionSpec& option);

class ParsedArgs {
public:
    struct Item {
        const OptionSpec* option;  // nullptr for an operand
        std::string text;          // the option's value, or the operand
    };

    // The words in the order given: options that take a value with it, switches
    // with an empty text, operands.
    const std::vector<Item>& Items() const { return items_; }
    bool Has(std::string_view option) const;
    // The option's value; empty when it was not given.
    std::string Value(std::string_view option) const;
    // Every value of a repeatable option, in the order given.
    std::vector<std::string> Values(std::string_view option) const;
    std::vector<std::string> Operands() const;

    // Set when the subcommand is not to run: --help asked for (status 0, the
    // usage for standard output) or a usage error (status 2, the message for
    // standard error).
    std::optional<int> status;
    std::string message;
    // A usage error's complaint alone, without the usage.
    std::string problem;

    // Prints message where it belongs (a usage error kept as the command's
    // failure); returns *status.
    int Finish(std::ostream& out, std::ostream& err) const;
    int Finish(std::ostream& out, std::FILE* err) const;

private:
    friend ParsedArgs ParseArgs(const CommandSpec& command, const std::vector<std::string>& args);
    std::vector<Item> items_;
};

// Reads the words after the subcommand's name. --help (-h) among the options
// wins over any error; "--" ends the options. An empty value counts as a
// missing one (an empty --port would search every port).
ParsedArgs ParseArgs(const CommandSpec& command, const std::vector<std::string>& args);

// What a handler is given: its own row, and its words as that row parsed them
// (once, where the table's handlers are called). A handler tells a parse that
// set status itself, on its own streams.
struct CommandCall {
    const CommandSpec& command;
    ParsedArgs parsed;
};

// The call a handler gets for these words.
CommandCall CallWith(const CommandSpec& command, const std::vector<std::string>& args);

}  // namespace vardex::ctl
