#include "at_command.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

#include "json_text.h"
#include "link/device_port.h"
#include "platform/port_map.h"
#include "port_option.h"

namespace vardex::ctl {
namespace {

constexpr const char* kAtUsage =
    "usage: vardexctl at [--port PATH] [--json] [--timeout MS] COMMAND...\n"
    "  Opens the port (COM1 of the port map unless --port is given), sends each\n"
    "  COMMAND (without its carriage return) and prints each reply as it came.\n"
    "  --json      one JSON value per command: the reply as a string, or null\n"
    "              when the link is down\n"
    "  --timeout   read time-out in milliseconds for slow commands (default 250)\n";

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

int RunAt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string port_name;
    bool json = false;
    unsigned timeout = kExchangeReadMs;
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (!commands.empty() || word.empty() || word[0] != '-' || word == "-") {
            commands.push_back(word);
        } else if (word == "--") {
            commands.insert(commands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (word == "--json") {
            json = true;
        } else if (word == "--port" || word == "--timeout") {
            if (i + 1 >= args.size()) {
                err << "vardexctl at: " << word << " needs a value\n" << kAtUsage;
                return kExitUsage;
            }
            const std::string& value = args[++i];
            if (word == "--port") {
                // An empty path would fall back to COM1.
                if (value.empty()) {
                    err << "vardexctl at: --port needs the path of a port\n" << kAtUsage;
                    return kExitUsage;
                }
                port_name = value;
            } else if (auto ms = ParseMilliseconds(value)) {
                timeout = *ms;
            } else {
                err << "vardexctl at: --timeout takes milliseconds from 1 to 600000\n";
                return kExitUsage;
            }
        } else if (word == "--help" || word == "-h") {
            out << kAtUsage;
            return kExitOk;
        } else {
            err << "vardexctl at: unknown option " << word << "\n" << kAtUsage;
            return kExitUsage;
        }
    }
    if (commands.empty()) {
        err << "vardexctl at: no command given\n" << kAtUsage;
        return kExitUsage;
    }
    for (const auto& command : commands) {
        if (HasControlCharacter(command)) {
            err << "vardexctl at: a command may not hold control characters; the carriage "
                   "return is added for you\n";
            return kExitUsage;
        }
        if (command.size() > CDevicePort::kCommandTextMax) {
            err << "vardexctl at: warning: the device takes " << CDevicePort::kCommandTextMax
                << " characters of a command; the rest of \"" << command.substr(0, 20)
                << "...\" is not sent\n";
        }
    }

    if (port_name.empty()) {
        const auto com1 = ResolvePortName("COM1");
        if (!com1) {
            err << "vardexctl at: COM1 is not mapped to any port: give --port PATH or set "
                   "VARDEX_PORTS\n";
            return kExitLinkDown;
        }
        port_name = *com1;
    }

    CDevicePort port;
    std::string why;
    if (!OpenPortByPath(port, port_name, &why)) {
        err << "vardexctl at: " << why << "\n";
        return kExitLinkDown;
    }
    port.SetReadTimeout(timeout);

    int status = kExitOk;
    for (const auto& command : commands) {
        const char* reply = port.SendCommand(command.c_str());
        if (reply == nullptr) {
            status = kExitLinkDown;
            if (json) {
                out << "null\n";
            } else {
                err << "vardexctl at: the link to the device on " << port_name
                    << " is down: no reply to " << command << "\n";
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
