#include "device_text.h"

namespace vardex::sim {
namespace {

constexpr std::string_view kPortNames[3] = {"Phone 1", "Phone 2", "DTE Port"};

}  // namespace

std::string MsnListing(const std::array<std::string, 9>& msn) {
    std::string text;
    for (std::size_t port = 0; port < 3; ++port) {
        if (port > 0) {
            text += "\r\n";
        }
        text += kPortNames[port];
        for (std::size_t k = 0; k < 3; ++k) {
            text += "\r\nMSN" + std::to_string(k + 1) + " : " + msn[3 * port + k];
        }
    }
    return text;
}

std::string OwnNumberListing(const std::array<std::string, 3>& own) {
    std::string text;
    for (std::size_t port = 0; port < 3; ++port) {
        if (port > 0) {
            text += "\r\n";
        }
        text += std::string(kPortNames[port]) + "\r\nOWN NUMBER : " + own[port];
    }
    return text;
}

// Counters are kept Phone 1, Phone 2, DTE; the listing puts the DTE port first.
std::string ChargeListing(const std::array<std::uint32_t, 3>& last,
                          const std::array<std::uint32_t, 3>& total) {
    auto section = [](std::string_view title, const std::array<std::uint32_t, 3>& counters) {
        return std::string(title) + "\r\nDTE Port: " + std::to_string(counters[2]) +
               "\r\nPhone 1: " + std::to_string(counters[0]) +
               "\r\nPhone 2: " + std::to_string(counters[1]);
    };
    return section("Last Call Charges", last) + "\r\n" + section("Accumulated Charges", total);
}

}  // namespace vardex::sim
