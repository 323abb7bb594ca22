#include "params/connection_rules.h"

#include <gtest/gtest.h>

#include "params/multilink_rule.h"

namespace vardex::test {
namespace {

using namespace vardex::params;
constexpr int kV120 = CDeviceConfig::kProtocolV120;
constexpr int kV110 = CDeviceConfig::kProtocolV110;

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

TEST(ConnectionRules, OnlyAChangedProtocolIsJudged) {
    CDeviceConfig before;
    SetCountry(before, "Germany");
    before.m_nProtocol = kV110;  // what the device already held
    CDeviceConfig wanted;
    wanted.CopyFrom(before);
    wanted.m_nBodAddRate = 12;
    EXPECT_FALSE(FindConnectionBreach(before, wanted));
    wanted.m_nProtocol = kV120;
    const auto breach = FindConnectionBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nProtocol");
}

}  // namespace
}  // namespace vardex::test
