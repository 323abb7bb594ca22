#include "device.h"

#include <algorithm>
#include <utility>

#include "device_text.h"

namespace vardex::sim {
namespace {

constexpr char kCr = '\r';
constexpr char kBackspace = '\b';
constexpr std::size_t kX121DigitsMax = 15;
constexpr int kClipLevelMax = 19;
constexpr int kFactoryClipLevel = 10;
constexpr int kProfileCount = 4;
constexpr int kFactoryProfile = 4;  // ATZ4, and S15 bits 5..7 = 4

// How a register checks a value before it takes it.
enum class Check { kRange, kProtocolCode, kCugNumber };

struct RegisterInfo {
    int number;
    std::uint8_t factory;
    std::uint8_t min;
    std::uint8_t max;
    Check check = Check::kRange;
};

// The registers this device has, their factory values and what they accept.
// Others answer ERROR. The limits are the ones the configuration pages offer:
// a value they cannot produce is refused and the register keeps its value.
constexpr RegisterInfo kRegisterTable[] = {
    {15, 0, 0, 159},     // power-up profile in bits 5..7: 0..3 a profile, 4 factory defaults
    {56, 20, 0, 100},    // flash duration, 10 ms units
    {57, 1, 0, 255},     // X.25 LIC
    {58, 1, 0, 255},     // X.25 HIC
    {79, 0x0C, 0, 255},  // bits 2, 3: call waiting on Phone 1, 2
    {82, 74, 70, 84, Check::kProtocolCode},  // connection protocol
    {83, 0x03, 0, 255},                      // bits 0, 1 set: delayed clear back off
    {84, 0x00, 0, 255},                      // bit 4: CLIP off; bits 6, 7: CLIP on call waiting
    {85, 0x00, 0, 255},                      // CLIR, COLR
    {86, 0x00, 0, 255},                      // message waiting
    {87, 0x00, 0, 255},                      // bits 5, 6: multilink PPP
    {89, 0x00, 0, 255},                      // metering pulses
    {90, 0, 0, 63},                          // X.25 TEI
    {91, 1, 0, 255},                         // X.25 LCN
    {100, 0, 0, 255},                        // bit 0: keypad protocol
    {101, 0, 0, 255},                        // bit 0: caller id before ringing
    {102, 0x01, 0, 255},                     // BAP
    {103, 0x00, 0, 255},                     // X.25 options
    {104, 0x22, 0, 255},                     // X.25 windows, layer 2 low nibble, layer 3 high
    {105, 255, 0, 255, Check::kCugNumber},   // closed user group, 255 = none
    {106, 7, 4, 7},                          // X.25 packet size as a power of two
    {108, 0, 0, 255},
    {109, 0, 0, 255},
    {110, 0, 0, 255},
    {111, 0, 0, 255},
    {112, 0, 0, 255},
    {113, 0, 0, 255},     // modem LLC octets, two ports x three
    {118, 0x00, 0, 255},  // terminal types / no ML-PPP calls
    {123, 0, 0, 255},     // full emergency mode
    {124, 20, 0, 255},    // bandwidth on demand: add time, s
    {125, 20, 0, 255},    // drop time, s
    {126, 48, 0, 64},     // add rate, kb/s
    {127, 32, 0, 128},    // drop rate, kb/s
};

const RegisterInfo* FindRegister(unsigned number) {
    for (const RegisterInfo& info : kRegisterTable) {
        if (static_cast<unsigned>(info.number) == number) {
            return &info;
        }
    }
    return nullptr;
}

bool Accepts(const RegisterInfo& info, unsigned value) {
    switch (info.check) {
        case Check::kProtocolCode:
            return value == 70 || value == 72 || value == 74 || value == 76 || value == 78 ||
                   value == 80 || value == 84;
        case Check::kCugNumber:
            return value <= 99 || value == 255;
        case Check::kRange:
            break;
    }
    return value >= info.min && value <= info.max;
}

std::array<std::uint8_t, Device::kRegisterCount> FactoryRegisters() {
    std::array<std::uint8_t, Device::kRegisterCount> registers{};
    for (const RegisterInfo& info : kRegisterTable) {
        registers[static_cast<std::size_t>(info.number)] = info.factory;
    }
    return registers;
}

Profile FactoryProfile() {
    Profile profile;
    profile.registers = FactoryRegisters();
    profile.clip_level = kFactoryClipLevel;
    return profile;
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

constexpr std::string_view kCircuitNames[kCircuitCount] = {
    "dchannel", "u",     "s",     "ring1", "ring2",   "hook1",   "hook2",
    "dtmf1",    "dtmf2", "tone1", "tone2", "charge1", "charge2",
};

}  // namespace

std::string_view CircuitName(Circuit circuit) {
    return kCircuitNames[static_cast<std::size_t>(circuit)];
}

bool CircuitFromName(std::string_view name, Circuit* circuit) {
    for (int i = 0; i < kCircuitCount; ++i) {
        if (kCircuitNames[i] == name) {
            *circuit = static_cast<Circuit>(i);
            return true;
        }
    }
    return false;
}

// Longest match wins, so order does not matter; keep related commands together.
const Device::Command Device::kCommands[] = {
    {"I", &Device::DoIdentify},     // identity texts
    {"E", &Device::DoEcho},         // echo off and on
    {"Z", &Device::DoReset},        // recall a profile
    {"&F", &Device::DoFactory},     // factory settings into the active profile
    {"&W", &Device::DoStore},       // active settings into a stored profile
    {"S", &Device::DoRegister},     // S-registers, whole and single bits
    {"/SETRI", &Device::DoSetRi},   // ring-indicator set-up
    {"&ZI", &Device::DoMsn},        // subscriber numbers
    {"&ZO", &Device::DoOwnNumber},  // own numbers
    {"CH", &Device::DoCharges},     // charge counters
    {"/CLIPLEVEL", &Device::DoClipLevel},
    {"!X2", &Device::DoX121},
    {"UPX", &Device::DoUpgrade},  // firmware upgrade question
    {"/CONSOLE", &Device::DoConsole},
    {"CD", &Device::DoTrace},  // trace switches
    {"/DISCPOTS", &Device::DoDisconnectPots},
    {"/CONPOTS", &Device::DoConnectPots},
    {"/HOOKSTATE", &Device::DoHookState},
    {"/DTMFSTATE", &Device::DoDtmfState},
    {"/DTMFREAD", &Device::DoDtmfRead},
    {"/RING", &Device::DoRing},
    {"/NORING", &Device::DoNoRing},
    {"/STARTTONE", &Device::DoStartTone},
    {"/STOPTONE", &Device::DoStopTone},
    {"/CHARGE", &Device::DoCharge},
    {"/NOCHARGE", &Device::DoNoCharge},
    {"/DLOOP", &Device::DoDLoop},
    {"/SPICOMTEST", &Device::DoSpiComTest},
};

Device::Device(DeviceOptions options, Sink sink)
    : options_(std::move(options)), sink_(std::move(sink)) {
    // "AT" alone must fit, or no command could ever be read.
    options_.line_buffer = std::max<std::size_t>(options_.line_buffer, 2);
    line_.reserve(options_.line_buffer);
    nv_ = FactoryNv(options_);
    if (options_.start_in_loader) {
        nv_.firmware_valid = false;
    }
    PowerUp();
}

NvState Device::FactoryNv(const DeviceOptions& options) {
    NvState state;
    state.software_version = options.software_version;
    state.crc = options.crc;
    state.profiles.fill(FactoryProfile());
    return state;
}

void Device::SetEchoSink(Sink sink) {
    FlushEcho();
    echo_sink_ = std::move(sink);
}

void Device::SetUnsolicitedSink(Sink sink) {
    unsolicited_sink_ = std::move(sink);
}

void Device::SetNvSink(NvSink sink) {
    nv_sink_ = std::move(sink);
}

void Device::LoadNv(const NvState& state) {
    nv_ = state;
    if (options_.start_in_loader) {
        nv_.firmware_valid = false;
    }
    PowerUp();
}

void Device::SaveNv() {
    if (nv_sink_) {
        nv_sink_(nv_);
    }
}

void Device::Send(std::string_view bytes) {
    if (sink_) {
        sink_(bytes);
    }
}

void Device::SendUnsolicited(std::string_view bytes) {
    const Sink& sink = unsolicited_sink_ ? unsolicited_sink_ : sink_;
    if (sink) {
        sink(bytes);
    }
}

void Device::PowerUp() {
    for (Pots& pots : pots_) {
        const bool off_hook = pots.off_hook;  // the handset is where the person left it
        pots = Pots{};
        pots.off_hook = off_hook;
    }
    call_due_.fill(kNever);
    if (!nv_.firmware_valid) {
        Reset();  // registers as they will be once a firmware runs
        StartLoaderWait(kLoaderNakMs);
        return;
    }
    Reset();
}

void Device::Reset() {
    mode_ = Mode::kCommand;
    echo_ = options_.echo;
    LoadProfile(nv_.s15 >> 5);
    StopTestSignals();
    trace_output_ = false;
    trace_layers_ = 0;
    trace_due_ = kNever;
    saw_a_ = false;
    in_line_ = false;
    overflow_ = false;
    line_.clear();
    nak_due_ = kNever;
    frame_due_ = kNever;
    frame_.clear();
    image_.clear();
}

void Device::LoadProfile(int profile) {
    const Profile& source = profile >= 0 && profile < kProfileCount
                                ? nv_.profiles[static_cast<std::size_t>(profile)]
                                : FactoryProfile();
    registers_ = source.registers;
    clip_level_ = source.clip_level;
    x121_ = source.x121;
}

void Device::EnterQuestion() {
    Reset();
    mode_ = Mode::kQuestion;
}

void Device::EnterConsole() {
    Reset();
    mode_ = Mode::kConsole;
}

bool Device::X25Available() const {
    return options_.country == "Hungary" || options_.country == "Cyprus";
}

bool Device::FskAvailable() const {
    return options_.country != "Brasil" && options_.country != "Brasil USB";
}

std::uint8_t Device::Register(int number) const {
    if (number < 0 || number >= kRegisterCount) {
        return 0;
    }
    if (number == 15) {
        return nv_.s15;
    }
    return registers_[static_cast<std::size_t>(number)];
}

bool Device::SetRegister(int number, int value) {
    if (number < 0 || number >= kRegisterCount || value < 0 || value > 255) {
        return false;
    }
    if (number == 15) {
        nv_.s15 = static_cast<std::uint8_t>(value);
        SaveNv();
    } else {
        registers_[static_cast<std::size_t>(number)] = static_cast<std::uint8_t>(value);
    }
    return true;
}

void Device::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        switch (mode_) {
            case Mode::kCommand:
                if (echo_) {
                    echo_buffer_.push_back(c);
                }
                TakeCommandByte(c);
                break;
            case Mode::kQuestion:
                TakeQuestionByte(c);
                break;
            case Mode::kConsole:
                TakeConsoleByte(c);
                break;
            case Mode::kLoader:
                TakeLoaderByte(c);
                break;
        }
    }
    FlushEcho();
}

void Device::TakeCommandByte(char c) {
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

// The upgrade question takes one key. Anything else is ignored, except that a
// line end repeats the question, so someone who typed a command sees why
// nothing happens.
void Device::TakeQuestionByte(char c) {
    switch (Upper(c)) {
        case 'Y':
            Send(std::string("Y") + std::string(kLoaderBanner));
            nv_.firmware_valid = false;  // the flash is erased from here on
            SaveNv();
            StartLoaderWait(kLoaderNakMs);
            break;
        case 'N':
            mode_ = Mode::kCommand;  // leaves silently: the next command follows at once
            break;
        case kCr:
            Send(kQuestionRepeat);
            break;
        default:
            break;
    }
}

void Device::TakeConsoleByte(char c) {
    if (c == kCr) {
        ExecuteConsole();
        line_.clear();
    } else if (c == kBackspace) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (c != '\n' && line_.size() < options_.line_buffer) {
        line_.push_back(c);
    }
}

void Device::ExecuteConsole() {
    std::string command;
    for (const char c : line_) {
        if (c != ' ') {
            command.push_back(Upper(c));
        }
    }
    if (command == "QUIT") {
        mode_ = Mode::kCommand;  // silently, like the question's N
        return;
    }
    std::string text;
    if (command == "HELP") {
        text = "HELP  VER  QUIT\r\n";
    } else if (command == "VER") {
        text = options_.product + " " + options_.model_version + ", hardware " +
               options_.hardware_version + ", software " + nv_.software_version + "\r\n";
    } else if (!command.empty()) {
        text = "Unknown command: " + line_ + "\r\n";
    }
    Send("\r\n" + text + std::string(kConsolePrompt));
}

void Device::Execute() {
    FlushEcho();  // the echo of the CR goes out before the reply
    if (lose_count_ > 0 && StartsWithNoCase(line_, lose_prefix_)) {
        --lose_count_;
        return;
    }
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
    if (reply.raw) {
        Send(reply.text);
        return;
    }
    std::string out;
    if (!reply.text.empty()) {
        out += "\r\n";
        out += reply.text;
        out += "\r\n";
    }
    out += reply.ok ? "\r\nOK\r\n" : "\r\nERROR\r\n";
    if (!options_.dialect.line_break_before) {
        out.erase(0, 2);
    }
    Send(out);
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

std::int64_t Device::NextDeadline() const {
    std::int64_t next = std::min({nak_due_, frame_due_, trace_due_});
    if (flood_rate_ != 0) {
        next = std::min({next, now_ms_ + kFloodTickMs, flood_until_});
    }
    for (const std::int64_t due : call_due_) {
        next = std::min(next, due);
    }
    for (const Pots& pots : pots_) {
        next = std::min(next, pots.charge_until);
    }
    return next;
}

void Device::AdvanceTo(std::int64_t now_ms) {
    now_ms_ = std::max(now_ms_, now_ms);
    // Each timer fires at most once per call and re-arms from now: a transport
    // that was held up sees one event, not a burst of stale ones.
    if (mode_ == Mode::kLoader) {
        LoaderTimers();
    }
    if (trace_due_ <= now_ms_) {
        EmitTrace();
        ScheduleTrace();
    }
    if (flood_rate_ != 0) {
        EmitFlood();
    }
    bool charged = false;
    for (std::size_t i = 0; i < call_due_.size(); ++i) {
        if (call_due_[i] <= now_ms_) {
            ++nv_.last_charge[i];
            ++nv_.total_charge[i];
            call_due_[i] = now_ms_ + call_unit_ms_[i];
            charged = true;
        }
    }
    if (charged) {
        SaveNv();
    }
    for (Pots& pots : pots_) {
        if (pots.charge_until <= now_ms_) {
            pots.charge_until = kNever;
        }
    }
}

// ATI0 hardware, ATI1 firmware CRC, ATI3 software and country, ATI4 model.
// A bare ATI is ATI0.
Device::Reply Device::DoIdentify(std::string_view args) {
    if (args.empty() || args == "0") {
        return Ok("Hardware Version " + options_.hardware_version);
    }
    if (args == "1") {
        return Ok(nv_.crc);
    }
    if (args == "3") {
        std::string text = "Software Version " + nv_.software_version;
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
        echo_ = options_.dialect.echo_stays_on;
        return Ok();
    }
    if (args == "1") {
        echo_ = true;
        return Ok();
    }
    return Error();
}

// ATZ recalls the power-up profile (S15 bits 5..7), ATZ0..ATZ3 a stored
// profile, ATZ4 the factory defaults; echo goes back to its power-up state.
Device::Reply Device::DoReset(std::string_view args) {
    if (args.empty()) {
        Reset();
        return Ok();
    }
    if (args.size() != 1 || args[0] < '0' || args[0] > '4') {
        return Error();
    }
    Reset();
    LoadProfile(args[0] - '0');
    return Ok();
}

Device::Reply Device::DoFactory(std::string_view args) {
    if (!args.empty() && args != "0") {
        return Error();
    }
    LoadProfile(kFactoryProfile);
    return Ok();
}

// AT&W (= AT&W0) to AT&W3 store the active settings; the power-up profile
// register is not part of a profile.
Device::Reply Device::DoStore(std::string_view args) {
    int profile = 0;
    if (!args.empty()) {
        if (args.size() != 1 || args[0] < '0' || args[0] > '3') {
            return Error();
        }
        profile = args[0] - '0';
    }
    Profile& target = nv_.profiles[static_cast<std::size_t>(profile)];
    target.registers = registers_;
    target.registers[15] = 0;
    target.clip_level = clip_level_;
    target.x121 = x121_;
    SaveNv();
    return Ok();
}

// The ring-indicator set-up the program sends when it takes over the port; the
// device has nothing to change for it.
Device::Reply Device::DoSetRi(std::string_view args) {
    return args.empty() ? Ok() : Error();
}

// Sn? reads register n as a plain decimal number, Sn=v writes it whole, Sn.b?
// reads bit b (0..7) as "0" or "1", Sn.b=v writes it (v 0 or 1). Registers the
// device does not have, values the register does not accept (also when a bit
// write would produce one), and trailing characters are refused; nothing
// changes then.
Device::Reply Device::DoRegister(std::string_view args) {
    unsigned number = 0;
    if (!ReadDecimal(&args, &number) || args.empty()) {
        return Error();
    }
    const RegisterInfo* info = FindRegister(number);
    if (info == nullptr || !options_.dialect.Knows(static_cast<int>(number))) {
        return Error();
    }
    const unsigned current = Register(static_cast<int>(number));
    unsigned wanted = 0;
    if (args.front() == '.') {
        args.remove_prefix(1);
        unsigned bit = 0;
        if (!ReadDecimal(&args, &bit) || bit > 7 || args.empty()) {
            return Error();
        }
        if (args == "?") {
            return Ok(options_.dialect.Number((current >> bit) & 1u));
        }
        unsigned value = 0;
        if (!ReadAssignment(args, 1, &value)) {
            return Error();
        }
        const unsigned mask = 1u << bit;
        wanted = value != 0 ? (current | mask) : (current & ~mask);
    } else {
        if (args == "?") {
            return Ok(options_.dialect.Number(current));
        }
        if (!ReadAssignment(args, 255, &wanted)) {
            return Error();
        }
    }
    if (refuse_writes_ || !Accepts(*info, wanted)) {
        return Error();
    }
    SetRegister(static_cast<int>(number), static_cast<int>(wanted));
    return Ok();
}

// AT&ZI? lists the subscriber numbers by port (layout in device_text.h);
// AT&ZIn=number sets number n (0..2 Phone 1, 3..5 Phone 2, 6..8 DTE port), an
// empty value clears it.
Device::Reply Device::DoMsn(std::string_view args) {
    if (args == "?") {
        return Ok(MsnListing(nv_.msn, options_.dialect));
    }
    if (args.size() < 2 || args[0] < '0' || args[0] > '8' || args[1] != '=') {
        return Error();
    }
    const auto index = static_cast<std::size_t>(args[0] - '0');
    const std::string_view value = args.substr(2);
    if (refuse_writes_ || !NumberKept(value, index >= kDteMsnFirst)) {
        return Error();
    }
    nv_.msn[index] = std::string(value);
    SaveNv();
    return Ok();
}

// AT&ZO? lists the own numbers; AT&ZOa=, AT&ZOb=, AT&ZOi= set those of Phone 1,
// Phone 2 and the DTE port. The device keeps the text it gets, whether or not
// it is among the port's subscriber numbers.
Device::Reply Device::DoOwnNumber(std::string_view args) {
    if (args == "?") {
        return Ok(OwnNumberListing(nv_.own, options_.dialect));
    }
    if (args.size() < 2 || args[1] != '=') {
        return Error();
    }
    std::size_t index = 0;
    switch (Upper(args[0])) {
        case 'A':
            index = 0;
            break;
        case 'B':
            index = 1;
            break;
        case 'I':
            index = 2;
            break;
        default:
            return Error();
    }
    const std::string_view value = args.substr(2);
    if (refuse_writes_ || !NumberKept(value, index == kDteOwn)) {
        return Error();
    }
    nv_.own[index] = std::string(value);
    SaveNv();
    return Ok();
}

// ATCH? lists the charge counters, ATCH0 clears all six.
Device::Reply Device::DoCharges(std::string_view args) {
    if (args == "?") {
        return Ok(ChargeListing(nv_.last_charge, nv_.total_charge, options_.dialect));
    }
    if (args == "0") {
        if (refuse_writes_) {
            return Error();
        }
        nv_.last_charge.fill(0);
        nv_.total_charge.fill(0);
        SaveNv();
        return Ok();
    }
    return Error();
}

// AT/CLIPLEVEL (or with "?") answers the FSK level as a number; "AT/CLIPLEVEL n"
// (blank or "=") sets it, 0..19. The variants without FSK caller id (Brasil)
// know neither.
Device::Reply Device::DoClipLevel(std::string_view args) {
    if (!FskAvailable()) {
        return Error();
    }
    if (args.empty() || args == "?") {
        return Ok(options_.dialect.Number(clip_level_));
    }
    if (args.front() != ' ' && args.front() != '=') {
        return Error();
    }
    args.remove_prefix(1);
    while (!args.empty() && args.front() == ' ') {
        args.remove_prefix(1);
    }
    unsigned level = 0;
    if (!ReadDecimal(&args, &level) || !args.empty() || level > kClipLevelMax || refuse_writes_) {
        return Error();
    }
    clip_level_ = static_cast<int>(level);
    return Ok();
}

// AT!X2? answers the X.121 address behind an 11-character label (the
// dialect's); AT!X2=digits
// sets it (at most 15). Only the variants with X.25 have it.
Device::Reply Device::DoX121(std::string_view args) {
    if (!X25Available()) {
        return Error();
    }
    if (args == "?") {
        return Ok(options_.dialect.x121_label + x121_);
    }
    if (args.empty() || args.front() != '=') {
        return Error();
    }
    args.remove_prefix(1);
    if (refuse_writes_ || args.size() > kX121DigitsMax || !AllDigits(args)) {
        return Error();
    }
    x121_ = std::string(args);
    return Ok();
}

// ATUPX asks before it erases anything; the answer is one key, no line end.
Device::Reply Device::DoUpgrade(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    mode_ = Mode::kQuestion;
    return Raw(std::string(kUpgradeQuestion));
}

// A service console, for people; the program only ever leaves it.
Device::Reply Device::DoConsole(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    mode_ = Mode::kConsole;
    line_.clear();
    return Raw("\r\nService console, type QUIT to leave\r\n" + std::string(kConsolePrompt));
}

}  // namespace vardex::sim
