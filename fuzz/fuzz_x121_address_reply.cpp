// The X.121 address reply of "AT!X2?".
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto address = vardex::params::ParseX121AddressReply(text);
    vardex::fuzz::Check(address.has_value() == (text.find("ERROR") == std::string_view::npos));
    if (address) {
        vardex::fuzz::Check(address->size() <= size);
        for (const char c : *address) {
            vardex::fuzz::Check(c >= '0' && c <= '9');
        }
    }
    const std::string safe = vardex::params::CommandSafeText(text);
    for (const char c : safe) {
        vardex::fuzz::Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    return 0;
}
