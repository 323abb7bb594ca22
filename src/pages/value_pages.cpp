#include "value_pages.h"

#include <QLabel>
#include <QVBoxLayout>

#include "params/multilink_rule.h"
#include "res/strings.h"
#include "ui/help.h"

namespace vardex::ui {

CPlaceholderPage::CPlaceholderPage(const QString& caption, int help_topic)
    : CRecordPage(caption, help_topic) {
    auto* heading = new QLabel(caption, this);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    auto* note = new QLabel(Text(res::kTextPageNotYetAvailable), this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(note);
    layout->addStretch(1);
}

void CPlaceholderPage::OnOK() {
    if (host_ == nullptr) {
        CPropertyPage::OnOK();
        return;
    }
    // Changes that could not be written stay pending: the sheet stays open.
    if (host_->WriteDevice()) {
        host_->EndWithOk();
    }
}

CConnectionPage::CConnectionPage()
    : CPlaceholderPage(Text(res::kTextPageConnection), kHelpConnection) {}

void CConnectionPage::LoadFrom(const CDeviceConfig& r) {
    // A protocol the page has no button for leaves the choice as it was.
    if (r.m_nProtocol >= 0 && r.m_nProtocol < CDeviceConfig::kProtocolCount) {
        m_nProtocol = r.m_nProtocol;
    }
    m_nBodAddRate = r.m_nBodAddRate;
    m_nBodDropRate = r.m_nBodDropRate;
    m_nBodAddTime = r.m_nBodAddTime;
    m_nBodDropTime = r.m_nBodDropTime;
    m_nX25CugNumber = r.m_nX25CugNumber;
    m_nX25Hic = r.m_nX25Hic;
    m_nX25Layer2Window = r.m_nX25Layer2Window;
    m_nX25Layer3Window = r.m_nX25Layer3Window;
    m_nX25PacketSize = r.m_nX25PacketSize;
    m_nX25Lcn = r.m_nX25Lcn;
    m_nX25Lic = r.m_nX25Lic;
    m_bX25Spvc = r.m_bX25Spvc;
    m_bX25UsePad = r.m_bX25UsePad;
    m_bX25Pvc = r.m_bX25Pvc;
    m_bX25SendRestart = r.m_bX25SendRestart;
    m_nX25Tei = r.m_nX25Tei;
    m_nX25WaitRestart = r.m_nX25WaitRestart;
    m_strX25Address = r.m_strX25Address;
    m_bX25TransparentProfile = r.m_bX25TransparentProfile;
    m_bX25PadCall = r.m_bX25PadCall;
    m_bBapSupport = r.m_bBapSupport;
    m_bBapCallBack = r.m_bBapCallBack;
    m_nMultilink = MultilinkChoiceOf(r);
}

void CConnectionPage::StoreTo(CDeviceConfig& r) const {
    r.m_nProtocol = m_nProtocol;
    r.m_nBodAddRate = m_nBodAddRate;
    r.m_nBodDropRate = m_nBodDropRate;
    r.m_nBodAddTime = m_nBodAddTime;
    r.m_nBodDropTime = m_nBodDropTime;
    r.m_nX25CugNumber = m_nX25CugNumber;
    r.m_nX25Hic = m_nX25Hic;
    r.m_nX25Layer2Window = m_nX25Layer2Window;
    r.m_nX25Layer3Window = m_nX25Layer3Window;
    r.m_nX25PacketSize = m_nX25PacketSize;
    r.m_nX25Lcn = m_nX25Lcn;
    r.m_nX25Lic = m_nX25Lic;
    r.m_bX25Spvc = m_bX25Spvc;
    r.m_bX25UsePad = m_bX25UsePad;
    r.m_bX25Pvc = m_bX25Pvc;
    r.m_bX25SendRestart = m_bX25SendRestart;
    r.m_nX25Tei = m_nX25Tei;
    r.m_nX25WaitRestart = m_nX25WaitRestart;
    r.m_strX25Address = m_strX25Address;
    r.m_bX25TransparentProfile = m_bX25TransparentProfile;
    r.m_bX25PadCall = m_bX25PadCall;
    r.m_bBapSupport = m_bBapSupport;
    r.m_bBapCallBack = m_bBapCallBack;
    // After the add-channel time: the choice may replace it.
    ApplyMultilinkChoice(m_nMultilink, r);
}

}  // namespace vardex::ui
