#include "params/connection_rules.h"

#include "params/field_table.h"
#include "params/multilink_rule.h"

namespace vardex::params {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The fields the Connection page sets itself; the X.25 ones are found by their
// table entry.
constexpr std::pair<int CDeviceConfig::*, const char*> kPageFields[] = {
    {&CDeviceConfig::m_nProtocol, "m_nProtocol"},
    {&CDeviceConfig::m_bMultilink, "m_bMultilink"},
    {&CDeviceConfig::m_nBodAddRate, "m_nBodAddRate"},
    {&CDeviceConfig::m_nBodAddTime, "m_nBodAddTime"},
    {&CDeviceConfig::m_nBodDropRate, "m_nBodDropRate"},
    {&CDeviceConfig::m_nBodDropTime, "m_nBodDropTime"},
    {&CDeviceConfig::m_bBapSupport, "m_bBapSupport"},
    {&CDeviceConfig::m_bBapCallBack, "m_bBapCallBack"},
};

// The first X.25 field that differs between the two records.
const RecordField* ChangedX25Field(const CDeviceConfig& before, const CDeviceConfig& wanted) {
    for (const RecordField& field : RecordFields()) {
        if (field.availability == Availability::kX25 && field.Writable() &&
            !SameField(field, before, wanted)) {
            return &field;
        }
    }
    return nullptr;
}

}  // namespace

bool ConnectionLocked(std::string_view country) {
    return Contains(country, "Poland") || Contains(country, "poland");
}

bool V120Offered(std::string_view country) {
    return country == "United Arab Emirates" || Contains(country, "UAE") ||
           Contains(country, "Cyprus") || Contains(country, "SaudiArabia") ||
           Contains(country, "Saudiarabia");
}

bool V110Offered(std::string_view country) {
    return V120Offered(country) || Contains(country, "Lithuania");
}

bool ProtocolOffered(int protocol, std::string_view country, int x25_available) {
    if (ConnectionLocked(country)) {
        return false;
    }
    switch (protocol) {
        case CDeviceConfig::kProtocolV120:
            return V120Offered(country);
        case CDeviceConfig::kProtocolV110:
            return V110Offered(country);
        case CDeviceConfig::kProtocolX25DChannel:
            return x25_available == 1;
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
    const std::string& country = wanted.m_strCountry;
    const RecordField* x25 = ChangedX25Field(before, wanted);
    if (ConnectionLocked(country)) {
        for (const auto& [member, name] : kPageFields) {
            if (before.*member != wanted.*member) {
                return ConnectionBreach{name, "the Polish variant keeps its connection settings"};
            }
        }
        if (x25 != nullptr) {
            return ConnectionBreach{x25->name, "the Polish variant keeps its connection settings"};
        }
        return std::nullopt;
    }
    if (before.m_nProtocol != wanted.m_nProtocol &&
        !ProtocolOffered(wanted.m_nProtocol, country, wanted.m_bX25Available)) {
        return ConnectionBreach{"m_nProtocol", "this variant does not offer that protocol"};
    }
    if (x25 != nullptr && wanted.m_bX25Available != 1) {
        return ConnectionBreach{x25->name, "this variant has no X.25"};
    }
    return std::nullopt;
}

}  // namespace vardex::params
