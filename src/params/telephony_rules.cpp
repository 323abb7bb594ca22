#include "params/telephony_rules.h"

#include <cstddef>

#include "params/field_table.h"

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
    // The flash duration is the field its row writes: the table names it.
    static const RecordField& flash = *RowFields(Row::kFlashDuration).front();
    const int duration = FieldElement<int>(flash, wanted);
    const CountryVariant variant = VariantOf(wanted);
    if (!SameField(flash, before, wanted) && !FlashAllowed(duration, variant)) {
        return TelephonyBreach{flash.name, "", variant.FlashMinimum(), kFlashMax};
    }
    return std::nullopt;
}

}  // namespace vardex::params
