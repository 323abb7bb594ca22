#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "at_command.h"
#include "command_table.h"
#include "platform/environment.h"

namespace vardex::ctl {
namespace {

namespace env = platform::env;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every subcommand's words go through the one parser: the same complaints, in
// the same form, for every option the table gives it.
TEST(CommandLine, EverySubcommandTellsTheSameUsageErrors) {
    std::set<std::string_view> names;
    for (const CommandSpec& command : Commands()) {
        SCOPED_TRACE(command.name);
        EXPECT_TRUE(names.insert(command.name).second) << "two rows of one name";
        ASSERT_NE(command.run, nullptr);
        const std::string prefix = "vardexctl " + std::string(command.name) + ": ";
        const std::string usage = "usage: vardexctl " + std::string(command.name) + " ";

        ParsedArgs parsed = ParseArgs(command, {"--bogus", "--help"});
        ASSERT_EQ(parsed.status, kExitOk) << "--help wins over an error";
        EXPECT_EQ(parsed.message.rfind(usage, 0), 0U) << parsed.message;

        parsed = ParseArgs(command, {"--bogus"});
        ASSERT_EQ(parsed.status, kExitUsage);
        EXPECT_EQ(parsed.message.rfind(prefix + "unknown option '--bogus'\n" + usage, 0), 0U)
            << parsed.message;

        for (const OptionSpec& option : command.options) {
            const std::string name(option.name);
            EXPECT_TRUE(Contains(CommandUsage(command), name));
            if (option.value.empty()) {
                continue;
            }
            for (const std::vector<std::string>& words :
                 {std::vector<std::string>{name}, std::vector<std::string>{name, ""}}) {
                parsed = ParseArgs(command, words);
                ASSERT_EQ(parsed.status, kExitUsage);
                EXPECT_TRUE(Contains(parsed.message, prefix + NeedsValue(option) + "\n"))
                    << parsed.message;
            }
            parsed = ParseArgs(command, {name, "1", name, "2"});
            if (option.repeatable) {
                EXPECT_EQ(parsed.Values(name), (std::vector<std::string>{"1", "2"}));
                continue;
            }
            ASSERT_EQ(parsed.status, kExitUsage);
            EXPECT_TRUE(Contains(parsed.message, prefix + name + " given twice\n"))
                << parsed.message;
        }
    }
}

TEST(CommandLine, OperandsKeepTheirOrderAndPlace) {
    // at's commands may look like options once the first one is given.
    ParsedArgs parsed = ParseArgs(CommandNamed("at"), {"--json", "ATI", "--help", "-x"});
    ASSERT_FALSE(parsed.status);
    EXPECT_TRUE(parsed.Has("--json"));
    EXPECT_EQ(parsed.Operands(), (std::vector<std::string>{"ATI", "--help", "-x"}));

    // write applies its words in the order given: a later one overrides a file.
    parsed = ParseArgs(CommandNamed("write"), {"a=1", "--from", "f.json", "--", "--b=2"});
    ASSERT_FALSE(parsed.status);
    ASSERT_EQ(parsed.Items().size(), 3U);
    EXPECT_EQ(parsed.Items()[1].text, "f.json");
    EXPECT_EQ(parsed.Items()[2].text, "--b=2");

    parsed = ParseArgs(CommandNamed("upgrade"), {"-y", "image", "other"});
    ASSERT_EQ(parsed.status, kExitUsage);
    EXPECT_TRUE(Contains(parsed.message, "unexpected argument 'other'"));
    EXPECT_EQ(ParseArgs(CommandNamed("trace"), {}).status, kExitUsage) << "--layers is required";
}

// Each program lists the variables it reads, and only those, within 80 columns.
TEST(Environment, HelpSectionsListTheirProgramsVariables) {
    for (const env::Program program : {env::kConfig, env::kCtl, env::kSim}) {
        const std::string section = env::HelpSection(program);
        std::istringstream lines(section);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 80U) << line;
        }
        for (const env::Variable& variable : env::Variables()) {
            EXPECT_EQ(Contains(section, "  " + std::string(variable.name) + " "),
                      (variable.readers & program) != 0)
                << variable.name;
        }
    }
}

}  // namespace
}  // namespace vardex::ctl
