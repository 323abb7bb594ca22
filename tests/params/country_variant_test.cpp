// The country variants: what each country text gives, and which changes the
// field table lets a person make on each.
#include "params/country_variant.h"

#include <gtest/gtest.h>

#include <string>

#include "params/connection_rules.h"
#include "params/field_table.h"
#include "params/telephony_rules.h"

namespace vardex::test {
namespace {

using namespace vardex::params;

TEST(CountryVariant, FollowsTheCountryText) {
    for (const char* both :
         {"UAE", "United Arab Emirates", "UAE USB", "Cyprus", "SaudiArabia", "Saudiarabia"}) {
        EXPECT_TRUE(CountryVariant::Of(both).v120) << both;
        EXPECT_TRUE(CountryVariant::Of(both).v110) << both;
    }
    // Only the full name is compared exactly; the abbreviation counts anywhere.
    for (const char* neither : {"United Arab Emirates USB", "Germany", "uae", "", "Saudi Arabia"}) {
        EXPECT_FALSE(CountryVariant::Of(neither).v120) << neither;
        EXPECT_FALSE(CountryVariant::Of(neither).v110) << neither;
    }
    EXPECT_TRUE(CountryVariant::Of("Lithuania").v110);
    EXPECT_FALSE(CountryVariant::Of("Lithuania").v120);
    for (const char* polish : {"Poland", "poland", "Greater poland", "Poland USB"}) {
        EXPECT_EQ(CountryVariant::Of(polish).FlashMinimum(), kFlashMinimumPoland) << polish;
        EXPECT_TRUE(CountryVariant::Of(polish).UpgradeKeptForOperator()) << polish;
    }
    for (const char* other : {"Hungary", "POLAND", "", "Brasil"}) {
        EXPECT_EQ(CountryVariant::Of(other).FlashMinimum(), kFlashMinimum) << other;
        EXPECT_FALSE(CountryVariant::Of(other).ConnectionLocked()) << other;
    }
    // Exactly "Hungary" has the terminals; "Brasil USB" has no FSK level, a
    // text that differs in letter case has.
    EXPECT_TRUE(CountryVariant::Of("Hungary").hungarian);
    EXPECT_FALSE(CountryVariant::Of("Hungary USB").hungarian);
    EXPECT_FALSE(CountryVariant::Of("Brasil USB").fsk_level);
    EXPECT_TRUE(CountryVariant::Of("brasil usb").fsk_level);
    // Poland wins over everything the text also names.
    const CountryVariant mixed = CountryVariant::Of("poland UAE");
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        EXPECT_FALSE(ProtocolOffered(protocol, mixed)) << protocol;
        EXPECT_TRUE(ProtocolOffered(protocol, CountryVariant::Of("Cyprus"))) << protocol;
    }
    EXPECT_FALSE(ProtocolOffered(CDeviceConfig::kProtocolCount, CountryVariant::Of("Cyprus")));
    EXPECT_FALSE(ProtocolOffered(-1, CountryVariant::Of("Cyprus")));
}

TEST(CountryVariant, IdentificationKeepsItsFlagsWithTheRecord) {
    CDeviceConfig r;
    SetCountry(r, "Cyprus");
    EXPECT_EQ(r.m_bX25Available, 1);
    EXPECT_EQ(r.m_bFskLevelAvailable, 1);
    SetCountry(r, "Brasil");
    EXPECT_EQ(r.m_bX25Available, 0);
    EXPECT_EQ(r.m_bFskLevelAvailable, 0);
    EXPECT_FALSE(VariantOf(r).fsk_level);
}

// The one place vardexctl and the pages ask: each change is refused on the
// variants the table keeps it from, with the reason for that variant.
TEST(CountryVariant, TheTableSaysWhereAPersonMayChangeAField) {
    struct Case {
        const char* country;
        void (*change)(CDeviceConfig&);
        const char* field;  // null: allowed
    };
    const Case cases[] = {
        {"Germany", [](CDeviceConfig& r) { r.m_bCallWaiting1 = 1; }, nullptr},
        {"Germany", [](CDeviceConfig& r) { r.m_byModemLlc[1][0] = 7; }, "m_byModemLlc"},
        {"Germany", [](CDeviceConfig& r) { r.m_bMessageWaiting1 = 1; }, "m_bMessageWaiting1"},
        {"Hungary", [](CDeviceConfig& r) { r.m_bMessageWaiting1 = 1; }, nullptr},
        {"Hungary", [](CDeviceConfig& r) { r.m_bNoIncomingMlppp2 = 1; }, "m_bNoIncomingMlppp2"},
        {"Brasil", [](CDeviceConfig& r) { r.m_nFskLevel = 3; }, "m_nFskLevel"},
        {"Germany", [](CDeviceConfig& r) { r.m_nX25Tei = 9; }, "m_nX25Tei"},
        {"Cyprus", [](CDeviceConfig& r) { r.m_nX25Tei = 9; }, nullptr},
        {"Poland", [](CDeviceConfig& r) { r.m_nBodAddRate = 12; }, "m_nBodAddRate"},
        {"Poland", [](CDeviceConfig& r) { r.m_strX25Address = "123"; }, "m_strX25Address"},
        {"Poland", [](CDeviceConfig& r) { r.m_nFlashDuration = 5; }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.country) + " " + (c.field != nullptr ? c.field : "allowed"));
        CDeviceConfig before;
        SetCountry(before, c.country);
        CDeviceConfig wanted;
        wanted.CopyFrom(before);
        c.change(wanted);
        const RecordField* refused = FindUnchangeable(before, wanted);
        if (c.field == nullptr) {
            EXPECT_EQ(refused, nullptr);
            continue;
        }
        ASSERT_NE(refused, nullptr);
        EXPECT_STREQ(refused->name, c.field);
        EXPECT_FALSE(FieldChangeable(*refused, wanted));
        EXPECT_FALSE(WhyUnchangeable(*refused, wanted).empty());
    }
}

}  // namespace
}  // namespace vardex::test
