#include "terminal/trace_switches.h"

#include <cctype>
#include <mutex>

#include "link/at_commands.h"
#include "link/device_port.h"
#include "link/protocol_waits.h"

using namespace vardex::link;

namespace vardex::terminal {
namespace {

namespace at = vardex::link::at;

struct LayerRow {
    TraceLayer layer;
    std::string_view label;
    std::string_view name;
    // off serial, on serial, off USB, on USB
    const std::array<std::string_view, 4>& commands;
};

constexpr std::array<LayerRow, 5> kRows = {{
    {TraceLayer::kU, "U", "u", at::kTraceSwitches[0]},
    {TraceLayer::kL1, "L1", "l1", at::kTraceSwitches[1]},
    {TraceLayer::kL2, "L2", "l2", at::kTraceSwitches[2]},
    {TraceLayer::kL3, "L3", "l3", at::kTraceSwitches[3]},
    {TraceLayer::kApp, "App", "app", at::kTraceSwitches[4]},
}};

const LayerRow& Row(TraceLayer layer) {
    for (const LayerRow& row : kRows) {
        if (row.layer == layer) {
            return row;
        }
    }
    return kRows[0];
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string_view TraceLayerLabel(TraceLayer layer) {
    return Row(layer).label;
}

std::string_view TraceLayerName(TraceLayer layer) {
    return Row(layer).name;
}

std::string_view TraceCommand(TraceLayer layer, bool on, bool usb) {
    return Row(layer).commands[(usb ? 2u : 0u) + (on ? 1u : 0u)];
}

bool WriteTraceSwitch(CDevicePort& port, TraceLayer layer, bool on, bool usb) {
    const std::string_view command = TraceCommand(layer, on, usb);
    return port.WriteRaw(command.data(), command.size()) == command.size();
}

bool SendAllTracesOff(CDevicePort& port) {
    std::lock_guard lock(port.ExchangeMutex());
    port.SetReadTimeout(kExchangeReadMs);
    return port.SendCommand(at::kAllTracesOff.data()) != nullptr;
}

bool ParseTraceLayers(std::string_view list, std::vector<TraceLayer>* layers,
                      std::string_view* bad) {
    layers->clear();
    *bad = {};
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        bool found = false;
        for (const LayerRow& row : kRows) {
            if (SameNoCase(word, row.name)) {
                for (const TraceLayer seen : *layers) {
                    if (seen == row.layer) {
                        *bad = word;
                        return false;
                    }
                }
                layers->push_back(row.layer);
                found = true;
                break;
            }
        }
        if (!found) {
            *bad = word;
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

}  // namespace vardex::terminal
