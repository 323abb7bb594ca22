#include "params/telephony_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace vardex::test {
namespace {

using namespace vardex::params;

TEST(TelephonyRules, NumbersHoldWhatACommandLineCanCarry) {
    EXPECT_TRUE(MsnAllowed("", false));
    EXPECT_TRUE(MsnAllowed(std::string(24, '9'), false));
    EXPECT_FALSE(MsnAllowed(std::string(25, '9'), true));
    EXPECT_FALSE(MsnAllowed("12 3", false));
    EXPECT_TRUE(MsnAllowed("*31# 0-1", true));
    for (const char* unsafe : {"1;2", "1\r2", "1\n", "\t1", "1\x7f", "1\xc3\xa9"}) {
        EXPECT_FALSE(MsnAllowed(unsafe, true)) << unsafe;
        EXPECT_FALSE(MsnAllowed(unsafe, false)) << unsafe;
    }
}

TEST(TelephonyRules, OnlyAChangedFlashIsJudgedByTheVariantsLimits) {
    CDeviceConfig before;
    SetCountry(before, "Germany");
    before.m_nFlashDuration = 10;  // what the device already held
    CDeviceConfig wanted;
    wanted.CopyFrom(before);
    wanted.m_bCallWaiting1 = 1;
    EXPECT_FALSE(FindTelephonyBreach(before, wanted));
    wanted.m_nFlashDuration = 11;
    auto breach = FindTelephonyBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->lo, 20);
    EXPECT_EQ(breach->hi, kFlashMax);
    // The Polish minimum.
    SetCountry(wanted, "Poland");
    EXPECT_FALSE(FindTelephonyBreach(before, wanted));
    wanted.m_nFlashDuration = 4;
    breach = FindTelephonyBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->lo, 5);
}

}  // namespace
}  // namespace vardex::test
