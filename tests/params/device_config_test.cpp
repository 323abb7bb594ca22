#include "params/device_config.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <memory>
#include <vector>

#include "link/tapi_line.h"
#include "platform/pty.h"
#include "platform/serial_port.h"

namespace {

// One row per field (per element for the arrays): the value a new record holds,
// whether Reset restores it, and a different value to set. The rows are kept
// apart from the record's own field list so that a field missing there shows up.
struct FieldCase {
    const char* name;
    bool reset;
    void (*set)(CDeviceConfig&);
    bool (*isInitial)(const CDeviceConfig&);
    bool (*same)(const CDeviceConfig&, const CDeviceConfig&);
};

// clang-format off
#define FIELD(f, initial, other, reset)                                              \
    FieldCase{#f, reset,                                                             \
              [](CDeviceConfig& c) { c.f = other; },                                 \
              [](const CDeviceConfig& c) { return c.f == initial; },                 \
              [](const CDeviceConfig& a, const CDeviceConfig& b) { return a.f == b.f; }}
// clang-format on

const std::vector<FieldCase>& Fields() {
    static const std::vector<FieldCase> fields = {
        FIELD(m_bUsbConnection, 0, 1, true),
        FIELD(m_bBapCallBack, 0, 1, false),
        FIELD(m_bBapSupport, 0, 1, false),
        FIELD(m_nCallerIdTiming, 0, 1, true),
        FIELD(m_nFlashDuration, 20, 55, true),
        FIELD(m_nServiceProtocol, 0, 1, true),
        FIELD(m_bFullEmergencyMode, 0, 1, false),
        FIELD(m_bClipOnCw1, 0, 1, true),
        FIELD(m_bClipOnCw2, 0, 1, true),
        FIELD(m_nBodAddTime, 0, 200, true),
        FIELD(m_nBodAddRate, 0, 48, true),
        FIELD(m_nBodDropTime, 0, 120, true),
        FIELD(m_nBodDropRate, 0, 96, true),
        FIELD(m_bMultilink, 0, 1, true),
        FIELD(m_nProtocol, 0, 6, true),
        FIELD(m_bSettingsModified, 0, 1, true),
        FIELD(m_bOtherModified, 0, 1, true),
        FIELD(m_bResetCharges, 0, 1, true),
        FIELD(m_nPowerUpProfile, 0, 4, false),
        FIELD(m_nStoreProfile, 0, 3, true),
        FIELD(m_nLastCharge1, 0, 11, true),
        FIELD(m_nLastCharge2, 0, 12, true),
        FIELD(m_nLastChargeDte, 0, 13, true),
        FIELD(m_nTotalCharge1, 0, 1001, true),
        FIELD(m_nTotalCharge2, 0, 1002, true),
        FIELD(m_nTotalChargeDte, 0, 1003, true),
        FIELD(m_nOwnNumber1, -1, 0, true),
        FIELD(m_nOwnNumber2, -1, 1, true),
        FIELD(m_nOwnNumberDte, -1, 2, true),
        FIELD(m_bDelayedClearBack1, 0, 1, true),
        FIELD(m_bDelayedClearBack2, 0, 1, true),
        FIELD(m_bCallWaiting1, 0, 1, true),
        FIELD(m_bCallWaiting2, 0, 1, true),
        FIELD(m_bClip, 0, 1, true),
        FIELD(m_nFskLevel, 0, 17, false),
        FIELD(m_bMeteringPulse1, 0, 1, true),
        FIELD(m_bMeteringPulse2, 0, 1, true),
        FIELD(m_bNoIncomingMlppp1, 0, 1, false),
        FIELD(m_bNoIncomingMlppp2, 0, 1, false),
        FIELD(m_strDteMsn[0], "", "7001", true),
        FIELD(m_strDteMsn[1], "", "7002", true),
        FIELD(m_strDteMsn[2], "", "7003", true),
        FIELD(m_strPhoneMsn[0], "", "1001", true),
        FIELD(m_strPhoneMsn[1], "", "1002", true),
        FIELD(m_strPhoneMsn[2], "", "1003", true),
        FIELD(m_strPhoneMsn[3], "", "2001", true),
        FIELD(m_strPhoneMsn[4], "", "2002", true),
        FIELD(m_strPhoneMsn[5], "", "2003", true),
        FIELD(m_wModelVersion, 0xFFFF, 0x0102, true),
        FIELD(m_wHardwareVersion, 0xFFFF, 0x0304, true),
        FIELD(m_wFirmwareVersion, 0xFFFF, 0x0506, true),
        FIELD(m_strCountry, "", "Hungary", true),
        FIELD(m_strCrc, "", "CRC 1A2B", false),
        FIELD(m_bMessageWaiting1, 0, 1, true),
        FIELD(m_bMessageWaiting2, 0, 1, true),
        FIELD(m_bClir1, 0, 1, true),
        FIELD(m_bClir2, 0, 1, true),
        FIELD(m_bColr1, 0, 1, true),
        FIELD(m_bColr2, 0, 1, true),
        FIELD(m_nTerminalType1, 0, 1, true),
        FIELD(m_nTerminalType2, 0, 2, true),
        FIELD(m_byModemLlc[0][0], 0, 0x81, true),
        FIELD(m_byModemLlc[0][1], 0, 0x82, true),
        FIELD(m_byModemLlc[0][2], 0, 0x83, true),
        FIELD(m_byModemLlc[1][0], 0, 0x91, true),
        FIELD(m_byModemLlc[1][1], 0, 0x92, true),
        FIELD(m_byModemLlc[1][2], 0, 0x93, true),
        FIELD(m_nX25CugNumber, 0, 255, true),
        FIELD(m_nX25Hic, 0, 201, true),
        FIELD(m_nX25Layer2Window, 0, 7, true),
        FIELD(m_nX25Layer3Window, 0, 15, true),
        FIELD(m_nX25PacketSize, 0, 7, true),
        FIELD(m_nX25Lcn, 0, 33, true),
        FIELD(m_nX25Lic, 0, 34, true),
        FIELD(m_bX25Spvc, 0, 1, true),
        FIELD(m_bX25UsePad, 0, 1, true),
        FIELD(m_bX25Pvc, 0, 1, true),
        FIELD(m_bX25SendRestart, 0, 1, true),
        FIELD(m_nX25Tei, 0, 63, true),
        FIELD(m_nX25WaitRestart, 0, 3, true),
        FIELD(m_strX25Address, "", "123456789012345", true),
        FIELD(m_bX25TransparentProfile, 0, 1, true),
        FIELD(m_bX25PadCall, 0, 1, true),
        FIELD(m_bX25Available, 0, 1, true),
        FIELD(m_bFskLevelAvailable, 1, 0, true),
    };
    return fields;
}

#undef FIELD

void FillNonDefault(CDeviceConfig& c) {
    for (const FieldCase& f : Fields()) {
        f.set(c);
    }
}

TEST(DeviceConfigDefaults, NewRecordHoldsEveryDefault) {
    const CDeviceConfig c;
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.isInitial(c)) << f.name;
    }
    EXPECT_FALSE(c.IsOpen());
}

TEST(DeviceConfigDefaults, ResetRestoresDefaultsAndKeepsDeviceOnlyFields) {
    CDeviceConfig c;
    FillNonDefault(c);
    CDeviceConfig filled;
    FillNonDefault(filled);

    c.Reset();
    for (const FieldCase& f : Fields()) {
        if (f.reset) {
            EXPECT_TRUE(f.isInitial(c)) << f.name;
        } else {
            EXPECT_TRUE(f.same(c, filled)) << f.name << " was reset";
        }
    }
}

TEST(DeviceConfigCopy, CarriesEveryField) {
    CDeviceConfig source;
    FillNonDefault(source);
    CDeviceConfig target;

    target.CopyFrom(source);
    for (const FieldCase& f : Fields()) {
        EXPECT_FALSE(f.isInitial(source)) << f.name << ": test value equals the default";
        EXPECT_TRUE(f.same(target, source)) << f.name;
    }
    EXPECT_TRUE(target.SameParameters(source));
    EXPECT_TRUE(source.SameParameters(target));
}

TEST(DeviceConfigCopy, OverwritesEveryFieldOfAnEditedTarget) {
    const CDeviceConfig source;
    CDeviceConfig target;
    FillNonDefault(target);

    target.CopyFrom(source);
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.isInitial(target)) << f.name;
    }
    EXPECT_TRUE(target.SameParameters(source));
}

TEST(DeviceConfigCopy, CopyOntoItselfKeepsEveryValue) {
    CDeviceConfig c;
    FillNonDefault(c);
    CDeviceConfig expected;
    FillNonDefault(expected);

    c.CopyFrom(c);
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.same(c, expected)) << f.name;
    }
    EXPECT_TRUE(c.SameParameters(expected));
}

TEST(DeviceConfigCopy, LeavesTheTargetsChannelAlone) {
    CDeviceConfig closedSource;
    FillNonDefault(closedSource);
    CDeviceConfig closedTarget;
    closedTarget.CopyFrom(closedSource);
    EXPECT_FALSE(closedTarget.IsOpen());

    vardex::PtyPair pty;
    vardex::SysError error;
    if (!vardex::PtyPair::Create(&pty, &error)) {
        GTEST_SKIP() << "no pseudo-terminal: " << error.Message();
    }
    CommHandle port = vardex::SerialPort::Open(pty.SlavePath(), &error);
    ASSERT_NE(port, nullptr) << error.Message();

    // An open target keeps its very channel; an open source lends none.
    CDeviceConfig openRecord;
    openRecord.Line().AdoptHandle(port);
    openRecord.CopyFrom(closedSource);
    EXPECT_EQ(openRecord.Line().GetHandle(), port);
    EXPECT_TRUE(openRecord.SameParameters(closedSource));

    CDeviceConfig otherTarget;
    otherTarget.CopyFrom(openRecord);
    EXPECT_FALSE(otherTarget.IsOpen());
    EXPECT_EQ(openRecord.Line().GetHandle(), port);
}

TEST(DeviceConfigSameParameters, NoticesADifferenceInEachField) {
    const CDeviceConfig a;
    for (const FieldCase& f : Fields()) {
        CDeviceConfig b;
        ASSERT_TRUE(a.SameParameters(b)) << f.name;
        f.set(b);
        EXPECT_FALSE(a.SameParameters(b)) << f.name;
        EXPECT_FALSE(b.SameParameters(a)) << f.name;
    }
}

TEST(DeviceConfigProtocol, CodeTableBothWays) {
    const int s82[] = {74, 76, 78, 80, 70, 72, 84};
    ASSERT_EQ(std::size(s82), static_cast<std::size_t>(CDeviceConfig::kProtocolCount));
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        EXPECT_EQ(CDeviceConfig::ProtocolToS82(protocol), s82[protocol]) << protocol;
        EXPECT_EQ(CDeviceConfig::S82ToProtocol(s82[protocol]), protocol) << s82[protocol];
    }
    EXPECT_EQ(CDeviceConfig::ProtocolToS82(CDeviceConfig::kProtocolX25DChannel), 84);
}

TEST(DeviceConfigProtocol, ValuesOutsideTheTable) {
    for (int protocol : {-1, 7, 74, INT_MIN, INT_MAX}) {
        EXPECT_EQ(CDeviceConfig::ProtocolToS82(protocol), -1) << protocol;
    }
    // Neighbours of the codes, the odd gap at 82, and the indexes themselves.
    for (int code : {0, 6, 69, 71, 73, 75, 82, 85, -74, INT_MIN, INT_MAX}) {
        EXPECT_EQ(CDeviceConfig::S82ToProtocol(code), -1) << code;
    }
}

TEST(DeviceConfigVersion, FormatsMajorDotMinor) {
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x0102), "1.2");
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x0A00), "10.0");
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x00FF), "0.255");
    EXPECT_EQ(CDeviceConfig::FormatVersion(CDeviceConfig::kVersionNotRead), "255.255");
}

}  // namespace
