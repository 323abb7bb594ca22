#include "params/telephony_rules.h"

#include <cstddef>

namespace vardex::params {

namespace {
constexpr std::string_view kHungary = "Hungary";
}

int FlashMinimum(std::string_view country) {
    const bool poland = country.find("Poland") != std::string_view::npos ||
                        country.find("poland") != std::string_view::npos;
    return poland ? kFlashMinimumPoland : kFlashMinimum;
}

bool FlashAllowed(int value, std::string_view country) {
    return value == 0 || (value >= FlashMinimum(country) && value <= kFlashMax);
}

bool TerminalsEditable(std::string_view country) {
    return country == kHungary;
}

bool MlpppEditable(std::string_view country) {
    return country != kHungary;
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
    const std::string& country = wanted.m_strCountry;
    const auto changed = [&](int CDeviceConfig::*m) { return before.*m != wanted.*m; };
    const auto only = [](const char* field, const char* why) {
        return TelephonyBreach{field, why};
    };
    if (changed(&CDeviceConfig::m_nFlashDuration) &&
        !FlashAllowed(wanted.m_nFlashDuration, country)) {
        return TelephonyBreach{"m_nFlashDuration", "", FlashMinimum(country), kFlashMax};
    }
    if (changed(&CDeviceConfig::m_nFskLevel) && wanted.m_bFskLevelAvailable == 0) {
        return only("m_nFskLevel", "this variant has no FSK level");
    }
    if (!TerminalsEditable(country)) {
        for (const auto& [m, name] :
             {std::pair{&CDeviceConfig::m_bMessageWaiting1, "m_bMessageWaiting1"},
              std::pair{&CDeviceConfig::m_bMessageWaiting2, "m_bMessageWaiting2"},
              std::pair{&CDeviceConfig::m_nTerminalType1, "m_nTerminalType1"},
              std::pair{&CDeviceConfig::m_nTerminalType2, "m_nTerminalType2"}}) {
            if (changed(m)) {
                return only(name, "only the Hungarian variant has it");
            }
        }
        for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
            for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                if (before.m_byModemLlc[p][o] != wanted.m_byModemLlc[p][o]) {
                    return only("m_byModemLlc", "only the Hungarian variant has it");
                }
            }
        }
    }
    if (!MlpppEditable(country)) {
        if (changed(&CDeviceConfig::m_bNoIncomingMlppp1)) {
            return only("m_bNoIncomingMlppp1", "the Hungarian variant does not have it");
        }
        if (changed(&CDeviceConfig::m_bNoIncomingMlppp2)) {
            return only("m_bNoIncomingMlppp2", "the Hungarian variant does not have it");
        }
    }
    return std::nullopt;
}

}  // namespace vardex::params
