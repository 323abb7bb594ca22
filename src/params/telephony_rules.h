// What a person may set on the Telephony page, as the page and vardexctl both
// apply it: the flash duration's limits by variant and the characters a
// subscriber number may hold. A text that passes
// here is also safe on a command line: no control character, no ";" (which
// would start a second command) and no more characters than the device takes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "params/country_variant.h"
#include "params/device_config.h"

namespace vardex::params {

// Characters of one subscriber number.
inline constexpr int kMsnLengthMax = 24;

inline constexpr int kFlashMax = 100;
inline constexpr int kFlashMinimum = 20;
inline constexpr int kFlashMinimumPoland = 5;
inline constexpr int kFskLevelMax = 19;
inline constexpr int kTerminalAnalogModem = 2;

// 0 (no flash) or the variant's minimum .. kFlashMax.
bool FlashAllowed(int value, const CountryVariant& variant);

// A character a person may type into a subscriber number: digits for the
// analog ports, any printable character but ";" for the DTE port. The reply
// parsers read the device's numbers by it too (inline: they link nothing else).
inline bool MsnCharAllowed(char c, bool dte) {
    if (c >= '0' && c <= '9') {
        return true;
    }
    return dte && c >= 0x20 && c < 0x7F && c != ';';
}

// A whole number: allowed characters only, at most kMsnLengthMax of them.
bool MsnAllowed(std::string_view text, bool dte);

// A telephony value the page would not let a person set on this device's
// variant although the field may change there (the flash duration's limits;
// which fields a variant lets a person change is the field table's business).
struct TelephonyBreach {
    std::string field;  // the record's member name
    std::string why;    // what is allowed
    int lo = 0;         // limits, when why is empty: "Valid limits: lo - hi"
    int hi = 0;
};
// The first telephony field of wanted that differs from before and breaks a
// limit of wanted's variant; nothing when every change is allowed.
std::optional<TelephonyBreach> FindTelephonyBreach(const CDeviceConfig& before,
                                                   const CDeviceConfig& wanted);

}  // namespace vardex::params
