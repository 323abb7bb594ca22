// Whether a reply is whole, and a numeric query's value from it: what is
// taken never holds noise, and only a whole reply gives a value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"

using vardex::fuzz::Check;
namespace params = vardex::params;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto whole = params::SplitWholeReply(text);
    if (whole) {
        Check(text.ends_with(whole->ok ? "OK\r\n" : "ERROR\r\n"));
        Check(whole->body.size() < text.size());
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            Check((u >= 0x20 && u < 0x7F) || c == '\r' || c == '\n' || c == '\t');
        }
    }
    if (const auto number = params::ParseNumericReply(text)) {
        // Only a whole reply has a value, and a refusal reads as 0.
        Check(whole.has_value() && number->refused == !whole->ok);
        Check(!number->refused || number->value == 0);
    }
    bool complete = false;
    (void)params::ParseMsnReply(text, &complete);
    if (complete) {
        Check(text.ends_with("OK\r\n"));
    }
    return 0;
}
