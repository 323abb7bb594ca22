// The subscriber-number reply of "AT&ZI?".
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& [index, number] : vardex::params::ParseMsnReply(text)) {
        vardex::fuzz::Check(index >= 0 && index < vardex::params::kMsnCount);
        vardex::fuzz::CheckNumber(number, index >= 6);  // 6..8: the DTE port's
    }
    return 0;
}
