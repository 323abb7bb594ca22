// Multilink as the Connection page offers it, one three-way choice, against
// how the record holds it: the multilink flag and the add-channel time, where a
// zero time marks fixed multilink (the second channel is never added or dropped).
#pragma once

#include "params/device_config.h"

namespace vardex::params {

inline constexpr int kMultilinkNone = 0;
inline constexpr int kMultilinkFixed = 1;
inline constexpr int kMultilinkOnDemand = 2;

// The add-channel time that leaving fixed multilink puts in place of a zero.
inline constexpr int kMultilinkDefaultAddTime = 20;

// The choice the record's flag and add-channel time stand for.
int MultilinkChoiceOf(const CDeviceConfig& record);

// Puts a choice into the record, whose add-channel time is already the page's:
// no multilink clears the flag and replaces a zero time, fixed sets the flag and
// zeroes the time, bandwidth on demand sets the flag and keeps the time. Any
// other value changes nothing.
void ApplyMultilinkChoice(int choice, CDeviceConfig& record);

}  // namespace vardex::params
