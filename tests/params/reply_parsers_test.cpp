#include "params/reply_parsers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace vardex::params {
namespace {

using Numbers = std::vector<std::pair<int, std::string>>;

TEST(ParseLeadingInt, ReadsTheLeadingNumberLikeAtoi) {
    EXPECT_EQ(ParseLeadingInt("16\r\n\r\nOK\r\n"), 16);
    EXPECT_EQ(ParseLeadingInt(" \t\r\n+42abc"), 42);
    EXPECT_EQ(ParseLeadingInt("-7\r\n"), -7);
    EXPECT_EQ(ParseLeadingInt("007"), 7);
    // Nothing to read gives 0.
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("ERROR\r\n"), 0);
    EXPECT_EQ(ParseLeadingInt("- 5"), 0);
    EXPECT_EQ(ParseLeadingInt("+"), 0);
    EXPECT_EQ(ParseLeadingInt("\xff"
                              "12"),
              0);
    EXPECT_EQ(ParseLeadingInt("12 34"), 12);
}

TEST(ParseLeadingInt, SaturatesBeyondTheIntRange) {
    EXPECT_EQ(ParseLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("-2147483649"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt(std::string(4095, '9')), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-" + std::string(4094, '1')), INT_MIN);
}

TEST(SkipBlank, StopsAtTheFirstOtherCharacterOrTheEnd) {
    EXPECT_EQ(SkipBlank(" \r\n\tX", 0), 4u);
    EXPECT_EQ(SkipBlank("  ", 0), 2u);
    EXPECT_EQ(SkipBlank("ab", 5), 5u);
}

constexpr const char* kMsnReply =
    "Phone 1\r\nMSN1 : 111\r\nMSN2 : 112\r\nMSN3 : 113\r\n"
    "Phone 2\r\nMSN1 : 221\r\nMSN2 : \r\nMSN3 : 223\r\n"
    "DTE Port\r\nMSN1 : 331\r\nMSN2 : 332\r\nMSN3 : 333\r\n\r\nOK\r\n";

TEST(ParseMsnReply, ReadsAllThreeSectionsInDeviceNumbering) {
    const Numbers expected = {{0, "111"}, {1, "112"}, {2, "113"}, {3, "221"}, {4, ""},
                              {5, "223"}, {6, "331"}, {7, "332"}, {8, "333"}};
    EXPECT_EQ(ParseMsnReply(kMsnReply), expected);
}

TEST(ParseMsnReply, LabelsInAnyOrderAndMissingOnes) {
    // Three passes read a reversed section; a label that does not appear is not
    // reported, so the caller keeps its value.
    EXPECT_EQ(ParseMsnReply("Phone 2\r\nMSN3 : 3\r\nMSN2 : 2\r\nMSN1 : 1\r\nOK\r\n"),
              (Numbers{{5, "3"}, {4, "2"}, {3, "1"}}));
    EXPECT_EQ(ParseMsnReply("DTE Port\r\nMSN2 : 77\r\nOK"), (Numbers{{7, "77"}}));
    // Sections in another order, and a repeated label twice.
    EXPECT_EQ(ParseMsnReply("DTE Port\r\nMSN1 : 9\r\nPhone 1\r\nMSN1 : 1\r\nMSN1 : 2\r\n"),
              (Numbers{{6, "9"}, {0, "1"}, {0, "2"}}));
}

TEST(ParseMsnReply, EmptyNumberDoesNotTakeTheNextLine) {
    EXPECT_EQ(ParseMsnReply("Phone 1\r\nMSN1 :  \t\r\n555\r\nOK"), (Numbers{{0, ""}}));
    EXPECT_EQ(ParseMsnReply("Phone 1\r\nMSN1 : 12ab\r\nMSN2 : 3"),
              (Numbers{{0, "12"}}));  // "ab" ends the section
}

TEST(ParseMsnReply, BadInputEndsParsingQuietly) {
    EXPECT_TRUE(ParseMsnReply("").empty());
    EXPECT_TRUE(ParseMsnReply("ERROR\r\n").empty());
    EXPECT_TRUE(ParseMsnReply("OK\r\nPhone 1\r\nMSN1 : 1\r\n").empty());
    EXPECT_TRUE(ParseMsnReply("Phone 1").empty());  // no line end after the section line
    EXPECT_TRUE(ParseMsnReply("Phone 3\r\nMSN1 : 1\r\n").empty());
    // Truncated in the middle of a label.
    EXPECT_EQ(ParseMsnReply("Phone 1\r\nMSN1 : 5\r\nMSN2 "), (Numbers{{0, "5"}}));
    EXPECT_EQ(ParseMsnReply("Phone 1\r\nMSN1 : 5\r\nERROR\r\nPhone 2\r\nMSN1 : 6\r\n"),
              (Numbers{{0, "5"}}));
}

TEST(ParseMsnReply, DigitRunIsCutAt79) {
    const std::string digits(4095 - 17, '8');
    const Numbers parsed = ParseMsnReply("Phone 1\r\nMSN1 : " + digits);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].second, std::string(kDigitRunMax, '8'));
}

// The DTE port's numbers as a person types and the device lists them; what no
// port may hold still ends the reply.
TEST(ParseMsnReply, DtePortNumbersAreReadInFullAndNoiseStillEndsTheReply) {
    bool complete = false;
    const Numbers numbers = ParseMsnReply(
        "Phone 1\r\nMSN1 : 111\r\nMSN2 : \r\nMSN3 : \r\nPhone 2\r\nMSN1 : \r\nMSN2 : \r\n"
        "MSN3 : \r\nDTE Port\r\nMSN1 : +36-1x*#9\r\nMSN2 : \r\nMSN3 : a b\r\n\r\nOK\r\n",
        &complete);
    EXPECT_TRUE(complete);
    ASSERT_EQ(numbers.size(), 9u);
    EXPECT_EQ(numbers[6].second, "+36-1x*#9");
    EXPECT_EQ(numbers[8].second, "a b");
    for (const std::string bad :
         {"Phone 2\r\nMSN1 : +36\r\nOK\r\n", "DTE Port\r\nMSN1 : 12;34\r\nOK\r\n",
          "DTE Port\r\nMSN1 : 12\xff\r\nOK\r\n"}) {
        ParseMsnReply(bad, &complete);
        EXPECT_FALSE(complete) << bad;
    }
    EXPECT_EQ(ParseOwnNumberReply("DTE Port\r\nOWN NUMBER : +36-1x*#9\r\nOK\r\n")[2], "+36-1x*#9");
}

TEST(ParseOwnNumberReply, OneTextPerPort) {
    using Texts = std::array<std::string, 3>;
    EXPECT_EQ(ParseOwnNumberReply("Phone 1\r\nOWN NUMBER : 111\r\nPhone 2\r\nOWN NUMBER : "
                                  "\r\nDTE Port\r\nOWN NUMBER : 331\r\n\r\nOK\r\n"),
              (Texts{"111", "", "331"}));
    // Odd order, a section without its label line, blanks before the digits.
    EXPECT_EQ(ParseOwnNumberReply("DTE Port\r\nOWN NUMBER : 9\r\nPhone 1\r\nPhone 2\r\n"
                                  "OWN NUMBER :   42\r\nOK"),
              (Texts{"", "42", "9"}));
    // Junk after the digits ends parsing.
    EXPECT_EQ(ParseOwnNumberReply("Phone 2\r\nOWN NUMBER : 9x\r\nPhone 1\r\nOWN NUMBER : 1"),
              (Texts{"", "9", ""}));
    EXPECT_EQ(ParseOwnNumberReply("Phone 2\r\nOWN NUMBER :\r\n"), (Texts{"", "", ""}));
}

TEST(ParseOwnNumberReply, BadInputLeavesTheTextsEmpty) {
    using Texts = std::array<std::string, 3>;
    EXPECT_EQ(ParseOwnNumberReply(""), (Texts{}));
    EXPECT_EQ(ParseOwnNumberReply("ERROR"), (Texts{}));
    EXPECT_EQ(ParseOwnNumberReply("Phone 1\r\nOWN NUM"), (Texts{}));
    EXPECT_EQ(ParseOwnNumberReply("Phone 1\r\nOWN NUMBER : " + std::string(4000, '1'))[0],
              std::string(kDigitRunMax, '1'));
}

TEST(ResolveOwnNumber, FirstNonEmptyEqualNumberOfThePort) {
    const std::string msns[3] = {"", "500", "500"};
    EXPECT_EQ(ResolveOwnNumber("500", msns), 1);  // the lower of two equal numbers
    EXPECT_EQ(ResolveOwnNumber("50", msns), -1);
    EXPECT_EQ(ResolveOwnNumber("", msns), -1);  // an empty entry never matches
}

TEST(ParseChargeReply, BothSectionsAnyLabelOrder) {
    const ChargeReply c = ParseChargeReply(
        "Last call charges\r\nPhone 2: 3\r\nDTE Port: 1\r\nPhone 1: 2\r\n"
        "Accumulated charges\r\nDTE Port: 10\r\nPhone 1: \r\nPhone 2: 30\r\n\r\nOK\r\n");
    EXPECT_EQ(c.lastDte, 1);
    EXPECT_EQ(c.last1, 2);
    EXPECT_EQ(c.last2, 3);
    EXPECT_EQ(c.totalDte, 10);
    EXPECT_EQ(c.total1, 0);  // an empty count reads as 0
    EXPECT_EQ(c.total2, 30);
}

TEST(ParseChargeReply, BadInput) {
    const ChargeReply none = ParseChargeReply("ERROR\r\n");
    EXPECT_FALSE(none.lastDte || none.last1 || none.last2 || none.totalDte || none.total1 ||
                 none.total2);
    const ChargeReply big =
        ParseChargeReply("Last\r\nDTE Port: 99999999999\r\nPhone 1: -5\r\nPhone 2: +5");
    EXPECT_EQ(big.lastDte, INT_MAX);
    // A sign is no digit: the count is empty (0), and the sign ends the section.
    EXPECT_EQ(big.last1, 0);
    EXPECT_FALSE(big.last2);
    EXPECT_FALSE(ParseChargeReply("Accumulated").totalDte);
    EXPECT_EQ(ParseChargeReply("Accumulated\r\nPhone 2: " + std::string(4000, '9')).total2,
              INT_MAX);
}

// Whole means ended by the one final result code, whatever the device's
// labels: noise, a cut, a second result line, a lost end or an echo is not whole.
TEST(WholeReply, TheFinalResultCodeAloneTellsAWholeReply) {
    for (const std::string_view whole : {"OK\r\n", "ERROR\r\n", "165\r\n\r\nOK\r\n",
                                         "\r\n\t 7 \r\nOK\r\n", "any text\r\nERROR\r\n"}) {
        EXPECT_TRUE(SplitWholeReply(whole)) << whole;
    }
    EXPECT_EQ(SplitWholeReply("\r\n165\r\n\r\nOK\r\n")->body, "165");
    for (const std::string_view broken : {"", "165\r\n", "165\r\n\r\nOK", "165\r\nOK \r\n",
                                          "1\x80"
                                          "65\r\nOK\r\n",
                                          "OK\r\n165\r\nOK\r\n", "165\r\nERROR\r\n\r\nOK\r\n",
                                          "BOOK\r\n", "ATS126?\r48\r\n\r\nOK\r\n"}) {
        EXPECT_FALSE(SplitWholeReply(broken)) << broken;
    }
}

TEST(ParseNumericReply, TheLeadingNumberOfTheOneLineOrTheRefusal) {
    const std::pair<std::string, int> values[] = {{"165\r\n\r\nOK\r\n", 165},
                                                  {"0165\r\n\r\nOK\r\n", 165},
                                                  {"  +7 kbit\r\nOK\r\n", 7},
                                                  {"\r\nabc\r\n\r\nOK\r\n", 0},
                                                  {"\r\n\r\n42\r\n\r\nOK\r\n", 42}};
    for (const auto& [text, value] : values) {
        const auto reply = ParseNumericReply(text);
        ASSERT_TRUE(reply) << text;
        EXPECT_FALSE(reply->refused);
        EXPECT_EQ(reply->value, value) << text;
    }
    const auto refused = ParseNumericReply("\r\nERROR\r\n");
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->refused);
    EXPECT_EQ(refused->value, 0);
    // No information line, or one beside another that arrived on its own.
    for (const std::string_view none : {"OK\r\n", "RING\r\n\r\n165\r\n\r\nOK\r\n", "16"}) {
        EXPECT_FALSE(ParseNumericReply(none)) << none;
    }
}

// Whatever the device's 11 characters of label, digits in them included.
TEST(ParseX121AddressReply, ElevenCharactersDroppedThenTheDigitRun) {
    const auto address = [](std::string_view text) {
        const auto reply = ParseX121AddressReply(text);
        return reply && !reply->refused ? std::optional<std::string>(reply->value) : std::nullopt;
    };
    for (const std::string label : {"X121 ADDR: ", "+X121ADDR: ", "X.121 ADR: ", "12345678901"}) {
        ASSERT_EQ(label.size(), kX121LabelLength);
        EXPECT_EQ(address(label + "26245\r\n\r\nOK\r\n"), "26245") << label;
        EXPECT_EQ(address(label + "\r\n\r\nOK\r\n"), "") << label;
        EXPECT_EQ(address(label + "26245x\r\nOK\r\n"), "26245") << label;
        // A reply that paused after its first bytes arrives as a tail shorter
        // than the label, which would read as no address.
        const std::string whole = label + "2624512\r\n\r\nOK\r\n";
        for (std::size_t cut = label.size() - 3; cut < whole.size(); ++cut) {
            EXPECT_FALSE(address(whole.substr(cut))) << label << cut;
        }
    }
    EXPECT_TRUE(ParseX121AddressReply("ERROR\r\n")->refused);
    EXPECT_TRUE(ParseX121AddressReply("ADDR ERROR 5\r\nOK\r\n")->refused);
    for (const std::string& bad : {std::string("X121 ADDR: 262"), std::string("OK\r\n"),
                                   std::string("X121 ADDR: 26\x01"
                                               "245\r\nOK\r\n")}) {
        EXPECT_FALSE(ParseX121AddressReply(bad)) << bad;
    }
}

// A reply that paused after its first lines arrives as its tail, which still
// ends in "OK": read as whole, its missing sections would read as numbers kept
// from before, no own number and stale counters.
TEST(SectionReplies, TheTailOfAReplyIsNotComplete) {
    const std::string own =
        "Phone 1\r\nOWN NUMBER : 111\r\nPhone 2\r\nOWN NUMBER : \r\nDTE Port\r\n"
        "OWN NUMBER : 333\r\n\r\nOK\r\n";
    const std::string charges =
        "Last Call Charges\r\nDTE Port: 1\r\nPhone 1: 2\r\nPhone 2: 3\r\n"
        "Accumulated Charges\r\nDTE Port: 4\r\nPhone 1: 5\r\nPhone 2: 6\r\n\r\nOK\r\n";
    const std::string msns =
        "Phone 1\r\nMSN1 : 1\r\nMSN2 : \r\nMSN3 : 3\r\nPhone 2\r\nMSN1 : 4\r\nMSN2 : 5\r\n"
        "MSN3 : \r\nDTE Port\r\nMSN1 : 7\r\nMSN2 : 8\r\nMSN3 : 9\r\n\r\nOK\r\n";
    bool complete = false;
    ParseMsnReply(msns, &complete);
    EXPECT_TRUE(complete);
    for (std::size_t cut = 1; cut < msns.size(); ++cut) {
        ParseMsnReply(msns.substr(cut), &complete);
        EXPECT_FALSE(complete) << cut;
    }
    ParseOwnNumberReply(own, &complete);
    EXPECT_TRUE(complete);
    ParseChargeReply(charges, &complete);
    EXPECT_TRUE(complete);
    for (std::size_t cut = 1; cut < own.size(); ++cut) {
        ParseOwnNumberReply(own.substr(cut), &complete);
        EXPECT_FALSE(complete) << cut;
    }
    for (std::size_t cut = 1; cut < charges.size(); ++cut) {
        ParseChargeReply(charges.substr(cut), &complete);
        EXPECT_FALSE(complete) << cut;
    }
}

TEST(CommandSafeText, CutsAtTheFirstControlCharacter) {
    EXPECT_EQ(CommandSafeText("12345"), "12345");
    EXPECT_EQ(CommandSafeText("123\rATZ"), "123");
    EXPECT_EQ(CommandSafeText(std::string("12\0"
                                          "3",
                                          4)),
              "12");
    EXPECT_EQ(CommandSafeText("\x7f"), "");
}

}  // namespace
}  // namespace vardex::params
