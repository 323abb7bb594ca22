#include "control.h"

#include <charconv>
#include <vector>

#include "device_text.h"

using namespace vardex::platform;

namespace vardex::sim {

const std::string_view kControlHelp =
    "telephones (N = 1 or 2, the analog port):\n"
    "  lift N               lift the handset of the telephone on port N\n"
    "  replace N            put the handset back\n"
    "  press N KEYS         press DTMF keys (0-9 * #) on that telephone\n"
    "  phone N              what a person notices there: hook, ringing, tone, charging\n"
    "calls and charges (LINE = phone1, phone2 or dte):\n"
    "  call LINE [MS]       start a call; its charges grow one unit every MS (default 2000)\n"
    "  endcall LINE         end that call\n"
    "  book LINE UNITS      book a finished call of UNITS charge units\n"
    "hardware faults:\n"
    "  fault CIRCUIT on|off break a circuit of the self-test or mend it; CIRCUIT is\n"
    "                       dchannel u s ring1 ring2 hook1 hook2 dtmf1 dtmf2 tone1\n"
    "                       tone2 charge1 charge2\n"
    "line faults:\n"
    "  silence on|off|once  answer nothing, for good or for the next command line\n"
    "  cut [every K]        cut the next reply short (or every K-th reply; K 0: off)\n"
    "  garbage N [every K]  send N bytes of line noise before the next reply (or\n"
    "                       before every K-th reply; K 0: off)\n"
    "  late MS              the next reply comes MS later, after the program stopped\n"
    "                       waiting for it\n"
    "  delay MS             wait MS before every reply (0: off)\n"
    "  pause N MS           the next reply stops for MS after its first N bytes\n"
    "  unsolicited MS TEXT  after the next reply, the line TEXT follows MS later\n"
    "  slow MS              wait MS between the bytes of every reply (0: off)\n"
    "  refuse on|off        refuse every setting command with ERROR\n"
    "  lose TEXT [N]        the next N command lines (default 1) that begin with\n"
    "                       TEXT after \"AT\" are lost: no effect, no reply\n"
    "  drop                 drop the line (the port sees DSR off; final)\n"
    "USB (with --usb DIR):\n"
    "  unplug               pull the USB cable: the name goes, the port fails\n"
    "  replug               plug it in again, under the next ttyACM name (printed)\n"
    "trace load:\n"
    "  traceflood RATE [S]  send trace lines of 64 bytes at RATE bytes a second,\n"
    "                       switched on or not, for S seconds (default: until\n"
    "                       traceflood 0); each line is numbered from 0 on\n"
    "device state:\n"
    "  loader               go to the firmware loader, as after a failed upgrade\n"
    "  loader error         the loader finds its flash faulty: an error line in place\n"
    "                       of each NAK, until restart\n"
    "  restart              power cycle\n"
    "  prompt yesno|console leave the device at the upgrade question or in its console\n"
    "  status               mode, versions, settings, traces, calls, faults\n"
    "  help                 this list\n"
    "  quit                 end this control session\n";

namespace {

// The longest command start "lose" takes: longer than any command of the device.
constexpr std::size_t kLosePrefixMax = 32;

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const std::size_t end = line.find_first_of(" \t\r\n");
        words.push_back(line.substr(0, end));
        line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    }
    return words;
}

bool Number(std::string_view text, long long max, long long* value) {
    long long parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc{} || end != text.data() + text.size() || parsed < 0 || parsed > max) {
        return false;
    }
    *value = parsed;
    return true;
}

bool Telephone(std::string_view text, int* port) {
    if (text == "1" || text == "2") {
        *port = text[0] - '1';
        return true;
    }
    return false;
}

bool LineName(std::string_view text, Line* line) {
    if (text == "phone1") {
        *line = Line::kPhone1;
    } else if (text == "phone2") {
        *line = Line::kPhone2;
    } else if (text == "dte") {
        *line = Line::kDte;
    } else {
        return false;
    }
    return true;
}

bool Switch(std::string_view text, bool* on) {
    if (text == "on") {
        *on = true;
    } else if (text == "off") {
        *on = false;
    } else {
        return false;
    }
    return true;
}

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string PhoneLine(const PhoneState& phone, int port) {
    return "phone " + std::to_string(port + 1) + ": " + (phone.off_hook ? "off hook" : "on hook") +
           ", ringing " + YesNo(phone.ringing) + ", tone " + YesNo(phone.tone) + ", charging " +
           YesNo(phone.charging) + (phone.disconnected ? ", under test" : "") + "\n";
}

std::string Status(const Device& device) {
    static constexpr const char* kModes[] = {"command", "upgrade question", "console", "loader"};
    std::string out = "mode: ";
    out += kModes[static_cast<int>(device.CurrentMode())];
    out += "\nsoftware: " + device.SoftwareVersion() + " (" + device.CrcText() + "), country " +
           device.Options().country + "\necho: " + YesNo(device.Echo()) + ", power-up profile " +
           std::to_string(device.Register(15) >> 5) + "\n";
    out += "traces:";
    if (!device.TraceOutput()) {
        out += " output off";
    }
    if (device.TraceFlooding()) {
        out += " flooding";
    }
    static constexpr std::pair<TraceLayer, const char*> kLayers[] = {{TraceLayer::kL1, "L1"},
                                                                     {TraceLayer::kL2, "L2"},
                                                                     {TraceLayer::kL3, "L3"},
                                                                     {TraceLayer::kApp, "App"},
                                                                     {TraceLayer::kU, "U"}};
    for (const auto& [layer, name] : kLayers) {
        if (device.Tracing(layer)) {
            out += std::string(" ") + name;
        }
    }
    out += "\ncharges (last/total): ";
    static constexpr const char* kLines[] = {"phone1", "phone2", "dte"};
    for (int i = 0; i < kLineCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        out += std::string(i > 0 ? ", " : "") + kLines[i] + " " +
               std::to_string(device.Nv().last_charge[at]) + "/" +
               std::to_string(device.Nv().total_charge[at]) +
               (device.InCall(static_cast<Line>(i)) ? " (in call)" : "");
    }
    out += "\nfaults:";
    bool any = false;
    for (int i = 0; i < kCircuitCount; ++i) {
        if (device.Fault(static_cast<Circuit>(i))) {
            out += " ";
            out += CircuitName(static_cast<Circuit>(i));
            any = true;
        }
    }
    out += any ? "\n" : " none\n";
    out += PhoneLine(device.Phone(0), 0);
    out += PhoneLine(device.Phone(1), 1);
    return out;
}

}  // namespace

std::string RunControlCommand(PtyDevice& device, std::string_view line, bool* close_session) {
    const std::vector<std::string_view> words = Split(line);
    if (words.empty()) {
        return {};
    }
    const std::string_view verb = words[0];
    const std::size_t args = words.size() - 1;
    const std::string ok = "ok\n";
    const std::string usage = "error: usage, see help\n";
    int port = 0;
    Line call_line = Line::kPhone1;
    long long value = 0;
    bool on = false;

    if (verb == "help" && args == 0) {
        return std::string(kControlHelp) + ok;
    }
    if (verb == "quit" && args == 0) {
        *close_session = true;
        return ok;
    }
    if (verb == "status" && args == 0) {
        return device.Inspect([](const Device& d) { return Status(d); }) + ok;
    }
    if ((verb == "lift" || verb == "replace") && args == 1 && Telephone(words[1], &port)) {
        const bool lift = verb == "lift";
        device.Modify([&](Device& d) { lift ? d.LiftHandset(port) : d.ReplaceHandset(port); });
        return ok;
    }
    if (verb == "press" && args == 2 && Telephone(words[1], &port)) {
        bool valid = true;
        device.Modify([&](Device& d) {
            for (const char key : words[2]) {
                valid = d.PressKey(port, key) && valid;
            }
        });
        return valid ? ok : "error: keys are 0-9, * and #\n";
    }
    if (verb == "phone" && args == 1 && Telephone(words[1], &port)) {
        return device.Inspect([&](const Device& d) { return PhoneLine(d.Phone(port), port); }) + ok;
    }
    if (verb == "call" && (args == 1 || args == 2) && LineName(words[1], &call_line)) {
        long long unit = Device::kDefaultCallUnitMs;
        if (args == 2 && (!Number(words[2], 3600000, &unit) || unit == 0)) {
            return usage;
        }
        device.Modify([&](Device& d) { d.StartCall(call_line, unit); });
        return ok;
    }
    if (verb == "endcall" && args == 1 && LineName(words[1], &call_line)) {
        device.Modify([&](Device& d) { d.EndCall(call_line); });
        return ok;
    }
    if (verb == "book" && args == 2 && LineName(words[1], &call_line) &&
        Number(words[2], 1000000, &value)) {
        device.Modify([&](Device& d) { d.AddCall(call_line, static_cast<std::uint32_t>(value)); });
        return ok;
    }
    if (verb == "fault" && args == 2) {
        Circuit circuit{};
        if (!CircuitFromName(words[1], &circuit) || !Switch(words[2], &on)) {
            return usage;
        }
        device.Modify([&](Device& d) { d.SetFault(circuit, on); });
        return ok;
    }
    if (verb == "silence" && args == 1) {
        if (words[1] == "once") {
            device.SilenceNextCommand();
            return ok;
        }
        if (!Switch(words[1], &on)) {
            return usage;
        }
        device.SetSilent(on);
        return ok;
    }
    long long every = 0;
    if (verb == "cut" && args == 0) {
        device.CutNextReply();
        return ok;
    }
    if (verb == "cut" && args == 2 && words[1] == "every" && Number(words[2], 1000000, &every)) {
        device.CutEveryReply(static_cast<int>(every));
        return ok;
    }
    if (verb == "garbage" && args == 1 && Number(words[1], 4096, &value)) {
        device.GarbleNextReply(static_cast<int>(value));
        return ok;
    }
    if (verb == "garbage" && args == 3 && Number(words[1], 4096, &value) && words[2] == "every" &&
        Number(words[3], 1000000, &every)) {
        device.GarbleEveryReply(static_cast<int>(every), static_cast<int>(value));
        return ok;
    }
    if (verb == "late" && args == 1 && Number(words[1], 600000, &value)) {
        device.DelayNextReply(static_cast<int>(value));
        return ok;
    }
    if ((verb == "delay" || verb == "slow") && args == 1 && Number(words[1], 600000, &value)) {
        if (verb == "delay") {
            device.SetReplyDelayMs(static_cast<int>(value));
        } else {
            device.SetByteDelayMs(static_cast<int>(value));
        }
        return ok;
    }
    long long pause_ms = 0;
    if (verb == "pause" && args == 2 && Number(words[1], 4096, &value) &&
        Number(words[2], 600000, &pause_ms)) {
        device.PauseNextReply(static_cast<int>(value), static_cast<int>(pause_ms));
        return ok;
    }
    if (verb == "unsolicited" && args >= 2 && Number(words[1], 600000, &value)) {
        // The text as typed, from its first word to the end of the line.
        const std::size_t from = static_cast<std::size_t>(words[2].data() - line.data());
        std::string text(line.substr(from));
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
            text.pop_back();
        }
        device.SendLineAfterNextReply(std::move(text), static_cast<int>(value));
        return ok;
    }
    if (verb == "lose" && (args == 1 || args == 2) && words[1].size() <= kLosePrefixMax &&
        (args == 1 || Number(words[2], 1000, &value))) {
        std::string prefix;
        for (const char c : words[1]) {
            prefix.push_back(Upper(c));
        }
        device.LoseCommands(prefix, args == 2 ? static_cast<int>(value) : 1);
        return ok;
    }
    if (verb == "refuse" && args == 1 && Switch(words[1], &on)) {
        device.SetRefuseWrites(on);
        return ok;
    }
    if (verb == "traceflood" && (args == 1 || args == 2) && Number(words[1], 10000000, &value)) {
        long long seconds = 0;
        if (args == 2 && !Number(words[2], 86400, &seconds)) {
            return usage;
        }
        device.Modify(
            [&](Device& d) { d.SetTraceFlood(static_cast<std::uint32_t>(value), seconds * 1000); });
        return ok;
    }
    if (verb == "drop" && args == 0) {
        device.Hangup();
        return ok;
    }
    if (verb == "unplug" && args == 0) {
        device.Unplug();
        return ok;
    }
    if (verb == "replug" && args == 0) {
        SysError error;
        if (!device.Replug(&error)) {
            return "error: " + error.Message() + "\n";
        }
        const std::string name = device.UsbName();
        return (name.empty() ? device.Path() : name) + "\n" + ok;
    }
    if (verb == "loader" && args == 0) {
        device.Modify([](Device& d) { d.EnterLoader(); });
        return ok;
    }
    if (verb == "loader" && args == 1 && words[1] == "error") {
        device.Modify([](Device& d) { d.EnterLoaderError(); });
        return ok;
    }
    if (verb == "restart" && args == 0) {
        device.Modify([](Device& d) { d.PowerUp(); });
        return ok;
    }
    if (verb == "prompt" && args == 1 && (words[1] == "yesno" || words[1] == "console")) {
        const bool console = words[1] == "console";
        device.Modify([&](Device& d) { console ? d.EnterConsole() : d.EnterQuestion(); });
        return ok;
    }
    return "error: unknown command or bad arguments, see help\n";
}

}  // namespace vardex::sim
