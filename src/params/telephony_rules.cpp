#include "params/telephony_rules.h"

#include <cstddef>

namespace vardex::params {

bool FlashAllowed(int value, const CountryVariant& variant) {
    return value == 0 || (value >= variant.FlashMinimum() && value <= kFlashMax);
}

bool MsnAllowed(std::string_view text, bool dte) {
    if (text.size() > static_cast<std::size_t>(kMsnLengthMax)) {
        return false;
    }
    for (const char c : text) {
        if (!MsnCharAllowed(c, dte)) {
            return false;
        }
    }
    return true;
}

std::optional<TelephonyBreach> FindTelephonyBreach(const CDeviceConfig& before,
                                                   const CDeviceConfig& wanted) {
    const CountryVariant variant = VariantOf(wanted);
    if (before.m_nFlashDuration != wanted.m_nFlashDuration &&
        !FlashAllowed(wanted.m_nFlashDuration, variant)) {
        return TelephonyBreach{"m_nFlashDuration", "", variant.FlashMinimum(), kFlashMax};
    }
    return std::nullopt;
}

}  // namespace vardex::params
