#include "terminal/trace_switches.h"

#include <cctype>
#include <mutex>

#include "link/device_port.h"

namespace vardex::terminal {
namespace {

// The ordinary reply time-out of an AT exchange.
constexpr std::uint32_t kExchangeTimeoutMs = 250;

struct LayerRow {
    TraceLayer layer;
    std::string_view label;
    std::string_view name;
    // off serial, on serial, off USB, on USB
    std::array<std::string_view, 4> commands;
};

constexpr std::array<LayerRow, 5> kRows = {{
    {TraceLayer::kU, "U", "u", {"ATCD10CD9\r", "ATCD11CD9\r", "ATCD10CD26\r", "ATCD11CD26\r"}},
    {TraceLayer::kL1, "L1", "l1", {"ATCD0CD9\r", "ATCD1CD9\r", "ATCD0CD26\r", "ATCD1CD26\r"}},
    {TraceLayer::kL2, "L2", "l2", {"ATCD2CD9\r", "ATCD3CD9\r", "ATCD2CD26\r", "ATCD3CD26\r"}},
    {TraceLayer::kL3, "L3", "l3", {"ATCD4CD9\r", "ATCD5CD9\r", "ATCD4CD26\r", "ATCD5CD26\r"}},
    {TraceLayer::kApp, "App", "app", {"ATCD6CD9\r", "ATCD7CD9\r", "ATCD6CD26\r", "ATCD7CD26\r"}},
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
    port.SetReadTimeout(kExchangeTimeoutMs);
    return port.SendCommand(kAllTracesOff) != nullptr;
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
