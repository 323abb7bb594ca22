// A record whose every field stands at an edge of what it takes goes out as
// JSON and comes back in without losing a digit, for both edges.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <type_traits>
#include <variant>

#include "params/field_table.h"
#include "settings/record_fields.h"

using namespace vardex::settings;
using namespace vardex::params;

namespace vardex::ctl {
namespace {

// Every field at its low or high edge: numbers at their range's ends (the
// counters at the ends of int), texts at their longest, octets 0 or 255.
void AtEdge(CDeviceConfig* r, bool high) {
    for (const RecordField& f : RecordFields()) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(r->*member)>;
                if constexpr (std::is_same_v<T, int>) {
                    const bool counter = f.row == Row::kCharges && !f.Writable();
                    r->*member = counter ? (high ? INT_MAX : INT_MIN) : (high ? f.hi : f.lo);
                } else if constexpr (std::is_same_v<T, std::uint16_t>) {
                    r->*member = high ? 0xFFFF : 0;
                } else if constexpr (std::is_same_v<T, std::string>) {
                    r->*member = high ? std::string(static_cast<std::size_t>(f.hi), '9') : "";
                } else if constexpr (std::is_same_v<std::remove_all_extents_t<T>, std::string>) {
                    for (std::string& text : r->*member) {
                        text = high ? std::string(static_cast<std::size_t>(f.hi), '0') : "";
                    }
                } else {
                    for (auto& port : r->*member) {
                        for (std::uint8_t& octet : port) {
                            octet = high ? 255 : 0;
                        }
                    }
                }
            },
            f.member);
    }
    // The variant has every setting, so that none reads as null.
    r->m_strCountry = "Hungary";
    r->m_bX25Available = 1;
    r->m_bFskLevelAvailable = 1;
}

TEST(FieldRoundTrip, EdgesOfEveryFieldSurviveJson) {
    for (const bool high : {false, true}) {
        SCOPED_TRACE(high ? "high" : "low");
        CDeviceConfig record;
        AtEdge(&record, high);
        const std::string json = RecordJson(record);
        std::vector<FieldChange> changes;
        const auto parsed = ParseFieldsJson(json, &changes);
        ASSERT_TRUE(parsed) << parsed.error().text << "\n" << json;
        // Onto a record at the other edge, so that nothing matches by chance.
        CDeviceConfig back;
        AtEdge(&back, !high);
        ApplyChanges(changes, &back);
        for (const RecordField& f : RecordFields()) {
            if (f.Writable()) {
                EXPECT_TRUE(SameField(f, back, record)) << f.name;
            }
        }
        // What only the device reports is printed exactly too.
        if (high) {
            EXPECT_NE(json.find("\"m_nTotalChargeDte\":2147483647"), std::string::npos);
        } else {
            EXPECT_NE(json.find("\"m_nLastCharge1\":-2147483648"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace vardex::ctl
