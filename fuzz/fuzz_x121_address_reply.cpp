// The X.121 address reply of "AT!X2?".
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto address = vardex::params::ParseX121AddressReply(text);
    if (address) {
        vardex::fuzz::Check(vardex::params::SplitWholeReply(text).has_value());
        vardex::fuzz::Check(address->refused == (text.find("ERROR") != std::string_view::npos));
        vardex::fuzz::Check(address->value.size() <= vardex::params::kDigitRunMax);
        for (const char c : address->value) {
            vardex::fuzz::Check(c >= '0' && c <= '9');
        }
    }
    const std::string safe = vardex::params::CommandSafeText(text);
    for (const char c : safe) {
        vardex::fuzz::Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    return 0;
}
