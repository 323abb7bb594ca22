// The simulated varDex as a pure state machine: bytes from the program go in
// through Feed, the device's bytes come out through a sink, synchronously, on the
// caller's thread. No threads, no I/O, no clocks: a transport (PtyDevice, or a
// test) decides when the bytes travel.
//
// Line discipline, as a modem does it:
//  - every received byte is echoed at once while echo is on, CR included;
//  - a command starts at "AT" (either letter in either case); bytes before it are
//    ignored, so a stray LF after the CR, or a lone "N", does no harm;
//  - CR ends the command; BS removes the last character typed;
//  - a line longer than the line buffer is cut off and answered with ERROR.
//
// Replies use the verbose form: "\r\n" text "\r\n" for an information text, then
// "\r\nOK\r\n" or "\r\nERROR\r\n".
//
// Not thread-safe: one thread at a time (PtyDevice holds a lock around it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vardex::sim {

struct DeviceOptions {
    // "ATI4" answers product + " " + model_version; a product without "VarDex"
    // in it plays a foreign modem.
    std::string product = "Calvetra VarDex";
    std::string model_version = "V1.2";
    std::string hardware_version = "V3.0";   // "ATI0": "Hardware Version <this>"
    std::string software_version = "V2.10";  // "ATI3": "Software Version <this> <country>"
    std::string country = "Hungary";         // empty: "ATI3" names no country
    std::string crc = "CRC: 5A3C";           // "ATI1"
    bool echo = true;                        // echo state at power-up and after ATZ
    // Characters of one command line, "AT" included, CR not.
    std::size_t line_buffer = 255;
};

class Device {
  public:
    using Sink = std::function<void(std::string_view bytes)>;
    static constexpr int kRegisterCount = 256;

    // The sink receives every byte the device sends, echo included, unless an
    // echo sink is set.
    Device(DeviceOptions options, Sink sink);

    // Sends the echo to a sink of its own, so that a transport can time echo and
    // replies differently. Order across both sinks is the order of the calls.
    void SetEchoSink(Sink sink);

    // Takes bytes as they arrive on the line; any split across calls is fine.
    void Feed(std::string_view bytes);

    // The power-up state: echo, registers, an empty line buffer. (ATZ does this.)
    void Reset();

    const DeviceOptions& Options() const { return options_; }
    bool Echo() const { return echo_; }

    // Register access for transports and tests. Register() of a number outside
    // 0..255 reads 0; SetRegister refuses numbers and values outside 0..255.
    std::uint8_t Register(int number) const;
    bool SetRegister(int number, int value);

    // Command lines executed since construction (empty and refused lines count),
    // and the text of the last one behind "AT", as received.
    std::uint64_t CommandCount() const { return command_count_; }
    const std::string& LastCommand() const { return last_command_; }

  private:
    struct Reply {
        bool ok = true;
        std::string text;  // information text without the framing line breaks
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

    static Reply Ok(std::string text = {}) { return Reply{true, std::move(text)}; }
    static Reply Error() { return Reply{false, {}}; }

    void Take(char c);
    void Execute();
    void Respond(const Reply& reply);
    void FlushEcho();

    Reply DoIdentify(std::string_view args);
    Reply DoEcho(std::string_view args);
    Reply DoReset(std::string_view args);
    Reply DoSetRi(std::string_view args);
    Reply DoRegister(std::string_view args);

    DeviceOptions options_;
    Sink sink_;
    Sink echo_sink_;

    bool echo_ = true;
    std::array<std::uint8_t, kRegisterCount> registers_{};

    // Line state: hunting for "AT" until in_line_.
    bool saw_a_ = false;
    bool in_line_ = false;
    bool overflow_ = false;
    std::string line_;         // behind "AT"
    std::string echo_buffer_;  // echo of the current Feed, sent before any reply

    std::uint64_t command_count_ = 0;
    std::string last_command_;
};

}  // namespace vardex::sim
