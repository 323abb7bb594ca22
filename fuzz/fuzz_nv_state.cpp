// The simulator's state file (vardex-sim --state): whatever the bytes, a file
// that is refused says why, and a file that is accepted holds only what a
// device can keep and comes back the same after a save and a load.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "nv_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vardex::fuzz::Check;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto state = vardex::sim::ParseNv(text);
    if (!state) {
        Check(!state.error().empty());
        return 0;
    }
    for (const vardex::sim::Profile& profile : state->profiles) {
        Check(profile.clip_level >= 0 && profile.clip_level <= 255);
    }
    const std::string saved = vardex::sim::SerializeNv(*state);
    const auto loaded = vardex::sim::ParseNv(saved);
    Check(loaded.has_value());
    Check(*loaded == *state);
    Check(vardex::sim::SerializeNv(*loaded) == saved);
    return 0;
}
