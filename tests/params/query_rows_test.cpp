#include <gtest/gtest.h>

#include <atomic>

#include <string>
#include <vector>

#include "row_fixture.h"

using namespace vardex::params;

namespace vardex::test {
namespace {

using Lines = std::vector<std::string>;

// One register row: the reply's value and what each field decodes to.
struct RegisterCase {
    const char* name;
    const char* row;
    const char* command;
    int value;
    std::vector<std::pair<int CDeviceConfig::*, int>> fields;
};

class RegisterRows : public RowTest, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterRows, DecodeVerifyAndSkip) {
    const RegisterCase& c = GetParam();
    // Start every field away from its decoded value.
    for (const auto& [member, expected] : c.fields) {
        W().*member = expected + 3;
    }
    Answer(c.command, ValueReply(c.value));
    EXPECT_EQ(Run(c.row), PARAM_OK);
    for (const auto& [member, expected] : c.fields) {
        EXPECT_EQ(W().*member, expected);
    }
    EXPECT_EQ(Sent(), Lines{c.command});

    // Verification with equal records sends nothing.
    Sync();
    ClearSent();
    EXPECT_EQ(Run(c.row, 1), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    // A wanted value the device does not hold: sent, mismatch, device value kept.
    const auto [first, expected] = c.fields.front();
    W().*first = expected + 1;
    EXPECT_EQ(Run(c.row, 1), PARAM_MISMATCH);
    EXPECT_EQ(W().*first, expected);
    EXPECT_EQ(Sent(), Lines{c.command});

    // Device copy out of date, device holds the wanted value: sent, OK.
    D().*first = expected + 1;
    ClearSent();
    EXPECT_EQ(Run(c.row, 1), PARAM_OK);
    EXPECT_EQ(Sent(), Lines{c.command});
}

#define F(member) &CDeviceConfig::member
INSTANTIATE_TEST_SUITE_P(
    QueryRows, RegisterRows,
    ::testing::Values(
        RegisterCase{"ServiceProtocol",
                     "QueryServiceProtocol",
                     "ATS100?",
                     0xFF,
                     {{F(m_nServiceProtocol), 1}}},
        RegisterCase{"CallWaiting",
                     "QueryCallWaiting",
                     "ATS79?",
                     8,
                     {{F(m_bCallWaiting1), 0}, {F(m_bCallWaiting2), 1}}},
        RegisterCase{"ClipSuppressed",
                     "QueryClip",
                     "ATS84?",
                     16,
                     {{F(m_bClip), 0}, {F(m_bClipOnCw1), 0}, {F(m_bClipOnCw2), 0}}},
        RegisterCase{"ClipOnBoth",
                     "QueryClip",
                     "ATS84?",
                     192,
                     {{F(m_bClip), 1}, {F(m_bClipOnCw1), 1}, {F(m_bClipOnCw2), 1}}},
        RegisterCase{"MeteringPulse",
                     "QueryMeteringPulse",
                     "ATS89?",
                     64,
                     {{F(m_bMeteringPulse1), 1}, {F(m_bMeteringPulse2), 0}}},
        RegisterCase{"DelayedClearBackOff",
                     "QueryDelayedClearBack",
                     "ATS83?",
                     3,
                     {{F(m_bDelayedClearBack1), 0}, {F(m_bDelayedClearBack2), 0}}},
        RegisterCase{"DelayedClearBackOn2",
                     "QueryDelayedClearBack",
                     "ATS83?",
                     1,
                     {{F(m_bDelayedClearBack2), 1}, {F(m_bDelayedClearBack1), 0}}},
        RegisterCase{"PowerUpProfile",
                     "QueryPowerUpProfile",
                     "ATS15?",
                     128 + 31,
                     {{F(m_nPowerUpProfile), 4}}},
        RegisterCase{
            "EmergencyMode", "QueryEmergencyMode", "ATS123?", 2, {{F(m_bFullEmergencyMode), 1}}},
        RegisterCase{
            "CallerIdTiming", "QueryCallerIdTiming", "ATS101?", 3, {{F(m_nCallerIdTiming), 1}}},
        RegisterCase{"MlpppIncoming",
                     "QueryMlpppIncoming",
                     "ATS118?",
                     0x0B,
                     {{F(m_bNoIncomingMlppp1), 0}, {F(m_bNoIncomingMlppp2), 1}}},
        RegisterCase{
            "FlashDuration", "QueryFlashDuration", "ATS56?", 90, {{F(m_nFlashDuration), 90}}},
        RegisterCase{
            "Bap", "QueryBap", "ATS102?", 2, {{F(m_bBapCallBack), 1}, {F(m_bBapSupport), 0}}},
        RegisterCase{"FskLevel", "QueryFskLevel", "AT/CLIPLEVEL", 7, {{F(m_nFskLevel), 7}}},
        RegisterCase{"MessageWaiting",
                     "QueryMessageWaiting",
                     "ATS86?",
                     2,
                     {{F(m_bMessageWaiting1), 0}, {F(m_bMessageWaiting2), 1}}},
        RegisterCase{"TerminalTypes",
                     "QueryTerminalTypes",
                     "ATS118?",
                     0x09,
                     {{F(m_nTerminalType1), 1}, {F(m_nTerminalType2), 2}}},
        RegisterCase{"ProtocolX25", "QueryProtocol", "ATS82?", 84, {{F(m_nProtocol), 6}}},
        RegisterCase{"ProtocolV120", "QueryProtocol", "ATS82?", 70, {{F(m_nProtocol), 4}}}),
    [](const ::testing::TestParamInfo<RegisterCase>& p) { return p.param.name; });
#undef F

// What is no answer is never taken as a value: silence, noise, a reply cut
// short or of the wrong shape is asked once more, then fails the row with the
// record as it was.
TEST_F(RowTest, ARegisterReplyThatIsNoValueIsAskedAgainThenFails) {
    const std::pair<const char*, std::string> cases[] = {
        {"silence", ""},
        {"noise", "\x93\xa1" + ValueReply(144).substr(2)},
        {"cut", "\r\n14"},
        {"no result code", "\r\n144\r\n"},
        {"two numbers", "\r\n144\r\n16\r\n\r\nOK\r\n"},
        {"lone OK", "\r\nOK\r\n"},
    };
    for (const auto& [name, reply] : cases) {
        Answer("ATS84?", reply);
        W().m_bClip = 0;
        W().m_bClipOnCw1 = 1;
        job_.m_strUnreadCommand.clear();
        ClearSent();
        EXPECT_EQ(Run("QueryClip"), PARAM_FAILED) << name;
        EXPECT_EQ(W().m_bClip, 0) << name;
        EXPECT_EQ(W().m_bClipOnCw1, 1) << name;
        EXPECT_EQ(Sent(), (Lines{"ATS84?", "ATS84?"})) << name;
        EXPECT_EQ(job_.m_strUnreadCommand, "ATS84?") << name;
    }
    // Blanks around the number are still the number.
    Answer("ATS84?", "\r\n 144 \r\n\r\nOK\r\n");
    EXPECT_EQ(Run("QueryClip"), PARAM_OK);
    EXPECT_EQ(W().m_bClipOnCw1, 0);
}

// A whole reply is the device's answer. A number no register holds is not
// taken; a refusal, once confirmed, reads as 0 and is noted with its fields,
// and after a write it confirms nothing, not even what 0 decodes to.
TEST_F(RowTest, AWholeReplyIsTheDevicesAnswerEvenWhenItIsNoValue) {
    for (const std::string& reply : {ValueReply(256), std::string("\r\n-1\r\n\r\nOK\r\n")}) {
        Answer("ATS84?", reply);
        W().m_bClip = 0;
        W().m_bClipOnCw1 = 1;
        ClearSent();
        EXPECT_EQ(Run("QueryClip"), PARAM_OK) << reply;
        EXPECT_EQ(W().m_bClip, 0) << reply;
        EXPECT_EQ(W().m_bClipOnCw1, 1) << reply;
        EXPECT_EQ(Sent(), Lines{"ATS84?"}) << reply;
    }
    Answer("ATS84?", "\r\nERROR\r\n");
    ClearSent();
    EXPECT_EQ(Run("QueryClip"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS84?", "ATS84?"}));
    EXPECT_EQ(W().m_bClip, 1);  // bit 4 of 0, inverted
    EXPECT_EQ(W().m_bClipOnCw1, 0);
    EXPECT_TRUE(W().FieldRefused("m_bClipOnCw2"));
    EXPECT_FALSE(W().FieldRefused("m_bCallWaiting1"));
    ASSERT_EQ(W().m_refusedQueries.size(), 1u);
    EXPECT_EQ(W().m_refusedQueries[0].command, "ATS84?");
    Sync();
    W().m_bClip = 1;
    W().m_bClipOnCw1 = 1;
    EXPECT_EQ(Run("QueryClip", 1), PARAM_MISMATCH);
    // Answered again, the refusal is forgotten.
    Answer("ATS84?", ValueReply(16));
    EXPECT_EQ(Run("QueryClip"), PARAM_OK);
    EXPECT_TRUE(W().m_refusedQueries.empty());
    // A stray ERROR is asked past: only a second one is a refusal.
    Answer("ATS84?", ValueReply(192));
    AnswerOnce("ATS84?", "\r\nERROR\r\n");
    EXPECT_EQ(Run("QueryClip"), PARAM_OK);
    EXPECT_EQ(W().m_bClipOnCw2, 1);
    EXPECT_TRUE(W().m_refusedQueries.empty());
}

TEST_F(RowTest, NoiseOnTheFirstAskIsGoneOnTheSecond) {
    // The device answers the first question with noise in front, the second
    // one cleanly: the row takes the clean value.
    std::atomic<int> asked{0};
    peer_.SetResponder([&asked](const std::string& line) -> std::string {
        if (line != "ATS56?") {
            return "\r\nOK\r\n";
        }
        return ++asked == 1 ? "\r\n\xe7\xb2" + std::to_string(12) + "\r\n\r\nOK\r\n"
                            : ValueReply(35);
    });
    EXPECT_EQ(Run("QueryFlashDuration"), PARAM_OK);
    EXPECT_EQ(W().m_nFlashDuration, 35);
    EXPECT_EQ(asked, 2);
}

TEST_F(RowTest, AValueOutsideItsFieldsRangeIsNotTaken) {
    // S15 bits 5..7 name profiles 0..4 only; 6 is no profile.
    W().m_nPowerUpProfile = 2;
    SetRegister(15, 6 << 5);
    EXPECT_EQ(Run("QueryPowerUpProfile"), PARAM_OK);
    EXPECT_EQ(W().m_nPowerUpProfile, 2);
    // After a write it means the device does not hold what was sent.
    D().m_nPowerUpProfile = 1;
    EXPECT_EQ(Run("QueryPowerUpProfile", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_nPowerUpProfile, 2);
    // The packet size codes 4..7 only; the device's 0 is not taken either.
    W().m_bX25Available = 1;
    W().m_nX25PacketSize = 7;
    SetRegister(106, 0);
    Answer("AT!X2?", "\r\nX121 ADDR: \r\n\r\nOK\r\n");
    EXPECT_EQ(Run("QueryX25"), PARAM_OK);
    EXPECT_EQ(W().m_nX25PacketSize, 7);
}

TEST_F(RowTest, ProtocolOutsideTheTableLeavesTheField) {
    W().m_nProtocol = 3;
    Answer("ATS82?", ValueReply(82));
    EXPECT_EQ(Run("QueryProtocol"), PARAM_OK);
    EXPECT_EQ(W().m_nProtocol, 3);
    // After a write the device plainly does not hold the protocol sent.
    D().m_nProtocol = 0;
    EXPECT_EQ(Run("QueryProtocol", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_nProtocol, 3);
}

TEST_F(RowTest, NoReplyFailsTheRow) {
    peer_.Hangup();
    EXPECT_EQ(Run("QueryClip"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryMsns"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryOwnNumbers"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryCharges"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryPppOptions"), PARAM_FAILED);
    W().m_bX25Available = 1;
    EXPECT_EQ(Run("QueryX25"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryModemLlc"), PARAM_FAILED);
    EXPECT_EQ(Run("QueryProtocol"), PARAM_FAILED);
}

constexpr const char* kMsnReply =
    "\r\nPhone 1\r\nMSN1 : 111\r\nMSN2 : 112\r\nMSN3 : 113\r\n"
    "Phone 2\r\nMSN3 : 223\r\nMSN2 : \r\nMSN1 : 221\r\n"
    "DTE Port\r\nMSN1 : 331\r\nMSN2 : 332\r\n\r\nOK\r\n";

TEST_F(RowTest, QueryMsnsReadsEveryNumberAndAlwaysSends) {
    W().m_strPhoneMsn[4] = "old";
    W().m_strDteMsn[2] = "kept";
    Answer("AT&ZI?", kMsnReply);
    EXPECT_EQ(Run("QueryMsns"), PARAM_OK);
    const std::string phone[6] = {"111", "112", "113", "221", "", "223"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(W().m_strPhoneMsn[i], phone[i]) << i;
    }
    EXPECT_EQ(W().m_strDteMsn[0], "331");
    EXPECT_EQ(W().m_strDteMsn[1], "332");
    EXPECT_EQ(W().m_strDteMsn[2], "kept");  // its label did not appear

    // Verification sends even with equal records, and compares every number.
    Sync();
    EXPECT_EQ(Run("QueryMsns", 1), PARAM_OK);
    W().m_strPhoneMsn[1] = "999";
    EXPECT_EQ(Run("QueryMsns", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_strPhoneMsn[1], "112");
    EXPECT_EQ(Sent(), (Lines{"AT&ZI?", "AT&ZI?", "AT&ZI?"}));

    // A refusal keeps the numbers, and after a write confirms none.
    Answer("AT&ZI?", "\r\nERROR\r\n");
    W().m_strPhoneMsn[1] = "999";
    ClearSent();
    EXPECT_EQ(Run("QueryMsns", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_strPhoneMsn[1], "999");
    EXPECT_EQ(Sent(), (Lines{"AT&ZI?", "AT&ZI?"}));
    EXPECT_TRUE(W().FieldRefused("m_strDteMsn"));

    // A reply that is not the whole list (noise, a line of another shape, a
    // cut) changes nothing and fails the row after a second ask.
    for (const std::string& reply : std::vector<std::string>{
             "\r\n\x85" + std::string(kMsnReply + 2), std::string(kMsnReply).substr(0, 40),
             "\r\nPhone 1\r\nMSN1 : 111\r\nRING\r\n\r\nOK\r\n"}) {
        Answer("AT&ZI?", reply);
        W().m_strPhoneMsn[1] = "999";
        ClearSent();
        EXPECT_EQ(Run("QueryMsns", 1), PARAM_FAILED);
        EXPECT_EQ(W().m_strPhoneMsn[1], "999");
        EXPECT_EQ(Sent(), (Lines{"AT&ZI?", "AT&ZI?"}));
    }
}

class OwnNumbers : public RowTest {
protected:
    void SetUp() override {
        RowTest::SetUp();
        const char* phone[6] = {"111", "112", "113", "221", "500", "500"};
        for (int i = 0; i < 6; ++i) {
            W().m_strPhoneMsn[i] = phone[i];
        }
        W().m_strDteMsn[0] = "331";
        W().m_strDteMsn[2] = "333";
    }
    void Reply(const std::string& one, const std::string& two, const std::string& dte) {
        Answer("AT&ZO?", "\r\nPhone 1\r\nOWN NUMBER : " + one + "\r\nPhone 2\r\nOWN NUMBER : " +
                             two + "\r\nDTE Port\r\nOWN NUMBER : " + dte + "\r\n\r\nOK\r\n");
    }
};

TEST_F(OwnNumbers, TextBecomesTheIndexOfThePortsNumber) {
    Reply("112", "500", "333");
    EXPECT_EQ(Run("QueryOwnNumbers"), PARAM_OK);
    EXPECT_EQ(W().m_nOwnNumber1, 1);
    EXPECT_EQ(W().m_nOwnNumber2, 1);  // two equal numbers: the lower position
    EXPECT_EQ(W().m_nOwnNumberDte, 2);

    // Phone 1's number is not Phone 2's; an empty line is no own number.
    Reply("", "111", "");
    EXPECT_EQ(Run("QueryOwnNumbers"), PARAM_OK);
    EXPECT_EQ(W().m_nOwnNumber1, -1);
    EXPECT_EQ(W().m_nOwnNumber2, -1);
    EXPECT_EQ(W().m_nOwnNumberDte, -1);
}

TEST_F(OwnNumbers, VerificationSkipsWhenTheIndexesAgree) {
    Reply("113", "", "");
    Sync();
    EXPECT_EQ(Run("QueryOwnNumbers", 1), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    W().m_nOwnNumber1 = 2;
    EXPECT_EQ(Run("QueryOwnNumbers", 1), PARAM_OK);
    W().m_nOwnNumber2 = 0;
    EXPECT_EQ(Run("QueryOwnNumbers", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_nOwnNumber2, -1);
    EXPECT_EQ(W().m_nOwnNumber1, 2);
    EXPECT_EQ(Sent(), (Lines{"AT&ZO?", "AT&ZO?"}));
}

TEST_F(OwnNumbers, ATruncatedReplyIsNoAnswer) {
    // Taken as it came, the cut would say "no own number" for Phone 2 and the
    // DTE port: asked again instead, and given up with the indexes as they were.
    W().m_nOwnNumber2 = 1;
    Answer("AT&ZO?", "\r\nPhone 1\r\nOWN NUMBER : 111\r\nPhone 2\r\nOWN NUM");
    EXPECT_EQ(Run("QueryOwnNumbers"), PARAM_FAILED);
    EXPECT_EQ(W().m_nOwnNumber2, 1);
    EXPECT_EQ(Sent(), (Lines{"AT&ZO?", "AT&ZO?"}));
}

TEST_F(RowTest, QueryChargesFillsTheCountersAndVerifiesAReset) {
    W().m_nTotalCharge2 = 77;
    // A counter missing from the reply is no answer: asked again, then the row
    // fails and every counter keeps its value.
    Answer("ATCH?",
           "\r\nLast call\r\nDTE Port: 1\r\nPhone 1: 2\r\nPhone 2: 3\r\n"
           "Accumulated\r\nDTE Port: 10\r\nPhone 1: 20\r\n\r\nOK\r\n");
    EXPECT_EQ(Run("QueryCharges"), PARAM_FAILED);
    EXPECT_EQ(W().m_nTotalCharge2, 77);
    Answer("ATCH?", ChargesReply(1, 2, 3, 10, 20, 30));
    EXPECT_EQ(Run("QueryCharges"), PARAM_OK);
    EXPECT_EQ(W().m_nLastChargeDte, 1);
    EXPECT_EQ(W().m_nLastCharge1, 2);
    EXPECT_EQ(W().m_nLastCharge2, 3);
    EXPECT_EQ(W().m_nTotalChargeDte, 10);
    EXPECT_EQ(W().m_nTotalCharge1, 20);
    EXPECT_EQ(W().m_nTotalCharge2, 30);
    // After a reset any counter left is a mismatch; equal records do not skip.
    Sync();
    EXPECT_EQ(Run("QueryCharges", 1), PARAM_MISMATCH);
    Answer("ATCH?", ChargesReply(0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Run("QueryCharges", 1), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATCH?", "ATCH?", "ATCH?", "ATCH?", "ATCH?"}));
}

TEST_F(RowTest, QueryPppOptionsDecodesAndVerifiesPerCommand) {
    SetRegister(87, 32);
    SetRegister(124, 10);
    SetRegister(125, 20);
    SetRegister(126, 30);
    SetRegister(127, 40);
    W().m_bMultilink = 1;
    EXPECT_EQ(Run("QueryPppOptions"), PARAM_OK);
    EXPECT_EQ(W().m_bMultilink, 0);  // bit 5 alone is not multilink
    EXPECT_EQ(W().m_nBodAddTime, 10);
    EXPECT_EQ(W().m_nBodDropTime, 20);
    EXPECT_EQ(W().m_nBodAddRate, 30);
    EXPECT_EQ(W().m_nBodDropRate, 40);
    EXPECT_EQ(Sent(), (Lines{"ATS87?", "ATS124?", "ATS125?", "ATS126?", "ATS127?"}));

    Sync();
    ClearSent();
    SetRegister(87, 96);
    W().m_bMultilink = 1;
    W().m_nBodAddRate = 31;  // the device keeps 30
    EXPECT_EQ(Run("QueryPppOptions", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_bMultilink, 1);
    EXPECT_EQ(W().m_nBodAddRate, 30);
    EXPECT_EQ(Sent(), (Lines{"ATS87?", "ATS126?"}));
}

TEST_F(RowTest, QueryPppOptionsStopsOnTheStopRequest) {
    StopAt("ATS125?");
    SetRegister(125, 5);
    EXPECT_EQ(Run("QueryPppOptions"), PARAM_STOPPED);
    EXPECT_EQ(W().m_nBodDropTime, 5);  // stored before the stop was seen
    EXPECT_EQ(Sent(), (Lines{"ATS87?", "ATS124?", "ATS125?"}));
}

TEST_F(RowTest, QueryX25IsSilentWithoutX25) {
    W().m_bX25Available = 0;
    W().m_nX25Lic = 9;
    EXPECT_EQ(Run("QueryX25"), PARAM_OK);
    EXPECT_EQ(Run("QueryX25", 1), PARAM_OK);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(RowTest, QueryX25ReadsTheGroupInOrder) {
    W().m_bX25Available = 1;
    SetRegister(57, 1);
    SetRegister(58, 2);
    SetRegister(90, 3);
    SetRegister(91, 4);
    SetRegister(103, 0xFF - 0x10);  // every option but PVC, wait restart 3
    SetRegister(104, 0x72);
    SetRegister(105, 255);
    SetRegister(106, 7);
    Answer("AT!X2?", "\r\nX121 ADDR: 4567\r\n\r\nOK\r\n");
    EXPECT_EQ(Run("QueryX25"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS57?", "ATS58?", "ATS90?", "ATS91?", "AT!X2?", "ATS103?",
                             "ATS103.2?", "ATS103.3?", "ATS103.4?", "ATS103.5?", "ATS103.6?",
                             "ATS103.7?", "ATS104?", "ATS105?", "ATS106?"}));
    const CDeviceConfig& w = W();
    EXPECT_EQ(w.m_nX25Lic, 1);
    EXPECT_EQ(w.m_nX25Hic, 2);
    EXPECT_EQ(w.m_nX25Tei, 3);
    EXPECT_EQ(w.m_nX25Lcn, 4);
    EXPECT_EQ(w.m_strX25Address, "4567");
    EXPECT_EQ(w.m_nX25WaitRestart, 3);
    EXPECT_EQ(w.m_bX25PadCall, 1);
    EXPECT_EQ(w.m_bX25TransparentProfile, 1);
    EXPECT_EQ(w.m_bX25Pvc, 0);
    EXPECT_EQ(w.m_bX25SendRestart, 1);
    EXPECT_EQ(w.m_bX25UsePad, 1);
    EXPECT_EQ(w.m_bX25Spvc, 1);
    EXPECT_EQ(w.m_nX25Layer2Window, 2);
    EXPECT_EQ(w.m_nX25Layer3Window, 7);
    EXPECT_EQ(w.m_nX25CugNumber, 255);
    EXPECT_EQ(w.m_nX25PacketSize, 7);
}

TEST_F(RowTest, QueryX25VerifiesOnlyWhatChanged) {
    W().m_bX25Available = 1;
    W().m_strX25Address = "123";
    Sync();
    W().m_strX25Address = "124";
    W().m_nX25Layer3Window = 5;
    SetRegister(104, 0x50);
    // An ERROR answer to the address leaves it; a read goes on, and a write's
    // check learns nothing from it, so the address counts as not taken.
    Answer("AT!X2?", "\r\nERROR\r\n");
    EXPECT_EQ(Run("QueryX25", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_strX25Address, "124");
    EXPECT_EQ(W().m_nX25Layer3Window, 5);
    EXPECT_EQ(Sent(), (Lines{"AT!X2?", "AT!X2?", "ATS104?"}));
    EXPECT_EQ(Run("QueryX25"), PARAM_OK);
    EXPECT_EQ(W().m_strX25Address, "124");

    ClearSent();
    Answer("AT!X2?", "\r\nX121 ADDR: 123\r\nOK\r\n");
    W().m_nX25Tei = 9;
    StopAt("ATS90?");
    EXPECT_EQ(Run("QueryX25", 1), PARAM_STOPPED);
    EXPECT_EQ(W().m_nX25Tei, 0);
    EXPECT_EQ(Sent(), Lines{"ATS90?"});
}

TEST_F(RowTest, QueryFskLevelAndRestrictionsSkips) {
    W().m_bFskLevelAvailable = 0;
    W().m_nFskLevel = 4;
    EXPECT_EQ(Run("QueryFskLevel"), PARAM_OK);
    EXPECT_EQ(Run("QueryFskLevel", 1), PARAM_OK);
    // Restrictions are not read back after a write.
    W().m_bClir1 = 1;
    EXPECT_EQ(Run("QueryRestrictions", 1), PARAM_OK);
    EXPECT_EQ(W().m_bClir1, 1);
    EXPECT_TRUE(Sent().empty());

    SetRegister(85, 0x0A);
    EXPECT_EQ(Run("QueryRestrictions"), PARAM_OK);
    EXPECT_EQ(W().m_bClir1, 0);
    EXPECT_EQ(W().m_bClir2, 1);
    EXPECT_EQ(W().m_bColr1, 0);
    EXPECT_EQ(W().m_bColr2, 1);
    EXPECT_EQ(Sent(), Lines{"ATS85?"});
}

TEST_F(RowTest, QueryModemLlcTakesWholeOctets) {
    SetRegister(108, 0xAB);
    SetRegister(109, 0xFF);
    SetRegister(110, 0);
    SetRegister(111, 1);
    SetRegister(112, 2);
    SetRegister(113, 3);
    EXPECT_EQ(Run("QueryModemLlc"), PARAM_OK);
    EXPECT_EQ(W().m_byModemLlc[0][0], 0xAB);
    EXPECT_EQ(W().m_byModemLlc[0][1], 0xFF);
    EXPECT_EQ(W().m_byModemLlc[0][2], 0);
    EXPECT_EQ(W().m_byModemLlc[1][0], 1);
    EXPECT_EQ(W().m_byModemLlc[1][2], 3);
    EXPECT_EQ(Sent(), (Lines{"ATS108?", "ATS109?", "ATS110?", "ATS111?", "ATS112?", "ATS113?"}));

    // No octet is more than a byte: such a number is not taken.
    Answer("ATS108?", ValueReply(0x1CD));
    EXPECT_EQ(Run("QueryModemLlc"), PARAM_OK);
    EXPECT_EQ(W().m_byModemLlc[0][0], 0xAB);
    Answer("ATS108?", ValueReply(0xAB));

    Sync();
    ClearSent();
    W().m_byModemLlc[1][1] = 9;
    EXPECT_EQ(Run("QueryModemLlc", 1), PARAM_MISMATCH);
    EXPECT_EQ(W().m_byModemLlc[1][1], 2);
    EXPECT_EQ(Sent(), Lines{"ATS112?"});
}

}  // namespace
}  // namespace vardex::test
