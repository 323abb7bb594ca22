// What every reply parser promises whatever the bytes: a checked failure stops
// the run like a sanitizer finding.
#pragma once

#include <cstdlib>
#include <string>

#include "params/reply_parsers.h"

namespace vardex::fuzz {

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A number taken from a reply: decimal digits only, no longer than the cut.
inline void CheckDigitRun(const std::string& digits) {
    Check(digits.size() <= vardex::params::kDigitRunMax);
    for (const char c : digits) {
        Check(c >= '0' && c <= '9');
    }
}

}  // namespace vardex::fuzz
