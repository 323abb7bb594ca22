#include "platform/environment.h"

namespace vardex::platform::env {
namespace {

constexpr Variable kVariables[] = {
    {kPorts,
     "colon-separated device paths or rfc2217://HOST:PORT names of ports served over the "
     "network, for COM1..COM10 (default: the system's serial ports)",
     kConfig | kCtl},
    {kLines,
     "colon-separated device paths offered as USB modem lines, besides every /dev/ttyACM*; an "
     "entry may be a pattern",
     kConfig | kCtl},
    {kExchange,
     "design: end every exchange only after a silent read time-out, for a device that drops "
     "commands sent soon after its reply",
     kConfig | kCtl},
    {kTimeScale,
     "multiplies every wait and time-out (default 1); in the simulator every time of the "
     "device too: the loader's NAK every second, trace lines, call charges",
     kConfig | kCtl | kSim},
    {kTapiProvider, "path of the telephony provider to load instead of libvardex-tapi.so",
     kConfig | kCtl},
    {kTrace, "1: the device search's diagnostics on standard error; a path: appended to that file",
     kConfig | kCtl},
    {kStateHome,
     "where the backups taken before every write are kept, in vardex/backups (default "
     "~/.local/state)",
     kConfig | kCtl},
};

// Where the descriptions start, and the width they are wrapped to.
constexpr std::size_t kWhatColumn = 23;
constexpr std::size_t kWidth = 80;

}  // namespace

std::span<const Variable> Variables() {
    return kVariables;
}

std::string HelpSection(Program program) {
    std::string text = "ENVIRONMENT\n";
    for (const Variable& variable : kVariables) {
        if ((variable.readers & program) == 0) {
            continue;
        }
        std::string line = "  " + std::string(variable.name);
        line.resize(kWhatColumn - 1, ' ');
        std::string_view rest = variable.what;
        while (!rest.empty()) {
            const std::size_t word_end = std::min(rest.find(' '), rest.size());
            if (line.size() + 1 + word_end > kWidth && line.size() > kWhatColumn) {
                text += line + "\n";
                line.assign(kWhatColumn - 1, ' ');
            }
            line += ' ';
            line += rest.substr(0, word_end);
            rest.remove_prefix(std::min(word_end + 1, rest.size()));
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace vardex::platform::env
