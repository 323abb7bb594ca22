// What a person may set on the Telephony page, as the page and vardexctl both
// apply it: the flash duration's limits by country, the country variants'
// services and the characters a subscriber number may hold. A text that passes
// here is also safe on a command line: no control character, no ";" (which
// would start a second command) and no more characters than the device takes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "params/device_config.h"

namespace vardex::params {

// Characters of one subscriber number.
inline constexpr int kMsnLengthMax = 24;

inline constexpr int kFlashMax = 100;
inline constexpr int kFlashMinimum = 20;
inline constexpr int kFlashMinimumPoland = 5;
inline constexpr int kFskLevelMax = 19;
inline constexpr int kTerminalAnalogModem = 2;

// 5 where the country names Poland ("Poland" or "poland" anywhere in it), else 20.
int FlashMinimum(std::string_view country);
// 0 (no flash) or FlashMinimum .. kFlashMax.
bool FlashAllowed(int value, std::string_view country);
// The connected terminals, their LLC octets and message waiting: the
// Hungarian variant only (exactly "Hungary").
bool TerminalsEditable(std::string_view country);
// The ML-PPP flags share their register with the terminal types, which the
// Hungarian variant keeps there instead.
bool MlpppEditable(std::string_view country);

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
// variant (the limits and the country rules; which terminal the LLC octets
// belong to is the person's business).
struct TelephonyBreach {
    std::string field;  // the record's member name
    std::string why;    // what is allowed
    int lo = 0;         // limits, when why is empty: "Valid limits: lo - hi"
    int hi = 0;
};
// The first telephony field of wanted that differs from before and breaks a
// rule for wanted's country; nothing when every change is allowed.
std::optional<TelephonyBreach> FindTelephonyBreach(const CDeviceConfig& before,
                                                   const CDeviceConfig& wanted);

}  // namespace vardex::params
