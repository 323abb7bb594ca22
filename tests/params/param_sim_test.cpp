// The rows against the simulated device on a pseudo-terminal: whole read and
// write passes, refused values and the country variants.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/tapi_line.h"
#include "params/param_rows.h"
#include "params/row_dispatch.h"
#include "pty_device.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::link;

namespace vardex::test {
namespace {

class SimRows : public ::testing::Test {
protected:
    SimRows() : scale_(kAnswerScale) {}

    void Open(const std::string& country) {
        device_ = std::make_unique<sim::PtyDevice>(sim::DeviceOptions{.country = country});
        SysError error;
        ASSERT_TRUE(device_->Start(&error));
        ASSERT_EQ(W().Line().OpenPort(device_->Path(), 115200), OpenResult::kOk)
            << W().Line().LastOpenError().Message();
        ASSERT_EQ(W().SetReadTimeout(kParamReadTimeoutMs), 1);
        // What identification sets from the country name.
        W().m_strCountry = country;
        W().m_bX25Available = country == "Hungary" || country == "Cyprus" ? 1 : 0;
        W().m_bFskLevelAvailable = country == "Brasil" || country == "Brasil USB" ? 0 : 1;
    }

    CDeviceConfig& W() { return app_.m_workingRecord; }
    CDeviceConfig& D() { return app_.m_deviceCopy; }

    // The read-all and write-all jobs without their window: every row in order,
    // then the device copy takes the working record.
    std::vector<RowResult> RunTable(std::span<const ParamRowSpec> table) {
        std::vector<RowResult> results;
        for (const ParamRowSpec& row : table) {
            results.push_back(RunRow(row, &job_, &app_, 0));
        }
        D().CopyFrom(W());
        return results;
    }
    std::vector<RowResult> ReadAll() { return RunTable(QueryRows()); }
    std::vector<RowResult> WriteAll() { return RunTable(SettingRows()); }

    RowResult Run(std::string_view name, int verify) {
        const ParamRowSpec* row = FindRow(name);
        EXPECT_NE(row, nullptr) << name;
        return row != nullptr ? RunRow(*row, &job_, &app_, verify) : PARAM_FAILED;
    }

    std::uint64_t Commands() const { return device_->CommandCount(); }
    std::string LastCommand() const {
        return device_->Inspect([](const sim::Device& d) { return d.LastCommand(); });
    }

    static std::vector<RowResult> AllOk(std::size_t n) {
        return std::vector<RowResult>(n, PARAM_OK);
    }

    ScopedTimeScale scale_;
    std::unique_ptr<sim::PtyDevice> device_;
    CRunningJob job_;
    CVarDexConfigurationManagerApp app_;
};

TEST_F(SimRows, HungaryReadChangeWriteReadBack) {
    Open("Hungary");
    ASSERT_EQ(ReadAll(), AllOk(22));
    // The device's factory settings as the rows decode them.
    EXPECT_EQ(W().m_nFlashDuration, 20);
    EXPECT_EQ(W().m_nProtocol, CDeviceConfig::kProtocolPpp);
    EXPECT_EQ(W().m_bDelayedClearBack1, 0);
    EXPECT_EQ(W().m_bCallWaiting1, 1);
    EXPECT_EQ(W().m_nX25Layer2Window, 2);
    EXPECT_EQ(W().m_nX25Layer3Window, 2);
    EXPECT_EQ(W().m_nX25CugNumber, 255);

    // One field of each kind.
    W().m_strPhoneMsn[0] = "5551";
    W().m_strPhoneMsn[1] = "5552";
    W().m_strDteMsn[2] = "777";
    W().m_nOwnNumber1 = 1;         // text of a subscriber number
    W().m_bCallWaiting1 = 0;       // a bit
    W().m_bDelayedClearBack2 = 1;  // an inverted bit
    W().m_bClipOnCw2 = 1;          // a whole-register write
    W().m_nFlashDuration = 35;     // a whole register
    W().m_nPowerUpProfile = 2;     // a shifted field
    W().m_nProtocol = 6;           // a code table
    W().m_bMultilink = 1;          // two bits for one flag
    W().m_nBodAddRate = 60;
    W().m_strX25Address = "26245";  // text
    W().m_nX25Layer3Window = 7;     // a nibble written bit by bit
    W().m_nX25WaitRestart = 3;
    W().m_nFskLevel = 9;       // "AT/CLIPLEVEL n"
    W().m_nTerminalType1 = 1;  // Hungary only
    W().m_nTerminalType2 = 2;
    W().m_byModemLlc[1][2] = 0xC5;  // an unsigned byte
    W().m_bResetCharges = 1;
    W().m_nStoreProfile = 1;
    const std::uint64_t before = Commands();
    ASSERT_EQ(WriteAll(), AllOk(24));
    EXPECT_EQ(LastCommand(), "&W0");
    EXPECT_GT(Commands(), before + 30);
    EXPECT_EQ(W().m_bResetCharges, 0);
    EXPECT_EQ(device_->Register(118), 1 | (2 << 2));
    EXPECT_EQ(device_->Register(87) & 0x60, 0x60);
    EXPECT_EQ(device_->Register(104), 0x72);

    // Read everything again into a record that forgot it.
    CDeviceConfig expected;
    W().m_nStoreProfile = 0;
    expected.CopyFrom(W());
    // The terminal types share S118 with the ML-PPP flags, which read them back.
    expected.m_bNoIncomingMlppp1 = 0;
    expected.m_bNoIncomingMlppp2 = 1;
    W().Reset();
    W().m_nPowerUpProfile = 0;
    W().m_nFskLevel = 0;
    W().m_strCountry = "Hungary";
    W().m_bX25Available = 1;
    ASSERT_EQ(ReadAll(), AllOk(22));
    EXPECT_TRUE(W().SameParameters(expected));
    EXPECT_EQ(W().m_strPhoneMsn[1], "5552");
    EXPECT_EQ(W().m_nOwnNumber1, 1);
    EXPECT_EQ(W().m_nProtocol, 6);
    EXPECT_EQ(W().m_strX25Address, "26245");
    EXPECT_EQ(W().m_nFskLevel, 9);
    EXPECT_EQ(W().m_byModemLlc[1][2], 0xC5);
}

// A reply that pauses after its first bytes arrives in two parts; the second
// part alone once read as an empty address, which a backup then wrote back.
TEST_F(SimRows, AnAddressReplyThatPausedIsNeverReadAsAnotherAddress) {
    Open("Hungary");
    const std::string address = "262451234567890";
    ASSERT_NE(W().SendCommand(("AT!X2=" + address).c_str()), nullptr);
    for (const int after : {4, 8, 13, 20}) {
        SCOPED_TRACE(after);
        W().m_strX25Address = address;  // as just written: only the address is asked
        D().m_strX25Address.clear();
        device_->PauseNextReply(after, 754);
        const RowResult result = Run("QueryX25", 1);
        EXPECT_EQ(W().m_strX25Address, address);
        EXPECT_NE(result, PARAM_MISMATCH);
        // Whatever is still on its way is gone before the next round.
        W().ReadPending();
    }
}

TEST_F(SimRows, RefusedValueComesBackAsMismatch) {
    Open("Cyprus");
    ASSERT_EQ(ReadAll(), AllOk(22));
    W().m_nFlashDuration = 150;  // the device takes 0..100
    W().m_nX25PacketSize = 9;    // and 4..7
    W().m_bCallWaiting2 = 0;
    std::vector<RowResult> expected = AllOk(24);
    expected[11] = PARAM_MISMATCH;
    expected[15] = PARAM_MISMATCH;
    EXPECT_EQ(WriteAll(), expected);
    EXPECT_EQ(W().m_nFlashDuration, 20);
    EXPECT_EQ(W().m_nX25PacketSize, 7);
    EXPECT_EQ(W().m_bCallWaiting2, 0);  // the rows after a mismatch still ran
}

TEST_F(SimRows, EqualRecordsSendOnlyTheQueriesWithoutSkip) {
    Open("Hungary");
    ASSERT_EQ(ReadAll(), AllOk(22));
    std::uint64_t before = Commands();
    ASSERT_EQ(WriteAll(), AllOk(24));
    EXPECT_EQ(Commands(), before + 2);  // "AT&ZI?" and "ATCH?"
    EXPECT_EQ(LastCommand(), "CH?");

    W().m_nStoreProfile = 3;
    D().m_nStoreProfile = 3;
    before = Commands();
    ASSERT_EQ(WriteAll(), AllOk(24));
    EXPECT_EQ(Commands(), before + 3);
    EXPECT_EQ(LastCommand(), "&W2");
}

TEST_F(SimRows, LowerCaseHungaryWritesNoTerminalTypes) {
    Open("hungary");
    ASSERT_EQ(ReadAll(), AllOk(22));
    W().m_nTerminalType2 = 2;
    const std::uint64_t before = Commands();
    EXPECT_EQ(Run("SetTerminalTypes", 0), PARAM_OK);
    EXPECT_EQ(Commands(), before);
    EXPECT_EQ(device_->Register(118), 0);
}

TEST_F(SimRows, BrasilUsbHasNoFskLevel) {
    Open("Brasil USB");
    W().m_nFskLevel = 5;
    std::uint64_t before = Commands();
    EXPECT_EQ(Run("QueryFskLevel", 0), PARAM_OK);
    EXPECT_EQ(Commands(), before);
    EXPECT_EQ(W().m_nFskLevel, 5);
    ASSERT_EQ(ReadAll(), AllOk(22));
    W().m_nFskLevel = 11;
    before = Commands();
    EXPECT_EQ(Run("SetFskLevel", 0), PARAM_OK);
    EXPECT_EQ(Commands(), before);
}

TEST_F(SimRows, CountryWithoutX25LeavesRow12Silent) {
    Open("Germany");
    std::uint64_t before = Commands();
    ASSERT_EQ(ReadAll(), AllOk(22));
    // 45 commands with X.25, 15 of them in row 12.
    EXPECT_EQ(Commands(), before + 30);
    W().m_nX25Tei = 5;
    W().m_strX25Address = "1";
    before = Commands();
    EXPECT_EQ(Run("SetX25", 0), PARAM_OK);
    EXPECT_EQ(Run("QueryX25", 1), PARAM_OK);
    EXPECT_EQ(Commands(), before);
}

}  // namespace
}  // namespace vardex::test
