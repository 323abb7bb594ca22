#include "device_text.h"

namespace vardex::sim {
namespace {

constexpr std::string_view kPortNames[3] = {"Phone 1", "Phone 2", "DTE Port"};

// How a dialect sets out a listing: blanks where the listings' rules skip them.
struct Layout {
    std::string indent;   // before a section title
    std::string trail;    // behind a section title
    std::string gap;      // behind a label, before its value
    std::string between;  // between sections, after the line break

    explicit Layout(const Dialect& dialect) {
        if (dialect.listing_blanks) {
            indent = "  ";
            trail = "   ";
            gap = "  ";
            between = "\r\n";
        }
    }
    std::string Title(std::string_view title, bool first) const {
        return (first ? "" : "\r\n" + between) + indent + std::string(title) + trail;
    }
};

}  // namespace

std::string MsnListing(const std::array<std::string, 9>& msn, const Dialect& dialect) {
    const Layout layout(dialect);
    std::string text;
    for (std::size_t port = 0; port < 3; ++port) {
        text += layout.Title(kPortNames[port], port == 0);
        for (std::size_t k = 0; k < 3; ++k) {
            text += "\r\nMSN" + std::to_string(k + 1) + " : " + layout.gap + msn[3 * port + k];
        }
    }
    return text;
}

std::string OwnNumberListing(const std::array<std::string, 3>& own, const Dialect& dialect) {
    const Layout layout(dialect);
    std::string text;
    for (std::size_t port = 0; port < 3; ++port) {
        text += layout.Title(kPortNames[port], port == 0) + "\r\nOWN NUMBER : " + layout.gap +
                own[port];
    }
    return text;
}

// Counters are kept Phone 1, Phone 2, DTE; the listing puts the DTE port first.
std::string ChargeListing(const std::array<std::uint32_t, 3>& last,
                          const std::array<std::uint32_t, 3>& total, const Dialect& dialect) {
    const Layout layout(dialect);
    auto section = [&](std::string_view title, const std::array<std::uint32_t, 3>& counters,
                       bool first) {
        return layout.Title(title, first) + "\r\nDTE Port: " + layout.gap +
               dialect.Number(counters[2]) + "\r\nPhone 1: " + layout.gap +
               dialect.Number(counters[0]) + "\r\nPhone 2: " + layout.gap +
               dialect.Number(counters[1]);
    };
    return section("Last Call Charges", last, true) + section("Accumulated Charges", total, false);
}

}  // namespace vardex::sim
