// The range of every whole-number setting of the record: what a write accepts
// and what a read takes from the device. One place, so that the command line's
// checks, the rows and (later) the pages agree.
#pragma once

#include <span>

#include "params/device_config.h"

struct IntFieldLimits {
    const char* name;
    int CDeviceConfig::*member;
    int lo, hi;
    int also;  // one more value outside lo..hi that the field takes (else lo)

    bool Allows(long long value) const { return (value >= lo && value <= hi) || value == also; }
};

// Every settable whole-number field, in the record's order.
std::span<const IntFieldLimits> IntFieldTable();

// The limits of a field; null for a field without any (identity, counters, flags).
const IntFieldLimits* LimitsOf(int CDeviceConfig::*member);
