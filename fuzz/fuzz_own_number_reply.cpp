// The own-number reply of "AT&ZO?" and its mapping to a subscriber number.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto own = vardex::params::ParseOwnNumberReply(text);
    const std::string msns[3] = {"", own[1], own[0]};
    for (std::size_t port = 0; port < own.size(); ++port) {
        const std::string& number = own[port];
        vardex::fuzz::CheckNumber(number, port == 2);  // the DTE port's
        const int index = vardex::params::ResolveOwnNumber(number, msns);
        vardex::fuzz::Check(index >= -1 && index <= 2);
        vardex::fuzz::Check(index != 0);  // an empty entry never matches
    }
    return 0;
}
