// The identification replies: versions, the country and the CRC text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "device/identity_parse.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace id = vardex::device::identity;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t end = 0;
    if (id::ParseVersion(text, &end)) {
        Check(end <= size);
    }
    const std::string country = id::CountryAfterVersion(text);
    Check(country.size() <= id::kCountryMax);
    Check(country.find('\r') == std::string::npos);
    if (const auto crc = id::CrcText(text)) {
        Check(crc->size() <= id::kCrcMax);
        Check(text.find("OK") != std::string_view::npos);
    }
    return 0;
}
