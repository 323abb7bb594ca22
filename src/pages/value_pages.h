// The Connection page as the sheet's transfers see it: one member per value,
// copied to and from the working record. Its controls are still to come; until
// then the page shows its caption and a note, and keeps the values it was
// given so that an apply sends nothing it did not read.
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
