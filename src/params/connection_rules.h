// What a person may set on the Connection page and in the X.25 properties, as
// the page and vardexctl both apply it: which protocols the device's country
// variant offers, which controls follow from the protocol and the multilink
// choice, and the X.25 conventions (CUG 255, packet size codes, the address).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "params/country_variant.h"
#include "params/device_config.h"

namespace vardex::params {

// Whether a protocol index (CDeviceConfig::kProtocol*) is offered on this
// variant: everything but V.110, V.120 and X.25 is offered wherever the
// connection is not locked; those three where the variant has them.
bool ProtocolOffered(int protocol, const CountryVariant& variant);

// The controls that follow the protocol, the multilink choice and BAP support
// (the country rules aside).
struct PppControls {
    bool options = false;     // the three multilink choices and the threshold labels
    bool thresholds = false;  // the four threshold edits and BAP support
    bool call_back = false;   // BAP call back
};
PppControls PppControlsFor(int protocol, int multilink_choice, int bap_support);

// The CUG number that stands for "no closed user group".
inline constexpr int kX25CugOff = 255;
// The record's packet size codes 4..7 are the dialog's list of 16..128 bytes.
inline constexpr int kX25PacketSizeBase = 4;
inline constexpr int kX25AddressLengthMax = 15;
// The digits that begin text: all an X.121 address keeps of what was typed.
std::string LeadingDigits(std::string_view text);

// A connection value the page would not let a person set on this device's
// variant although the field may change there; the ranges and which fields a
// variant lets a person change are the field table's business.
struct ConnectionBreach {
    std::string field;  // the record's member name
    std::string why;    // what is allowed
};
// The first connection or X.25 field of wanted that differs from before and
// breaks a rule for wanted's variant; nothing when every change is allowed.
std::optional<ConnectionBreach> FindConnectionBreach(const CDeviceConfig& before,
                                                     const CDeviceConfig& wanted);

}  // namespace vardex::params
