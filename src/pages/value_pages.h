// The Telephony and Connection pages as the sheet's transfers see them: one
// member per value, copied to and from the working record. Their controls are
// still to come; until then each page shows its caption and a note, and keeps
// the values it was given so that an apply sends nothing it did not read.
#pragma once

#include <string>

#include "pages/record_page.h"
#include "pages/sheet_host.h"

namespace vardex::ui {

// A page whose controls are not there yet: its caption and a short note. OK
// from it writes the pending changes of the other pages, as from any page.
// Alone it holds no values, so its transfers copy nothing.
class CPlaceholderPage : public CRecordPage {
public:
    CPlaceholderPage(const QString& caption, int help_topic);
    void SetHost(ISheetHost* host) { host_ = host; }
    void OnOK() override;
    void LoadFrom(const CDeviceConfig&) override {}
    void StoreTo(CDeviceConfig&) const override {}

private:
    ISheetHost* host_ = nullptr;
};

class CTelephonyPage : public CPlaceholderPage {
public:
    CTelephonyPage();

    void LoadFrom(const CDeviceConfig& record) override;
    void StoreTo(CDeviceConfig& record) const override;

    std::string m_strPhoneMsn[CDeviceConfig::kPhoneMsnCount];
    std::string m_strDteMsn[CDeviceConfig::kDteMsnCount];
    int m_nOwnNumber1 = -1, m_nOwnNumber2 = -1, m_nOwnNumberDte = -1;
    int m_bCallWaiting1 = 0, m_bCallWaiting2 = 0;
    int m_bClipOnCw1 = 0, m_bClipOnCw2 = 0;
    int m_bMeteringPulse1 = 0, m_bMeteringPulse2 = 0;
    int m_bDelayedClearBack1 = 0, m_bDelayedClearBack2 = 0;
    int m_bNoIncomingMlppp1 = 0, m_bNoIncomingMlppp2 = 0;
    int m_bClir1 = 0, m_bClir2 = 0;
    int m_bColr1 = 0, m_bColr2 = 0;
    int m_bMessageWaiting1 = 0, m_bMessageWaiting2 = 0;
    int m_nTerminalType1 = 0, m_nTerminalType2 = 0;
    std::uint8_t m_byModemLlc[CDeviceConfig::kLlcPorts][CDeviceConfig::kLlcOctets] = {};
    int m_nServiceProtocol = 0;
    int m_bClip = 0;
    int m_bFullEmergencyMode = 0;
    int m_nFlashDuration = 0;
    int m_nCallerIdTiming = 0;
    int m_nFskLevel = 0;
};

class CConnectionPage : public CPlaceholderPage {
public:
    CConnectionPage();

    void LoadFrom(const CDeviceConfig& record) override;
    // Takes the multilink choice onto the record's flag and add-channel time.
    void StoreTo(CDeviceConfig& record) const override;

    int m_nProtocol = 0;  // 0..6, the order of CDeviceConfig's protocol indexes
    // kMultilinkNone, kMultilinkFixed or kMultilinkOnDemand (params/multilink_rule.h).
    int m_nMultilink = 0;
    int m_nBodAddRate = 0, m_nBodDropRate = 0, m_nBodAddTime = 0, m_nBodDropTime = 0;
    int m_nX25CugNumber = 0, m_nX25Hic = 0, m_nX25Layer2Window = 0, m_nX25Layer3Window = 0,
        m_nX25PacketSize = 0, m_nX25Lcn = 0, m_nX25Lic = 0;
    int m_bX25Spvc = 0, m_bX25UsePad = 0, m_bX25Pvc = 0, m_bX25SendRestart = 0;
    int m_nX25Tei = 0, m_nX25WaitRestart = 0;
    std::string m_strX25Address;
    int m_bX25TransparentProfile = 0, m_bX25PadCall = 0;
    int m_bBapSupport = 0, m_bBapCallBack = 0;
};

}  // namespace vardex::ui
