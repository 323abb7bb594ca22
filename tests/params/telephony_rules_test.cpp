#include "params/telephony_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace vardex::test {
namespace {

using namespace vardex::params;

TEST(TelephonyRules, FlashMinimumFollowsTheCountryText) {
    for (const char* polish : {"Poland", "poland", "Greater poland", "Poland USB"}) {
        EXPECT_EQ(FlashMinimum(polish), 5) << polish;
        EXPECT_TRUE(FlashAllowed(5, polish));
        EXPECT_FALSE(FlashAllowed(4, polish));
    }
    for (const char* other : {"Hungary", "POLAND", "", "Brasil"}) {
        EXPECT_EQ(FlashMinimum(other), 20) << other;
        EXPECT_FALSE(FlashAllowed(19, other));
        EXPECT_TRUE(FlashAllowed(20, other));
    }
    EXPECT_TRUE(FlashAllowed(0, "Hungary"));
    EXPECT_TRUE(FlashAllowed(100, "Hungary"));
    EXPECT_FALSE(FlashAllowed(101, "Poland"));
    EXPECT_FALSE(FlashAllowed(-1, "Poland"));
    // Exactly "Hungary", as the page compares it.
    EXPECT_TRUE(TerminalsEditable("Hungary"));
    EXPECT_FALSE(TerminalsEditable("Hungary USB"));
    EXPECT_FALSE(MlpppEditable("Hungary"));
    EXPECT_TRUE(MlpppEditable("hungary"));
}

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

TEST(TelephonyRules, OnlyChangedValuesAreJudged) {
    CDeviceConfig before;
    before.m_strCountry = "Germany";
    before.m_nFlashDuration = 10;  // what the device already held
    before.m_bMessageWaiting1 = 1;
    CDeviceConfig wanted;
    wanted.CopyFrom(before);
    wanted.m_bCallWaiting1 = 1;
    EXPECT_FALSE(FindTelephonyBreach(before, wanted));

    wanted.m_nFlashDuration = 11;
    auto breach = FindTelephonyBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nFlashDuration");
    EXPECT_EQ(breach->lo, 20);
    EXPECT_EQ(breach->hi, 100);

    wanted.m_nFlashDuration = 10;
    wanted.m_byModemLlc[1][0] = 7;
    breach = FindTelephonyBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_byModemLlc");

    before.m_strCountry = wanted.m_strCountry = "Brasil";
    wanted.m_bFskLevelAvailable = 0;
    wanted.m_byModemLlc[1][0] = 0;
    wanted.m_nFskLevel = 3;
    breach = FindTelephonyBreach(before, wanted);
    ASSERT_TRUE(breach);
    EXPECT_EQ(breach->field, "m_nFskLevel");
}

}  // namespace
}  // namespace vardex::test
