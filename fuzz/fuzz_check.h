// What every reply parser promises whatever the bytes: a checked failure stops
// the run like a sanitizer finding.
#pragma once

#include <cstdlib>
#include <string>

#include "params/reply_parsers.h"
#include "params/telephony_rules.h"

namespace vardex::fuzz {

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A subscriber or own number taken from a reply: what the port's numbers may
// hold (decimal digits only, but on the DTE port), no longer than the cut.
inline void CheckNumber(const std::string& number, bool dte) {
    Check(number.size() <= vardex::params::kDigitRunMax);
    for (const char c : number) {
        Check(vardex::params::MsnCharAllowed(c, dte));
    }
}

}  // namespace vardex::fuzz
