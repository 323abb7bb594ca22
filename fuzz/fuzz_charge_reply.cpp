// The charge-counter reply of "ATCH?".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vardex::params::ChargeReply c = vardex::params::ParseChargeReply(text);
    // Counts are digit runs: never negative.
    for (const std::optional<int>& n :
         {c.lastDte, c.last1, c.last2, c.totalDte, c.total1, c.total2}) {
        vardex::fuzz::Check(!n || *n >= 0);
    }
    return 0;
}
