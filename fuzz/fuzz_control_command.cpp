// The control channel of vardex-sim (standard input or its UNIX socket): each
// line of the input is one command, run on a simulated device that was never
// started, so that nothing reaches a pseudo-terminal. Every command is answered,
// and its last line is "ok" or an error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "control.h"
#include "fuzz_check.h"
#include "pty_device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vardex::fuzz::Check;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vardex::sim::PtyDevice device;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        bool close = false;
        const std::string reply = vardex::sim::RunControlCommand(device, line, &close);
        if (reply.empty()) {
            // Only a line without a word goes unanswered.
            Check(line.find_first_not_of(" \t\r\n") == std::string_view::npos);
            continue;
        }
        Check(reply.ends_with("\n"));
        const std::size_t last = reply.rfind('\n', reply.size() - 2);
        const std::string_view last_line =
            std::string_view(reply).substr(last == std::string::npos ? 0 : last + 1);
        Check(last_line == "ok\n" || last_line.starts_with("error:"));
        if (close) {
            Check(last_line == "ok\n");
            break;
        }
    }
    return 0;
}
