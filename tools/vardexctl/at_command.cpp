#include "at_command.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

#include "command_line.h"
#include "failure.h"
#include "link/device_port.h"
#include "port_option.h"
#include "settings/json_text.h"

using namespace vardex::settings;
using namespace vardex::link;

namespace vardex::ctl {
namespace {

bool HasControlCharacter(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

// The longest --timeout taken: ten minutes is beyond any command's answer.
constexpr unsigned kLongestTimeoutMs = 600000;

std::optional<unsigned> ParseMilliseconds(const std::string& text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > kLongestTimeoutMs) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

int RunAt(const CommandCall& call, std::ostream& out, std::ostream& err) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    std::string port_name = parsed.Value("--port");
    const bool json = parsed.Has("--json");
    unsigned timeout = kExchangeReadMs;
    if (parsed.Has("--timeout")) {
        const auto ms = ParseMilliseconds(parsed.Value("--timeout"));
        if (!ms) {
            TellFailure(
                Reason::kUsage, "at",
                "--timeout takes milliseconds from 1 to " + std::to_string(kLongestTimeoutMs), err);
            return kExitUsage;
        }
        timeout = *ms;
    }
    const std::vector<std::string> commands = parsed.Operands();
    if (commands.empty()) {
        return TellUsageError(spec, Reason::kUsage, "no command given", err);
    }
    for (const auto& command : commands) {
        if (HasControlCharacter(command)) {
            TellFailure(Reason::kUsage, "at",
                        "a command may not hold control characters; the carriage return is "
                        "added for you",
                        err);
            return kExitUsage;
        }
        if (command.size() > CDevicePort::kCommandTextMax) {
            err << "vardexctl at: warning: the device takes " << CDevicePort::kCommandTextMax
                << " characters of a command; the rest of \"" << command.substr(0, 20)
                << "...\" is not sent\n";
        }
    }

    if (!PortOrComOne(&port_name)) {
        TellFailure(Reason::kNoDevice, "at", ComOneUnmapped(), err);
        return kExitLinkDown;
    }

    CDevicePort port;
    if (const auto opened = OpenPortByPath(port, port_name); !opened) {
        TellFailure(Reason::kNoDevice, "at", opened.error(), err);
        return kExitLinkDown;
    }
    port.SetReadTimeout(timeout);

    int status = kExitOk;
    for (const auto& command : commands) {
        const char* reply = port.SendCommand(command.c_str());
        if (reply == nullptr) {
            status = kExitLinkDown;
            const std::string down =
                "the link to the device on " + port_name + " is down: no reply to " + command;
            if (json) {
                // Each command's null says it; the output stays one value per command.
                out << "null\n";
                KeepFailure(Reason::kDeviceLost, down);
                FailureInOutput();
            } else {
                TellFailure(Reason::kDeviceLost, "at", down, err);
            }
        } else if (json) {
            out << JsonString(std::string_view(reply, port.GetReplyLength())) << "\n";
        } else {
            out.write(reply, static_cast<std::streamsize>(port.GetReplyLength()));
        }
        out.flush();
    }
    port.Close();
    return status;
}

}  // namespace vardex::ctl
