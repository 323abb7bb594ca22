// Whether a reply is a complete answer, and a register's value from it: what
// is accepted never holds noise, and a value is always a byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"

using vardex::fuzz::Check;
namespace params = vardex::params;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto reply = params::SplitCompleteReply(text)) {
        Check(text.ends_with(reply->ok ? "OK\r\n" : "ERROR\r\n"));
        Check(reply->body.size() < text.size());
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            Check((u >= 0x20 && u < 0x7F) || c == '\r' || c == '\n');
        }
    }
    if (const auto value = params::ParseRegisterReply(text)) {
        Check(*value >= 0 && *value <= params::kRegisterMax);
        Check(params::SplitCompleteReply(text).has_value());
        // The value is the one number the reply holds.
        Check(text.find(std::to_string(*value)) != std::string_view::npos);
    }
    bool complete = false;
    (void)params::ParseMsnReply(text, &complete);
    if (complete) {
        Check(text.ends_with("OK\r\n"));
    }
    return 0;
}
