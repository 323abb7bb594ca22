// The country variant of the device's firmware: what it offers and what it
// lets a person change. The device names its country in its identification;
// every decision the program takes by country is taken here, from that name,
// so that no other file compares country names.
#pragma once

#include <string>
#include <string_view>

#include "params/device_config.h"

namespace vardex::params {

// What one variant may have: the field table names one per field for reading
// it at all and one for changing it.
enum class Feature {
    kAll,
    kX25,           // the X.25 settings and protocol
    kFskLevel,      // the caller display's FSK level
    kHungarian,     // terminal types, their LLC octets and message waiting
    kNotHungarian,  // the ML-PPP flags, which share S118 with the terminal types
    kConnection,    // connection settings a person may change (not locked)
};

struct CountryVariant {
    bool x25 = false;
    bool fsk_level = true;
    bool hungarian = false;
    // The Polish variant: its connection settings are locked, its flash may
    // be as short as 5 (x10 ms), and its firmware is upgraded by its operator.
    bool polish = false;
    bool v110 = false;
    bool v120 = false;

    // The variant of a device that names this country.
    static CountryVariant Of(std::string_view country);

    bool Has(Feature feature) const;
    int FlashMinimum() const;
    bool ConnectionLocked() const { return polish; }
    bool UpgradeKeptForOperator() const { return polish; }
};

// Identification's part: the country and the two flags the record keeps for
// its variant (m_bX25Available, m_bFskLevelAvailable).
void SetCountry(CDeviceConfig& record, std::string country);

// The record's variant: its country's, with the X.25 and FSK-level answers the
// record keeps (identification set them; a test or an older record may differ).
CountryVariant VariantOf(const CDeviceConfig& record);

// What a variant without the feature is told when a change needs it.
std::string_view WhyNot(Feature feature);

}  // namespace vardex::params
