// The device's protocol trace switches (their texts in link/at_commands.h).
// Each layer has an off and an on switch per output family, the serial data
// port or USB; they are written raw, terminator included.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

namespace vardex::link {
class CDevicePort;
}

namespace vardex::terminal {

enum class TraceLayer { kU, kL1, kL2, kL3, kApp };

inline constexpr std::array<TraceLayer, 5> kTraceLayers = {
    TraceLayer::kU, TraceLayer::kL1, TraceLayer::kL2, TraceLayer::kL3, TraceLayer::kApp};

// "U", "L1", "L2", "L3", "App": the check boxes' texts.
std::string_view TraceLayerLabel(TraceLayer layer);
// "u", "l1", "l2", "l3", "app": the names on the command line.
std::string_view TraceLayerName(TraceLayer layer);

// The raw switch, terminator included.
std::string_view TraceCommand(TraceLayer layer, bool on, bool usb);

// Writes the switch with WriteRaw; true when every byte went out.
bool WriteTraceSwitch(link::CDevicePort& port, TraceLayer layer, bool on, bool usb);

// Sends vardex::link::at::kAllTracesOff through SendCommand under the exchange lock, with the
// ordinary 250 ms reply time-out (the terminal reader leaves 50 ms behind).
// False when the link is down. The reply is not examined.
bool SendAllTracesOff(link::CDevicePort& port);

// Parses "l1,app,u" (names of TraceLayerName, any case, comma separated, each
// at most once). False, with *bad set to the offending word, otherwise.
bool ParseTraceLayers(std::string_view list, std::vector<TraceLayer>* layers,
                      std::string_view* bad);

}  // namespace vardex::terminal
