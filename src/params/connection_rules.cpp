#include "params/connection_rules.h"

#include "params/multilink_rule.h"

namespace vardex::params {

bool ProtocolOffered(int protocol, const CountryVariant& variant) {
    if (variant.ConnectionLocked()) {
        return false;
    }
    switch (protocol) {
        case CDeviceConfig::kProtocolV120:
            return variant.v120;
        case CDeviceConfig::kProtocolV110:
            return variant.v110;
        case CDeviceConfig::kProtocolX25DChannel:
            return variant.x25;
        default:
            return protocol >= 0 && protocol < CDeviceConfig::kProtocolCount;
    }
}

PppControls PppControlsFor(int protocol, int multilink_choice, int bap_support) {
    PppControls on;
    on.options = protocol == CDeviceConfig::kProtocolPpp;
    on.thresholds = on.options && multilink_choice == kMultilinkOnDemand;
    on.call_back = on.thresholds && bap_support == 1;
    return on;
}

std::string LeadingDigits(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
        ++n;
    }
    return std::string(text.substr(0, n));
}

std::optional<ConnectionBreach> FindConnectionBreach(const CDeviceConfig& before,
                                                     const CDeviceConfig& wanted) {
    if (before.m_nProtocol != wanted.m_nProtocol &&
        !ProtocolOffered(wanted.m_nProtocol, VariantOf(wanted))) {
        return ConnectionBreach{"m_nProtocol", "this variant does not offer that protocol"};
    }
    return std::nullopt;
}

}  // namespace vardex::params
