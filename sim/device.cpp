#include "device.h"

#include <algorithm>
#include <utility>

namespace vardex::sim {
namespace {

constexpr char kCr = '\r';
constexpr char kBackspace = '\b';

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view upper_prefix) {
    if (text.size() < upper_prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upper_prefix.size(); ++i) {
        if (Upper(text[i]) != upper_prefix[i]) {
            return false;
        }
    }
    return true;
}

// Reads a run of decimal digits from the front of text. Long runs saturate
// instead of overflowing, so "ATS999999999999=1" is refused as out of range.
bool ReadDecimal(std::string_view* text, unsigned* value) {
    constexpr unsigned kSaturated = 1000000;
    std::size_t digits = 0;
    unsigned result = 0;
    while (digits < text->size() && (*text)[digits] >= '0' && (*text)[digits] <= '9') {
        const unsigned digit = static_cast<unsigned>((*text)[digits] - '0');
        result = std::min(kSaturated, result * 10 + digit);
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    text->remove_prefix(digits);
    *value = result;
    return true;
}

// "=v" and nothing behind it, with v at most max.
bool ReadAssignment(std::string_view text, unsigned max, unsigned* value) {
    if (text.empty() || text.front() != '=') {
        return false;
    }
    text.remove_prefix(1);
    return ReadDecimal(&text, value) && text.empty() && *value <= max;
}

// Factory values. S56 is the flash duration in 10 ms units; S82 = 74 is the
// first connection protocol. Registers the device does not use read 0.
std::array<std::uint8_t, Device::kRegisterCount> FactoryRegisters() {
    std::array<std::uint8_t, Device::kRegisterCount> registers{};
    registers[56] = 20;
    registers[82] = 74;
    return registers;
}

}  // namespace

// Longest match wins, so order does not matter; keep related commands together.
const Device::Command Device::kCommands[] = {
    {"I", &Device::DoIdentify},    // identity texts
    {"E", &Device::DoEcho},        // echo off and on
    {"Z", &Device::DoReset},       // back to the power-up state
    {"S", &Device::DoRegister},    // S-registers, whole and single bits
    {"/SETRI", &Device::DoSetRi},  // ring-indicator set-up
};

Device::Device(DeviceOptions options, Sink sink)
    : options_(std::move(options)), sink_(std::move(sink)) {
    // "AT" alone must fit, or no command could ever be read.
    options_.line_buffer = std::max<std::size_t>(options_.line_buffer, 2);
    line_.reserve(options_.line_buffer);
    Reset();
}

void Device::SetEchoSink(Sink sink) {
    FlushEcho();
    echo_sink_ = std::move(sink);
}

void Device::Reset() {
    echo_ = options_.echo;
    registers_ = FactoryRegisters();
    saw_a_ = false;
    in_line_ = false;
    overflow_ = false;
    line_.clear();
}

std::uint8_t Device::Register(int number) const {
    if (number < 0 || number >= kRegisterCount) {
        return 0;
    }
    return registers_[static_cast<std::size_t>(number)];
}

bool Device::SetRegister(int number, int value) {
    if (number < 0 || number >= kRegisterCount || value < 0 || value > 255) {
        return false;
    }
    registers_[static_cast<std::size_t>(number)] = static_cast<std::uint8_t>(value);
    return true;
}

void Device::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (echo_) {
            echo_buffer_.push_back(c);
        }
        Take(c);
    }
    FlushEcho();
}

void Device::Take(char c) {
    if (!in_line_) {
        if (saw_a_ && Upper(c) == 'T') {
            in_line_ = true;
            overflow_ = false;
            line_.clear();
            saw_a_ = false;
        } else {
            saw_a_ = Upper(c) == 'A';
        }
        return;
    }
    if (c == kCr) {
        in_line_ = false;
        Execute();
    } else if (c == kBackspace) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (line_.size() + 2 < options_.line_buffer) {
        line_.push_back(c);
    } else {
        overflow_ = true;  // the rest of the line is lost, as in a full UART buffer
    }
}

void Device::Execute() {
    FlushEcho();  // the echo of the CR goes out before the reply
    ++command_count_;
    last_command_ = line_;
    if (overflow_) {
        Respond(Error());
        return;
    }
    if (line_.empty()) {
        Respond(Ok());
        return;
    }
    const Command* best = nullptr;
    for (const Command& command : kCommands) {
        if (StartsWithNoCase(line_, command.name) &&
            (best == nullptr || command.name.size() > best->name.size())) {
            best = &command;
        }
    }
    if (best == nullptr) {
        Respond(Error());
        return;
    }
    const std::string_view args = std::string_view(line_).substr(best->name.size());
    Respond((this->*(best->handler))(args));
}

void Device::Respond(const Reply& reply) {
    std::string out;
    if (!reply.text.empty()) {
        out += "\r\n";
        out += reply.text;
        out += "\r\n";
    }
    out += reply.ok ? "\r\nOK\r\n" : "\r\nERROR\r\n";
    if (sink_) {
        sink_(out);
    }
}

void Device::FlushEcho() {
    if (echo_buffer_.empty()) {
        return;
    }
    const Sink& sink = echo_sink_ ? echo_sink_ : sink_;
    if (sink) {
        sink(echo_buffer_);
    }
    echo_buffer_.clear();
}

// ATI0 hardware, ATI1 firmware CRC, ATI3 software and country, ATI4 model.
// A bare ATI is ATI0.
Device::Reply Device::DoIdentify(std::string_view args) {
    if (args.empty() || args == "0") {
        return Ok("Hardware Version " + options_.hardware_version);
    }
    if (args == "1") {
        return Ok(options_.crc);
    }
    if (args == "3") {
        std::string text = "Software Version " + options_.software_version;
        if (!options_.country.empty()) {
            text += " " + options_.country;
        }
        return Ok(std::move(text));
    }
    if (args == "4") {
        return Ok(options_.product + " " + options_.model_version);
    }
    return Error();
}

// ATE and ATE0 switch echo off, ATE1 on. The echo of this very line has gone out
// already, whatever it switches to.
Device::Reply Device::DoEcho(std::string_view args) {
    if (args.empty() || args == "0") {
        echo_ = false;
        return Ok();
    }
    if (args == "1") {
        echo_ = true;
        return Ok();
    }
    return Error();
}

// ATZ (= ATZ0) to ATZ3 recall a stored profile, ATZ4 the factory defaults. Until
// profiles are stored, every profile holds the factory defaults.
Device::Reply Device::DoReset(std::string_view args) {
    if (!args.empty() && !(args.size() == 1 && args[0] >= '0' && args[0] <= '4')) {
        return Error();
    }
    Reset();
    return Ok();
}

// The ring-indicator set-up the program sends when it takes over the port; the
// device has nothing to change for it.
Device::Reply Device::DoSetRi(std::string_view args) {
    return args.empty() ? Ok() : Error();
}

// Sn? reads register n as a plain decimal number, Sn=v writes it whole (0..255),
// Sn.b? reads bit b (0..7) as "0" or "1", Sn.b=v writes it (v 0 or 1). Anything
// else, trailing characters included, is refused and changes nothing.
Device::Reply Device::DoRegister(std::string_view args) {
    unsigned number = 0;
    if (!ReadDecimal(&args, &number) || number >= kRegisterCount || args.empty()) {
        return Error();
    }
    std::uint8_t& reg = registers_[number];
    if (args.front() == '.') {
        args.remove_prefix(1);
        unsigned bit = 0;
        if (!ReadDecimal(&args, &bit) || bit > 7 || args.empty()) {
            return Error();
        }
        if (args == "?") {
            return Ok(((reg >> bit) & 1u) != 0 ? "1" : "0");
        }
        unsigned value = 0;
        if (!ReadAssignment(args, 1, &value)) {
            return Error();
        }
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        reg = static_cast<std::uint8_t>(value != 0 ? (reg | mask) : (reg & ~mask));
        return Ok();
    }
    if (args == "?") {
        return Ok(std::to_string(reg));
    }
    unsigned value = 0;
    if (!ReadAssignment(args, 255, &value)) {
        return Error();
    }
    reg = static_cast<std::uint8_t>(value);
    return Ok();
}

}  // namespace vardex::sim
