// The simulated varDex as a pure state machine: bytes from the program go in
// through Feed, the device's bytes come out through sinks, synchronously, on the
// caller's thread. No threads, no I/O, no clocks: a transport (PtyDevice, or a
// test) decides when the bytes travel and tells the device what time it is
// (AdvanceTo, in device milliseconds; NextDeadline says when it next wants to
// be told).
//
// Line discipline in command mode, as a modem does it:
//  - every received byte is echoed at once while echo is on, CR included;
//  - a command starts at "AT" (either letter in either case); bytes before it are
//    ignored, so a stray LF after the CR, or a lone "N", does no harm;
//  - CR ends the command; BS removes the last character typed;
//  - a line longer than the line buffer is cut off and answered with ERROR.
//
// Replies use the verbose form: "\r\n" text "\r\n" for an information text, then
// "\r\nOK\r\n" or "\r\nERROR\r\n" (the dialect may leave out the first "\r\n").
//
// Besides command mode the device has three other modes: the yes/no question of
// the firmware upgrade (no echo; Y goes on, N leaves silently, CR repeats the
// question), the service console (no echo; prompt "VDX> "; QUIT leaves
// silently) and the firmware loader (NAK about once a second, XMODEM reception
// with the 8-bit checksum).
//
// Not thread-safe: one thread at a time (PtyDevice holds a lock around it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "dialect.h"
#include "nv_state.h"

namespace vardex::sim {

struct DeviceOptions {
    // "ATI4" answers product + " " + model_version; a product without "VarDex"
    // in it plays a foreign modem.
    std::string product = "Calvetra VarDex";
    std::string model_version = "V1.2";
    std::string hardware_version = "V3.0";   // "ATI0": "Hardware Version <this>"
    std::string software_version = "V2.10";  // "ATI3": "Software Version <this> <country>"
    std::string country = "Hungary";         // empty: "ATI3" names no country
    std::string crc = "CRC: 5A3C";           // "ATI1" until a firmware is installed
    bool echo = true;                        // echo state at power-up and after ATZ
    bool start_in_loader = false;            // as after an interrupted upgrade
    // Characters of one command line, "AT" included, CR not.
    std::size_t line_buffer = 255;
    // Where the reply rules leave the device a choice (the timing of its
    // replies is the transport's: PtyDevice reads it from here).
    Dialect dialect = {};
};

// Ports that have subscriber numbers and charge counters.
enum class Line { kPhone1 = 0, kPhone2 = 1, kDte = 2 };
constexpr int kLineCount = 3;

// Circuits whose hardware fault can be injected.
enum class Circuit {
    kDChannel,
    kUInterface,
    kSInterface,
    kRing1,
    kRing2,
    kHook1,
    kHook2,
    kDtmf1,
    kDtmf2,
    kTone1,
    kTone2,
    kCharge1,
    kCharge2,
};
constexpr int kCircuitCount = 13;
// Control-channel names: "dchannel", "u", "s", "ring1", "ring2", "hook1", ...
std::string_view CircuitName(Circuit circuit);
bool CircuitFromName(std::string_view name, Circuit* circuit);

enum class Mode { kCommand, kQuestion, kConsole, kLoader };

// What a person at an analog port notices.
struct PhoneState {
    bool off_hook = false;
    bool ringing = false;
    bool tone = false;          // the test tone plays (heard only off hook)
    bool charging = false;      // metering pulses arrive
    bool disconnected = false;  // the port is taken out of normal operation
};

// Trace layers as the trace switches number them (switch 2n off, 2n + 1 on;
// switch 8/9 is the trace output itself, see DoTrace).
enum class TraceLayer { kL1 = 0, kL2 = 1, kL3 = 2, kApp = 3, kU = 5 };

class Device {
public:
    using Sink = std::function<void(std::string_view bytes)>;
    using NvSink = std::function<void(const NvState& state)>;
    static constexpr int kRegisterCount = 256;
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
    // Device-time intervals, in milliseconds.
    static constexpr std::int64_t kLoaderNakMs = 1000;
    static constexpr std::int64_t kBlockByteTimeoutMs = 1000;
    static constexpr std::int64_t kBlockIdleTimeoutMs = 10000;
    // A flood sends what is due at least this often.
    static constexpr std::int64_t kFloodTickMs = 10;
    static constexpr std::size_t kFloodLineBytes = 64;
    static constexpr std::int64_t kDefaultCallUnitMs = 2000;

    // The sink receives every byte the device sends, echo and unsolicited output
    // included, unless sinks of their own are set for those.
    Device(DeviceOptions options, Sink sink);

    // Sends the echo to a sink of its own, so that a transport can time echo and
    // replies differently. Order across sinks is the order of the calls.
    void SetEchoSink(Sink sink);
    // Output nobody asked for: loader NAKs on its timer, trace lines.
    void SetUnsolicitedSink(Sink sink);
    // Called after every change of the non-volatile state, with all of it.
    void SetNvSink(NvSink sink);

    // Replaces the non-volatile state (a loaded state file) and powers up.
    void LoadNv(const NvState& state);
    const NvState& Nv() const { return nv_; }
    static NvState FactoryNv(const DeviceOptions& options);

    // Takes bytes as they arrive on the line; any split across calls is fine.
    void Feed(std::string_view bytes);

    // Time: the transport moves the device clock forward (never back) and fires
    // what is due; NextDeadline is the device time of the next timed event, or
    // kNever.
    void AdvanceTo(std::int64_t now_ms);
    std::int64_t Now() const { return now_ms_; }
    std::int64_t NextDeadline() const;

    // Power cycle: the loader when the firmware is not valid (or the option
    // says so), else command mode with the power-up profile.
    void PowerUp();
    // Soft reset as "ATZ" does it: the power-up profile.
    void Reset();
    // The firmware loader, at once (what an interrupted upgrade leaves behind).
    void EnterLoader();
    // A loader that found its flash faulty: instead of NAK it reports an error
    // line every second and takes nothing until a power cycle.
    void EnterLoaderError();
    // The states in which "ATI4" meets a question or a console.
    void EnterQuestion();
    void EnterConsole();

    const DeviceOptions& Options() const { return options_; }
    Mode CurrentMode() const { return mode_; }
    bool Echo() const { return echo_; }
    const std::string& SoftwareVersion() const { return nv_.software_version; }
    const std::string& CrcText() const { return nv_.crc; }

    // Register access for transports and tests. Register() of a number outside
    // 0..255 reads 0; SetRegister writes any 0..255 value (no range check: a
    // test may plant what the device itself would refuse).
    std::uint8_t Register(int number) const;
    bool SetRegister(int number, int value);
    int ClipLevel() const { return clip_level_; }
    const std::string& X121Address() const { return x121_; }

    // Every setting command is refused with ERROR while on.
    void SetRefuseWrites(bool refuse) { refuse_writes_ = refuse; }
    // The next `count` command lines that begin with `prefix` (after "AT", any
    // case) are lost on the way in: no effect, no reply, as if noise ate them.
    void LoseCommands(std::string prefix, int count) {
        lose_prefix_ = std::move(prefix);
        lose_count_ = count;
    }
    // How many of those are still to come.
    int LostCommandsLeft() const { return lose_count_; }

    // Telephones on the analog ports (0, 1).
    void LiftHandset(int port);
    void ReplaceHandset(int port);
    // A DTMF key ('0'..'9', '*', '#') pressed on the telephone; heard only off
    // hook. Returns false for another character or port.
    bool PressKey(int port, char key);
    PhoneState Phone(int port) const;
    void SetFault(Circuit circuit, bool on);
    bool Fault(Circuit circuit) const { return faults_[static_cast<std::size_t>(circuit)]; }

    // Calls for the charge counters. StartCall begins a call whose counters grow
    // by one unit every unit_ms until EndCall; AddCall books a finished call.
    void StartCall(Line line, std::int64_t unit_ms = kDefaultCallUnitMs);
    void EndCall(Line line);
    bool InCall(Line line) const { return call_due_[static_cast<std::size_t>(line)] != kNever; }
    void AddCall(Line line, std::uint32_t units);

    // Trace lines at a steady byte rate (device time), switches or not, for
    // load tests: bytes_per_second 0 ends it; duration_ms 0 runs until then.
    // Whole lines "FLOOD <n> ..." of 64 bytes with CR LF, n counting from 0
    // over all floods, so a reader can check that nothing went missing or twice.
    void SetTraceFlood(std::uint32_t bytes_per_second, std::int64_t duration_ms);
    bool TraceFlooding() const { return flood_rate_ != 0; }
    // Flood bytes sent since construction.
    std::uint64_t TraceFloodBytes() const { return flood_total_; }

    bool TraceOutput() const { return trace_output_; }
    bool Tracing(TraceLayer layer) const {
        return (trace_layers_ & (1u << static_cast<unsigned>(layer))) != 0;
    }

    // Loader progress: blocks accepted in the current transfer.
    std::size_t BlocksReceived() const { return image_.size() / kBlockSize; }

    // Command lines executed since construction (empty and refused lines count),
    // and the text of the last one behind "AT", as received.
    std::uint64_t CommandCount() const { return command_count_; }
    const std::string& LastCommand() const { return last_command_; }

private:
    static constexpr std::size_t kBlockSize = 128;
    static constexpr std::size_t kFrameSize = kBlockSize + 4;

    struct Reply {
        bool ok = true;
        std::string text;  // information text without the framing line breaks
        bool raw = false;  // text goes out exactly as it is, with no result code
    };
    using Handler = Reply (Device::*)(std::string_view args);
    // One row per command name; the longest name that starts the line wins and
    // its handler gets the rest of the line. Names are upper case; matching is not
    // case-sensitive.
    struct Command {
        std::string_view name;
        Handler handler;
    };
    static const Command kCommands[];

    static Reply Ok(std::string text = {}) { return Reply{true, std::move(text), false}; }
    static Reply Error() { return Reply{false, {}, false}; }
    static Reply Raw(std::string text) { return Reply{true, std::move(text), true}; }

    void Send(std::string_view bytes);
    void SendUnsolicited(std::string_view bytes);
    void SaveNv();

    void TakeCommandByte(char c);
    void TakeQuestionByte(char c);
    void TakeConsoleByte(char c);
    void TakeLoaderByte(char c);
    void Execute();
    void ExecuteConsole();
    void Respond(const Reply& reply);
    void FlushEcho();

    void LoadProfile(int profile);
    void StopTestSignals();
    bool X25Available() const;
    bool FskAvailable() const;

    // Loader (device_loader.cpp).
    void StartLoaderWait(std::int64_t first_nak_in_ms);
    void FinishBlock();
    void FinishImage();
    void CancelTransfer();
    void LoaderTimers();

    // Traces (device_trace.cpp).
    void ScheduleTrace();
    void EmitTrace();
    void EmitFlood();

    Reply DoIdentify(std::string_view args);
    Reply DoEcho(std::string_view args);
    Reply DoReset(std::string_view args);
    Reply DoFactory(std::string_view args);
    Reply DoStore(std::string_view args);
    Reply DoSetRi(std::string_view args);
    Reply DoRegister(std::string_view args);
    Reply DoMsn(std::string_view args);
    Reply DoOwnNumber(std::string_view args);
    Reply DoCharges(std::string_view args);
    Reply DoClipLevel(std::string_view args);
    Reply DoX121(std::string_view args);
    Reply DoUpgrade(std::string_view args);
    Reply DoConsole(std::string_view args);
    Reply DoTrace(std::string_view args);
    // Self-test hardware (device_hardware.cpp).
    Reply DoDisconnectPots(std::string_view args);
    Reply DoConnectPots(std::string_view args);
    Reply DoHookState(std::string_view args);
    Reply DoDtmfState(std::string_view args);
    Reply DoDtmfRead(std::string_view args);
    Reply DoRing(std::string_view args);
    Reply DoNoRing(std::string_view args);
    Reply DoStartTone(std::string_view args);
    Reply DoStopTone(std::string_view args);
    Reply DoCharge(std::string_view args);
    Reply DoNoCharge(std::string_view args);
    Reply DoDLoop(std::string_view args);
    Reply DoSpiComTest(std::string_view args);
    // " n" behind a command of ports 0, 1 or 2 (both): act on each port named;
    // ERROR when the argument is wrong or act refuses a port.
    template <typename Act>
    Reply OnPorts(std::string_view args, Act act);

    DeviceOptions options_;
    Sink sink_;
    Sink echo_sink_;
    Sink unsolicited_sink_;
    NvSink nv_sink_;

    NvState nv_;
    Mode mode_ = Mode::kCommand;
    bool echo_ = true;
    bool refuse_writes_ = false;
    std::string lose_prefix_;
    int lose_count_ = 0;
    std::array<std::uint8_t, kRegisterCount> registers_{};
    int clip_level_ = 0;
    std::string x121_;
    std::int64_t now_ms_ = 0;

    // Line state: hunting for "AT" until in_line_.
    bool saw_a_ = false;
    bool in_line_ = false;
    bool overflow_ = false;
    std::string line_;         // behind "AT" (or the console line)
    std::string echo_buffer_;  // echo of the current Feed, sent before any reply

    // Analog ports and the test circuits.
    struct Pots {
        bool off_hook = false;
        bool disconnected = false;
        bool ringing = false;
        bool tone = false;
        std::int64_t charge_until = kNever;  // metering pulses on until then
        char last_key = '\0';                // latched by the DTMF detector
        bool key_down = false;
    };
    std::array<Pots, 2> pots_{};
    std::array<bool, kCircuitCount> faults_{};
    std::array<std::int64_t, kLineCount> call_due_{kNever, kNever, kNever};
    std::array<std::int64_t, kLineCount> call_unit_ms_{};

    // Loader.
    bool loader_started_ = false;  // a block was accepted in this transfer
    bool loader_error_ = false;
    std::uint8_t expected_block_ = 1;
    std::string frame_;  // the block being received, SOH included
    std::string image_;  // accepted data
    std::int64_t nak_due_ = kNever;
    std::int64_t frame_due_ = kNever;  // partial block or idle time-out

    // Traces.
    bool trace_output_ = false;
    unsigned trace_layers_ = 0;
    std::int64_t trace_due_ = kNever;
    std::uint32_t trace_seed_ = 0x2545F491u;
    std::uint32_t trace_count_ = 0;
    std::uint32_t flood_rate_ = 0;
    std::int64_t flood_start_ = 0;
    std::int64_t flood_until_ = kNever;
    std::uint64_t flood_sent_ = 0;   // of the current flood
    std::uint64_t flood_total_ = 0;  // of all floods
    std::uint32_t flood_lines_ = 0;

    std::uint64_t command_count_ = 0;
    std::string last_command_;
};

}  // namespace vardex::sim
