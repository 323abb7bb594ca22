#include "params/connection_rules.h"

#include <gtest/gtest.h>

#include "params/multilink_rule.h"

namespace vardex::test {
namespace {

using namespace vardex::params;
constexpr int kV120 = CDeviceConfig::kProtocolV120;
constexpr int kV110 = CDeviceConfig::kProtocolV110;
constexpr int kX25 = CDeviceConfig::kProtocolX25DChannel;

TEST(ConnectionRules, ProtocolsFollowTheCountryText) {
    for (const char* both :
         {"UAE", "United Arab Emirates", "UAE USB", "Cyprus", "SaudiArabia", "Saudiarabia"}) {
        EXPECT_TRUE(ProtocolOffered(kV120, both, 0)) << both;
        EXPECT_TRUE(ProtocolOffered(kV110, both, 0)) << both;
    }
    // Only the full name is compared exactly; the abbreviation counts anywhere.
    for (const char* neither : {"United Arab Emirates USB", "Germany", "uae", "", "Saudi Arabia"}) {
        EXPECT_FALSE(ProtocolOffered(kV120, neither, 1)) << neither;
        EXPECT_FALSE(ProtocolOffered(kV110, neither, 1)) << neither;
    }
    EXPECT_TRUE(ProtocolOffered(kV110, "Lithuania", 0));
    EXPECT_FALSE(ProtocolOffered(kV120, "Lithuania", 0));
    EXPECT_TRUE(ProtocolOffered(kX25, "Germany", 1));
    EXPECT_FALSE(ProtocolOffered(kX25, "Cyprus", 0));
    // Poland wins over everything the text also names.
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        EXPECT_FALSE(ProtocolOffered(protocol, "poland UAE", 1)) << protocol;
        EXPECT_TRUE(ProtocolOffered(protocol, "Cyprus", 1)) << protocol;
    }
    EXPECT_FALSE(ProtocolOffered(CDeviceConfig::kProtocolCount, "Cyprus", 1));
    EXPECT_FALSE(ProtocolOffered(-1, "Cyprus", 1));
}

TEST(ConnectionRules, PppControlsNeedPppAndBandwidthOnDemand) {
    const PppControls all = PppControlsFor(0, kMultilinkOnDemand, 1);
    EXPECT_TRUE(all.options && all.thresholds && all.call_back);
    const PppControls no_bap = PppControlsFor(0, kMultilinkOnDemand, 0);
    EXPECT_TRUE(no_bap.thresholds);
    EXPECT_FALSE(no_bap.call_back);
    const PppControls fixed = PppControlsFor(0, kMultilinkFixed, 1);
    EXPECT_TRUE(fixed.options);
    EXPECT_FALSE(fixed.thresholds || fixed.call_back);
    const PppControls data =
        PppControlsFor(CDeviceConfig::kProtocolDataTransparent, kMultilinkOnDemand, 1);
    EXPECT_FALSE(data.options || data.thresholds || data.call_back);
}

TEST(ConnectionRules, AnAddressKeepsItsLeadingDigits) {
    EXPECT_EQ(LeadingDigits("12a34"), "12");
    EXPECT_EQ(LeadingDigits("a123"), "");
    EXPECT_EQ(LeadingDigits("4711"), "4711");
    EXPECT_EQ(LeadingDigits("1\r2"), "1");
    EXPECT_EQ(LeadingDigits(""), "");
}

TEST(ConnectionRules, OnlyChangedValuesAreJudged) {
    CDeviceConfig before;
    before.m_strCountry = "Germany";
    before.m_nProtocol = kV110;  // what the device already held
    before.m_bX25Available = 0;
    CDeviceConfig wanted;
    wanted.CopyFrom(before);
    wanted.m_nBodAddRate = 12;
    EXPECT_FALSE(FindConnectionBreach(before, wanted));

    wanted.m_nProtocol = kV120;
    auto breach = FindConnectionBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nProtocol");

    wanted.m_nProtocol = kV110;
    wanted.m_nX25Tei = before.m_nX25Tei + 1;
    breach = FindConnectionBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nX25Tei");
    before.m_bX25Available = wanted.m_bX25Available = 1;
    EXPECT_FALSE(FindConnectionBreach(before, wanted));

    before.m_strCountry = wanted.m_strCountry = "Poland";
    breach = FindConnectionBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nBodAddRate");
    wanted.m_nBodAddRate = before.m_nBodAddRate;
    wanted.m_strX25Address = "123";
    wanted.m_nX25Tei = before.m_nX25Tei;
    breach = FindConnectionBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_strX25Address");
}

}  // namespace
}  // namespace vardex::test
