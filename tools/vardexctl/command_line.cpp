#include "command_line.h"

#include "at_command.h"
#include "failure.h"

namespace vardex::ctl {
namespace {

// A usage's synopsis is wrapped to the terminal's width.
constexpr std::size_t kUsageWidth = 80;

const OptionSpec* FindOption(const CommandSpec& command, std::string_view word) {
    for (const OptionSpec& option : command.options) {
        if (word == option.name || (!option.alias.empty() && word == option.alias)) {
            return &option;
        }
    }
    return nullptr;
}

bool IsOptionWord(const std::string& word) {
    return word.size() > 1 && word[0] == '-';
}

}  // namespace

std::string Synopsis(const CommandSpec& command) {
    std::string text;
    for (const OptionSpec& option : command.options) {
        std::string item(option.name);
        if (!option.value.empty()) {
            item += ' ';
            item += option.value;
        }
        text += text.empty() ? "" : " ";
        text += option.required ? item : "[" + item + "]";
        if (option.repeatable) {
            text += "...";
        }
    }
    if (!command.operand_text.empty()) {
        text += text.empty() ? "" : " ";
        text += command.operand_text;
    }
    return text;
}

std::string CommandUsage(const CommandSpec& command) {
    const std::string head = "usage: vardexctl " + std::string(command.name) + " ";
    const std::string synopsis = Synopsis(command);
    std::string text = head;
    std::size_t column = head.size();
    bool first = true;
    // Items break only between brackets: "[--port PATH]" stays whole.
    std::size_t start = 0;
    while (start < synopsis.size()) {
        std::size_t end = start;
        int depth = 0;
        while (end < synopsis.size() && (depth > 0 || synopsis[end] != ' ')) {
            depth += synopsis[end] == '[' ? 1 : synopsis[end] == ']' ? -1 : 0;
            ++end;
        }
        const std::size_t length = end - start;
        if (!first && column + 1 + length > kUsageWidth) {
            text += "\n" + std::string(head.size(), ' ');
            column = head.size();
        } else if (!first) {
            text += ' ';
            ++column;
        }
        text += synopsis.substr(start, length);
        column += length;
        first = false;
        start = end + 1;
    }
    return text + "\n" + std::string(command.description);
}

std::string UsageError(const CommandSpec& command, std::string_view problem) {
    return "vardexctl " + std::string(command.name) + ": " + std::string(problem) + "\n" +
           CommandUsage(command);
}

std::string NeedsValue(const OptionSpec& option) {
    return std::string(option.name) + " needs " + std::string(option.needs);
}

bool ParsedArgs::Has(std::string_view option) const {
    for (const Item& item : items_) {
        if (item.option != nullptr && item.option->name == option) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ParsedArgs::Values(std::string_view option) const {
    std::vector<std::string> values;
    for (const Item& item : items_) {
        if (item.option != nullptr && item.option->name == option) {
            values.push_back(item.text);
        }
    }
    return values;
}

std::string ParsedArgs::Value(std::string_view option) const {
    for (const Item& item : items_) {
        if (item.option != nullptr && item.option->name == option) {
            return item.text;
        }
    }
    return {};
}

std::vector<std::string> ParsedArgs::Operands() const {
    std::vector<std::string> words;
    for (const Item& item : items_) {
        if (item.option == nullptr) {
            words.push_back(item.text);
        }
    }
    return words;
}

int ParsedArgs::Finish(std::ostream& out, std::ostream& err) const {
    if (*status == kExitOk) {
        out << message;
    } else {
        err << message;
        KeepFailure(Reason::kUsage, problem);
    }
    return *status;
}

int ParsedArgs::Finish(std::ostream& out, std::FILE* err) const {
    if (*status == kExitOk) {
        out << message;
    } else {
        std::fputs(message.c_str(), err);
        KeepFailure(Reason::kUsage, problem);
    }
    return *status;
}

int TellUsageError(const CommandSpec& command, Reason reason, const std::string& problem,
                   std::FILE* err) {
    std::fputs(UsageError(command, problem).c_str(), err);
    KeepFailure(reason, problem);
    return kExitUsage;
}

int TellUsageError(const CommandSpec& command, Reason reason, const std::string& problem,
                   std::ostream& err) {
    err << UsageError(command, problem);
    KeepFailure(reason, problem);
    return kExitUsage;
}

ParsedArgs ParseArgs(const CommandSpec& command, const std::vector<std::string>& args) {
    ParsedArgs parsed;
    std::string problem;
    bool help = false;
    bool options_over = false;
    std::size_t operands = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (options_over || !IsOptionWord(word)) {
            ++operands;
            const bool taken = command.operands == Operands::kMany ||
                               (command.operands == Operands::kOne && operands == 1);
            if (!taken && problem.empty()) {
                problem = "unexpected argument '" + word + "'";
            }
            parsed.items_.push_back({nullptr, word});
            options_over = options_over || command.options_end_at_operand;
            continue;
        }
        if (word == "--") {
            options_over = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            help = true;
            continue;
        }
        const OptionSpec* option = FindOption(command, word);
        if (option == nullptr) {
            if (problem.empty()) {
                problem = "unknown option '" + word + "'";
            }
            continue;
        }
        if (problem.empty() && parsed.Has(option->name) && !option->value.empty() &&
            !option->repeatable) {
            problem = std::string(option->name) + " given twice";
        }
        std::string value;
        if (!option->value.empty()) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                if (problem.empty()) {
                    problem = NeedsValue(*option);
                }
                ++i;
                continue;
            }
            value = args[++i];
        }
        parsed.items_.push_back({option, value});
    }
    for (const OptionSpec& option : command.options) {
        if (problem.empty() && option.required && !parsed.Has(option.name)) {
            problem = std::string(option.name) + " is required";
        }
    }
    if (help) {
        parsed.status = kExitOk;
        parsed.message = CommandUsage(command);
    } else if (!problem.empty()) {
        parsed.status = kExitUsage;
        parsed.message = UsageError(command, problem);
        parsed.problem = problem;
    }
    return parsed;
}

CommandCall CallWith(const CommandSpec& command, const std::vector<std::string>& args) {
    return {command, ParseArgs(command, args)};
}

}  // namespace vardex::ctl
