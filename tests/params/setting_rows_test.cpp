#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange_timing.h"
#include "row_fixture.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::link;

namespace vardex::test {
namespace {

using Lines = std::vector<std::string>;

// A setting row that writes single bits or whole registers of one field each:
// changing the field sends the command, then the partner reads the register.
struct BitCase {
    const char* name;
    const char* row;
    int CDeviceConfig::*field;
    int wanted;
    Lines lines;              // setting command(s), then the verification query
    int preset_register = 0;  // a register value that matches the record's defaults
    int preset_value = 0;
};

class SimpleSettingRows : public RowTest, public ::testing::WithParamInterface<BitCase> {};

TEST_P(SimpleSettingRows, SendsTheChangedFieldAndVerifies) {
    const BitCase& c = GetParam();
    W().m_strCountry = "Hungary";
    SetRegister(c.preset_register, c.preset_value);
    Sync();
    // Unchanged: nothing at all.
    EXPECT_EQ(Run(c.row), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    W().*c.field = c.wanted;
    EXPECT_EQ(Run(c.row), PARAM_OK);
    EXPECT_EQ(Sent(), c.lines);
    EXPECT_EQ(W().*c.field, c.wanted);
}

#define F(member) &CDeviceConfig::member
INSTANTIATE_TEST_SUITE_P(
    SettingRows, SimpleSettingRows,
    ::testing::Values(
        BitCase{"ServiceProtocol",
                "SetServiceProtocol",
                F(m_nServiceProtocol),
                1,
                {"ATS100.0=1", "ATS100?"}},
        BitCase{"CallWaiting2", "SetCallWaiting", F(m_bCallWaiting2), 1, {"ATS79.3=1", "ATS79?"}},
        BitCase{
            "MeteringPulse1", "SetMeteringPulse", F(m_bMeteringPulse1), 1, {"ATS89.6=1", "ATS89?"}},
        BitCase{"DelayedClearBack1On",
                "SetDelayedClearBack",
                F(m_bDelayedClearBack1),
                1,
                {"ATS83.0=0", "ATS83?"},
                83,
                3},
        BitCase{"EmergencyMode",
                "SetEmergencyMode",
                F(m_bFullEmergencyMode),
                1,
                {"ATS123.0=1", "ATS123?"}},
        BitCase{"CallerIdTiming",
                "SetCallerIdTiming",
                F(m_nCallerIdTiming),
                1,
                {"ATS101.0=1", "ATS101?"}},
        BitCase{"MlpppIncoming2",
                "SetMlpppIncoming",
                F(m_bNoIncomingMlppp2),
                1,
                {"ATS118.3=1", "ATS118?"}},
        BitCase{
            "FlashDuration", "SetFlashDuration", F(m_nFlashDuration), 75, {"ATS56=75", "ATS56?"}},
        BitCase{"Colr2", "SetRestrictions", F(m_bColr2), 1, {"ATS85.3=1"}},
        BitCase{"MessageWaiting1",
                "SetMessageWaiting",
                F(m_bMessageWaiting1),
                1,
                {"ATS86.0=1", "ATS86?"}},
        BitCase{"BapCallBack", "SetBap", F(m_bBapCallBack), 1, {"ATS102.1=1", "ATS102?"}},
        BitCase{"PowerUpFactory",
                "SetPowerUpProfile",
                F(m_nPowerUpProfile),
                4,
                {"ATS15=128", "ATS15?"}},
        BitCase{"ProtocolX25", "SetProtocol", F(m_nProtocol), 6, {"ATS82=84", "ATS82?"}},
        BitCase{"TerminalType1",
                "SetTerminalTypes",
                F(m_nTerminalType1),
                2,
                {"ATS118.1=1", "ATS118?"}}),
    [](const ::testing::TestParamInfo<BitCase>& p) { return p.param.name; });
#undef F

TEST_F(RowTest, RowsWithTwoBitsSendInFieldOrder) {
    SetRegister(83, 3);  // both DCB off on the device
    Sync();
    W().m_bDelayedClearBack1 = 1;
    W().m_bDelayedClearBack2 = 1;
    W().m_bCallWaiting1 = 1;
    W().m_bCallWaiting2 = 1;
    W().m_bClir1 = 1;
    W().m_bColr1 = 1;
    EXPECT_EQ(Run("SetDelayedClearBack"), PARAM_OK);
    EXPECT_EQ(Run("SetCallWaiting"), PARAM_OK);
    EXPECT_EQ(Run("SetRestrictions"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS83.0=0", "ATS83.1=0", "ATS83?", "ATS79.2=1", "ATS79.3=1", "ATS79?",
                             "ATS85.0=1", "ATS85.2=1"}));
    EXPECT_EQ(Register(83), 0);
}

TEST_F(RowTest, SetClipWritesTheWholeRegister) {
    SetRegister(84, 0xFF);
    W().m_bClip = 1;
    Sync();
    W().m_bClipOnCw2 = 1;
    EXPECT_EQ(Run("SetClip"), PARAM_OK);
    EXPECT_EQ(Register(84), 128);  // the other bits are cleared

    Sync();
    W().m_bClip = 0;
    W().m_bClipOnCw1 = 1;
    ClearSent();
    EXPECT_EQ(Run("SetClip"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS84=208", "ATS84?"}));
    Sync();
    W().m_bClipOnCw1 = 0;
    ClearSent();
    EXPECT_EQ(Run("SetClip"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS84=144", "ATS84?"}));
}

TEST_F(RowTest, RefusedValueIsAMismatchWithTheDevicesValue) {
    Sync();
    Answer("ATS56=200", "\r\nERROR\r\n");  // not stored by the scripted device
    SetRegister(56, 20);
    W().m_nFlashDuration = 200;
    EXPECT_EQ(Run("SetFlashDuration"), PARAM_MISMATCH);
    EXPECT_EQ(W().m_nFlashDuration, 20);
}

TEST_F(RowTest, SettingCommandWithoutReplyFailsWithoutVerification) {
    Sync();
    W().m_bBapSupport = 1;
    peer_.Hangup();
    EXPECT_EQ(Run("SetBap"), PARAM_FAILED);
    EXPECT_EQ(W().m_bBapSupport, 1);
}

constexpr const char* kMsnReply =
    "\r\nPhone 1\r\nMSN1 : 111\r\nMSN2 : \r\nMSN3 : \r\nPhone 2\r\nMSN1 : 221\r\nMSN2 : "
    "\r\nMSN3 : \r\nDTE Port\r\nMSN1 : \r\nMSN2 : \r\nMSN3 : 333\r\n\r\nOK\r\n";

TEST_F(RowTest, SetMsnsSendsChangedNumbersInDeviceOrder) {
    // The raised time-out shows in the silent wait behind the reply.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    W().m_strPhoneMsn[4] = "222";
    Sync();
    W().m_strPhoneMsn[0] = "111";
    W().m_strPhoneMsn[3] = "221";
    W().m_strPhoneMsn[4] = "";  // cleared: nothing after the "="
    W().m_strDteMsn[2] = "333";
    Answer("AT&ZI?", kMsnReply);
    const auto start = Clock::now();
    EXPECT_EQ(Run("SetMsns"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"AT&ZI0=111", "AT&ZI3=221", "AT&ZI4=", "AT&ZI8=333", "AT&ZI?"}));
    // The four writes ran under the raised time-out, the query under the old one.
    EXPECT_GE(MsSince(start), 4 * ScaledMs(2 * 2000).count() / 1000);
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
}

TEST_F(RowTest, SetMsnsReportsANumberTheDeviceDidNotTake) {
    Sync();
    W().m_strPhoneMsn[1] = "112";
    Answer("AT&ZI?", kMsnReply);  // MSN2 of Phone 1 stays empty
    EXPECT_EQ(Run("SetMsns"), PARAM_MISMATCH);
    EXPECT_EQ(W().m_strPhoneMsn[1], "");
}

TEST_F(RowTest, SetMsnsStopsOnTheStopRequestAndRestoresTheTimeout) {
    Sync();
    W().m_strPhoneMsn[0] = "1";
    W().m_strPhoneMsn[1] = "2";
    StopAt("AT&ZI0=1");
    EXPECT_EQ(Run("SetMsns"), PARAM_STOPPED);
    EXPECT_EQ(Sent(), Lines{"AT&ZI0=1"});
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
}

TEST_F(RowTest, TextFieldsCannotStartASecondCommand) {
    // Neither sent nor cut short to a number nobody asked for: the
    // verification reports each and takes back what the device holds.
    for (const char* unsafe : {"12\rAT&F", "12;&F", "1234567890123456789012345"}) {
        Sync();
        ClearSent();
        W().m_strPhoneMsn[2] = unsafe;
        W().m_strDteMsn[0] = unsafe;
        Answer("AT&ZI?", kMsnReply);
        EXPECT_EQ(Run("SetMsns"), PARAM_MISMATCH) << unsafe;
        EXPECT_EQ(Sent(), Lines{"AT&ZI?"}) << unsafe;
        EXPECT_EQ(W().m_strPhoneMsn[2], "");
    }
}

TEST_F(RowTest, NumbersAtTheDevicesLimitsAreSent) {
    Sync();
    W().m_strPhoneMsn[2] = "123456789012345678901234";
    W().m_strDteMsn[1] = "*31#";
    Answer("AT&ZI?", kMsnReply);
    EXPECT_EQ(Run("SetMsns"), PARAM_MISMATCH);  // the scripted device keeps its numbers
    EXPECT_EQ(Sent(), (Lines{"AT&ZI2=123456789012345678901234", "AT&ZI7=*31#", "AT&ZI?"}));
}

class SetOwn : public RowTest {
protected:
    void SetUp() override {
        RowTest::SetUp();
        W().m_strPhoneMsn[0] = "111";
        W().m_strPhoneMsn[1] = "112";
        W().m_strPhoneMsn[5] = "223";
        W().m_strDteMsn[0] = "331";
        W().m_nOwnNumber1 = 0;
        W().m_nOwnNumberDte = 0;
        Sync();
    }
};

TEST_F(SetOwn, SendsTheSelectedNumbersText) {
    W().m_nOwnNumber1 = 1;
    W().m_nOwnNumber2 = 2;
    W().m_nOwnNumberDte = -1;
    Answer("AT&ZO?",
           "\r\nPhone 1\r\nOWN NUMBER : 112\r\nPhone 2\r\nOWN NUMBER : 223\r\nDTE Port\r\nOWN "
           "NUMBER : \r\nOK\r\n");
    EXPECT_EQ(Run("SetOwnNumbers"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"AT&ZOa=112", "AT&ZOb=223", "AT&ZOi=", "AT&ZO?"}));
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
}

TEST_F(SetOwn, DeviceReportingAnotherNumberIsAMismatch) {
    W().m_nOwnNumber1 = 1;
    Answer("AT&ZO?",
           "\r\nPhone 1\r\nOWN NUMBER : 111\r\nPhone 2\r\nOWN NUMBER : \r\nDTE Port\r\nOWN "
           "NUMBER : 331\r\nOK\r\n");
    EXPECT_EQ(Run("SetOwnNumbers"), PARAM_MISMATCH);
    EXPECT_EQ(W().m_nOwnNumber1, 0);
}

TEST_F(SetOwn, IndexOutsideThePortSendsNoNumber) {
    W().m_nOwnNumber2 = 7;  // no such subscriber number
    EXPECT_EQ(Run("SetOwnNumbers"), PARAM_MISMATCH);
    EXPECT_EQ(Sent(), (Lines{"AT&ZOb=", "AT&ZO?"}));
    EXPECT_EQ(W().m_nOwnNumber2, -1);
}

TEST_F(SetOwn, AnUnsafeNumberIsNotSentAsOwnNumber) {
    W().m_strPhoneMsn[4] = "22;&F";
    W().m_nOwnNumber2 = 1;
    EXPECT_EQ(Run("SetOwnNumbers"), PARAM_MISMATCH);
    EXPECT_EQ(Sent(), Lines{"AT&ZO?"});
}

TEST_F(SetOwn, StopRequestEndsTheSending) {
    W().m_nOwnNumber1 = 1;
    W().m_nOwnNumber2 = 2;
    StopAt("AT&ZOa=112");
    EXPECT_EQ(Run("SetOwnNumbers"), PARAM_STOPPED);
    EXPECT_EQ(Sent(), Lines{"AT&ZOa=112"});
}

TEST_F(RowTest, ResetChargesSendsOnceAndVerifiesZeroCounters) {
    W().m_nTotalCharge1 = 50;
    Sync();
    W().m_bResetCharges = 1;
    EXPECT_EQ(Run("ResetCharges"), PARAM_OK);
    EXPECT_EQ(W().m_bResetCharges, 0);
    EXPECT_EQ(W().m_nTotalCharge1, 0);
    EXPECT_EQ(Sent(), (Lines{"ATCH0", "ATCH?"}));

    // Without a request the counters are only refreshed, whatever they hold.
    ClearSent();
    Answer("ATCH?", ChargesReply(0, 0, 0, 0, 4, 0));
    EXPECT_EQ(Run("ResetCharges"), PARAM_OK);
    EXPECT_EQ(Sent(), Lines{"ATCH?"});
    // A reset the device did not carry out.
    W().m_bResetCharges = 1;
    EXPECT_EQ(Run("ResetCharges"), PARAM_MISMATCH);
}

TEST_F(RowTest, ResetChargesFinalSendsOnlyWhenRequestedAgain) {
    // The raised time-out shows in the silent wait behind the reply.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    Sync();
    EXPECT_EQ(Run("ResetChargesFinal"), PARAM_OK);
    EXPECT_TRUE(Sent().empty());
    W().m_bResetCharges = 1;
    const auto start = Clock::now();
    EXPECT_EQ(Run("ResetChargesFinal"), PARAM_OK);
    EXPECT_GE(MsSince(start), ScaledMs(2 * 3000).count() / 1000);
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
    // Done only on the device's OK, and the counters read back.
    EXPECT_EQ(Sent(), (Lines{"ATCH0", "ATCH?"}));
    // Consumed, so that the next write does not reset the counters again.
    EXPECT_EQ(W().m_bResetCharges, 0);

    W().m_bResetCharges = 1;
    Answer("ATCH0", "\r\nERROR\r\n");
    EXPECT_EQ(Run("ResetChargesFinal"), PARAM_MISMATCH);
    EXPECT_EQ(W().m_bResetCharges, 1);
}

TEST_F(RowTest, SetPowerUpProfileRaisesTheTimeout) {
    // The raised time-out shows in the silent wait behind the reply.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    Sync();
    W().m_nPowerUpProfile = 2;
    const auto start = Clock::now();
    EXPECT_EQ(Run("SetPowerUpProfile"), PARAM_OK);
    EXPECT_GE(MsSince(start), ScaledMs(2 * 4000).count() / 1000);
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
    EXPECT_EQ(Sent(), (Lines{"ATS15=64", "ATS15?"}));
}

TEST_F(RowTest, NoPowerUpChoiceIsNeverSentAndTheDevicesOwnIsRead) {
    // A list with nothing chosen gives -1; -1 x 32 would be "ATS15=-32".
    SetRegister(15, 3 << 5);
    Sync();
    W().m_nPowerUpProfile = -1;
    EXPECT_EQ(Run("SetPowerUpProfile"), PARAM_OK);
    EXPECT_EQ(Sent(), Lines{"ATS15?"});
    EXPECT_EQ(W().m_nPowerUpProfile, 3);
}

TEST_F(RowTest, SetProtocolWithoutACodeSendsNothingAndReportsTheDevice) {
    SetRegister(82, 78);
    Sync();
    W().m_nProtocol = 9;
    EXPECT_EQ(Run("SetProtocol"), PARAM_MISMATCH);
    EXPECT_EQ(Sent(), Lines{"ATS82?"});
    EXPECT_EQ(W().m_nProtocol, 2);
}

TEST_F(RowTest, SetPppOptionsWritesBothMultilinkBits) {
    Sync();
    W().m_bMultilink = 1;
    W().m_nBodAddTime = 30;
    W().m_nBodDropRate = 64;
    W().SetReadTimeout(1000);
    EXPECT_EQ(Run("SetPppOptions"), PARAM_OK);
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
    EXPECT_EQ(Sent(), (Lines{"ATS87.5=1", "ATS87.6=1", "ATS124=30", "ATS127=64", "ATS87?",
                             "ATS124?", "ATS127?"}));

    ClearSent();
    Sync();
    W().m_nBodDropTime = 5;
    W().m_nBodAddRate = 6;
    StopAt("ATS125=5");
    EXPECT_EQ(Run("SetPppOptions"), PARAM_STOPPED);
    EXPECT_EQ(Sent(), Lines{"ATS125=5"});
}

TEST_F(RowTest, SetX25SendsTheGroupInOrder) {
    W().m_bX25Available = 1;
    W().m_nX25Layer3Window = 2;
    W().m_nX25WaitRestart = 1;
    SetRegister(104, 0x20);
    SetRegister(103, 1);
    Sync();
    W().m_nX25Lic = 1;
    W().m_nX25Lcn = 4;
    W().m_strX25Address = "26245";
    W().m_nX25WaitRestart = 2;
    W().m_bX25Spvc = 1;
    W().m_nX25Layer3Window = 7;
    W().m_nX25CugNumber = 255;
    W().m_nX25PacketSize = 7;
    Answer("AT!X2?", "\r\nX121 ADDR: 26245\r\n\r\nOK\r\n");
    EXPECT_EQ(Run("SetX25"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS57=1",    "ATS91=4",    "AT!X2=26245", "ATS103.0=0", "ATS103.1=1",
                             "ATS103.7=1", "ATS104.4=1", "ATS104.5=1",  "ATS104.6=1", "ATS104.7=0",
                             "ATS105=255", "ATS106=7",   "ATS57?",      "ATS91?",     "AT!X2?",
                             "ATS103?",    "ATS103.7?",  "ATS104?",     "ATS105?",    "ATS106?"}));
    EXPECT_EQ(Register(104), 0x70);
}

TEST_F(RowTest, SetX25WithoutX25AndOnStop) {
    Sync();
    W().m_nX25Tei = 3;
    EXPECT_EQ(Run("SetX25"), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    W().m_bX25Available = 1;
    D().m_bX25Available = 1;
    W().m_nX25Layer2Window = 15;
    StopAt("ATS90=3");
    EXPECT_EQ(Run("SetX25"), PARAM_STOPPED);
    EXPECT_EQ(Sent(), Lines{"ATS90=3"});
}

TEST_F(RowTest, SetFskLevelOnlyWhereTheCountryHasIt) {
    Sync();
    W().m_nFskLevel = 12;
    W().m_bFskLevelAvailable = 0;
    EXPECT_EQ(Run("SetFskLevel"), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    W().m_bFskLevelAvailable = 1;
    D().m_bFskLevelAvailable = 1;
    Answer("AT/CLIPLEVEL", ValueReply(12));
    EXPECT_EQ(Run("SetFskLevel"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"AT/CLIPLEVEL 12", "AT/CLIPLEVEL"}));
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
}

TEST_F(RowTest, SetTerminalTypesOnlyForHungary) {
    W().m_nTerminalType2 = 1;
    SetRegister(118, 0x04);
    W().m_strCountry = "hungary";
    Sync();
    W().m_nTerminalType2 = 2;
    EXPECT_EQ(Run("SetTerminalTypes"), PARAM_OK);
    EXPECT_TRUE(Sent().empty());

    W().m_strCountry = "Hungary";
    D().m_strCountry = "Hungary";
    EXPECT_EQ(Run("SetTerminalTypes"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS118.2=0", "ATS118.3=1", "ATS118?"}));
    EXPECT_EQ(Register(118), 0x08);
}

TEST_F(RowTest, SetModemLlcSendsUnsignedBytes) {
    Sync();
    W().m_byModemLlc[0][2] = 200;
    W().m_byModemLlc[1][0] = 0x90;
    EXPECT_EQ(Run("SetModemLlc"), PARAM_OK);
    EXPECT_EQ(Sent(), (Lines{"ATS110=200", "ATS111=144", "ATS110?", "ATS111?"}));
}

TEST_F(RowTest, StoreProfile) {
    Sync();
    EXPECT_EQ(Run("StoreProfile"), PARAM_OK);
    EXPECT_TRUE(Sent().empty());
    W().m_nStoreProfile = 4;
    EXPECT_EQ(Run("StoreProfile"), PARAM_OK);
    EXPECT_EQ(ReadTimeout(), kParamReadTimeoutMs);
    Answer("AT&W1", "\r\nERROR\r\n");
    W().m_nStoreProfile = 2;
    // Without the device's OK the settings are active, not stored.
    EXPECT_EQ(job_.m_nProfileNotStored, -1);
    EXPECT_EQ(Run("StoreProfile"), PARAM_FAILED);
    EXPECT_EQ(job_.m_nProfileNotStored, 1);
    W().m_nStoreProfile = 5;  // no such profile: not sent
    EXPECT_EQ(Run("StoreProfile"), PARAM_MISMATCH);
    W().m_nStoreProfile = -1;
    EXPECT_EQ(Run("StoreProfile"), PARAM_MISMATCH);
    EXPECT_EQ(Sent(), (Lines{"AT&W3", "AT&W1"}));
    peer_.Hangup();
    W().m_nStoreProfile = 1;
    EXPECT_EQ(Run("StoreProfile"), PARAM_FAILED);
}

TEST_F(RowTest, EqualRecordsSendOnlyTheTwoQueriesAndTheStore) {
    W().m_bX25Available = 1;
    W().m_strCountry = "Hungary";
    W().m_nStoreProfile = 1;
    Sync();
    for (const ParamRowSpec& row : SettingRows()) {
        EXPECT_EQ(RunRow(row, &job_, &app_, 0), PARAM_OK) << row.name;
    }
    EXPECT_EQ(Sent(), (Lines{"AT&ZI?", "ATCH?", "AT&W0"}));
}

}  // namespace
}  // namespace vardex::test
