// The numeric reply of every register query.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int value = vardex::params::ParseLeadingInt(text);
    // The C library's reading of the same text, clamped to int, is the oracle.
    const std::string copy(text);
    long long wide = std::strtoll(copy.c_str(), nullptr, 10);
    wide = wide > INT_MAX ? INT_MAX : (wide < INT_MIN ? INT_MIN : wide);
    vardex::fuzz::Check(value == static_cast<int>(wide));
    vardex::fuzz::Check(vardex::params::SkipBlank(text, 0) <= size);
    return 0;
}
