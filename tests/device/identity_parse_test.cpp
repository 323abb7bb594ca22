#include "device/identity_parse.h"

#include <gtest/gtest.h>

#include <string>

namespace vardex::device::identity {
namespace {

TEST(ParseVersion, ReadsMajorAndMinorBehindBlanksAndVs) {
    EXPECT_EQ(ParseVersion(" V1.2\r\n\r\nOK\r\n"), 0x0102);
    EXPECT_EQ(ParseVersion(" 3\r\n"), 0x0300);  // no dot: minor 0
    EXPECT_EQ(ParseVersion(" V2.10 Hungary"), 0x020A);
    EXPECT_EQ(ParseVersion("vV 4.5"), 0x0405);
    EXPECT_EQ(ParseVersion("\t V7"), 0x0700);
}

TEST(ParseVersion, HostileNumbersStayInEightBits) {
    EXPECT_FALSE(ParseVersion(""));
    EXPECT_FALSE(ParseVersion("  vV \t"));
    EXPECT_EQ(ParseVersion(" 300.999"), (300 % 256) * 256 + 999 % 256);
    EXPECT_EQ(ParseVersion(" -1.2"), 0xFF02);
    EXPECT_EQ(ParseVersion(" 99999999999999999999999999.1"), 0xFF01);  // saturates, no overflow
    EXPECT_EQ(ParseVersion(" OK"), 0x0000);                            // no digits: zero
    EXPECT_EQ(ParseVersion(" .5"), 0x0005);
    const std::string digits(4095, '9');
    EXPECT_TRUE(ParseVersion(digits));
}

TEST(Country, FollowsTheSoftwareVersionUpToTheLineEnd) {
    EXPECT_EQ(CountryAfterVersion(" V2.10 Hungary\r\n\r\nOK\r\n"), "Hungary");
    EXPECT_EQ(CountryAfterVersion(" V2.10 Brasil USB\r\n"), "Brasil USB");
    EXPECT_EQ(CountryAfterVersion(" V2.10\r\n\r\nOK\r\n"), "");
    EXPECT_EQ(CountryAfterVersion(" V2.10"), "");
    EXPECT_EQ(CountryAfterVersion(" 2.10 07 Poland\r\n"), "Poland");
    EXPECT_EQ(CountryAfterVersion(" V2.10 " + std::string(40, 'x') + "\r\n").size(), kCountryMax);
    EXPECT_EQ(CountryAfterVersion(""), "");
}

TEST(Crc, EndsFourCharactersBeforeOk) {
    EXPECT_EQ(CrcText("CRC: 5A3C\r\n\r\nOK\r\n"), "CRC: 5A3C");
    EXPECT_EQ(CrcText("\r\nOK\r\n"), "");
    EXPECT_EQ(CrcText("OK"), "");
    EXPECT_FALSE(CrcText("ERROR\r\n"));
    EXPECT_FALSE(CrcText(""));
    EXPECT_EQ(CrcText(std::string(200, 'c') + "\r\n\r\nOK").value().size(), kCrcMax);
}

}  // namespace
}  // namespace vardex::device::identity
