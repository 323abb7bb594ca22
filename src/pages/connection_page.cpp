#include "connection_page.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "page_controls.h"
#include "params/app_core.h"
#include "params/connection_rules.h"
#include "params/field_table.h"
#include "params/multilink_rule.h"
#include "res/strings.h"
#include "ui/help.h"
#include "ui/message_box.h"
#include "x25_dialog.h"

namespace vardex::ui {

namespace {

constexpr int kThresholdLengthMax = 3;
constexpr int kThresholdWidth = 44;

QLabel* Label(QWidget* parent, int id, std::string_view text) {
    auto* label = new QLabel(Text(text), parent);
    SetControlId(label, id);
    return label;
}

const RecordField& Limits(int CDeviceConfig::*field) {
    return *FieldOf(field);
}

// The labels, edits and spin buttons of the two threshold rows.
constexpr int kThresholdLabels[] = {
    CConnectionPage::IDC_ADD_LABEL,       CConnectionPage::IDC_ADD_RATE_LABEL,
    CConnectionPage::IDC_ADD_TIME_LABEL,  CConnectionPage::IDC_DROP_LABEL,
    CConnectionPage::IDC_DROP_RATE_LABEL, CConnectionPage::IDC_DROP_TIME_LABEL};
constexpr int kThresholdEdits[] = {CConnectionPage::IDC_ADD_RATE, CConnectionPage::IDC_ADD_TIME,
                                   CConnectionPage::IDC_DROP_RATE, CConnectionPage::IDC_DROP_TIME};
constexpr int kSpins[] = {CConnectionPage::IDC_ADD_RATE_SPIN, CConnectionPage::IDC_ADD_TIME_SPIN,
                          CConnectionPage::IDC_DROP_RATE_SPIN, CConnectionPage::IDC_DROP_TIME_SPIN};
constexpr int kMultilinkIds[] = {CConnectionPage::IDC_ASYNC_TO_SYNC,
                                 CConnectionPage::IDC_MULTILINK_FIXED,
                                 CConnectionPage::IDC_BANDWIDTH_ON_DEMAND};

}  // namespace

const CConnectionPage::Threshold CConnectionPage::kThresholds[4] = {
    {IDC_ADD_RATE, &CDeviceConfig::m_nBodAddRate, &CConnectionPage::m_nBodAddRate},
    {IDC_ADD_TIME, &CDeviceConfig::m_nBodAddTime, &CConnectionPage::m_nBodAddTime},
    {IDC_DROP_RATE, &CDeviceConfig::m_nBodDropRate, &CConnectionPage::m_nBodDropRate},
    {IDC_DROP_TIME, &CDeviceConfig::m_nBodDropTime, &CConnectionPage::m_nBodDropTime},
};

CConnectionPage::CConnectionPage(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageConnection), kHelpConnection), host_(host) {
    // The protocols: V.110 is drawn above V.120, though its index is the higher.
    auto* protocols = new QGroupBox(this);
    auto* pg = new QGridLayout(protocols);
    const struct {
        int id;
        std::string_view caption;
        int row, column;
    } radios[] = {
        {IDC_PPP, res::kTextProtocolPpp, 0, 0},
        {IDC_VOICE_TRANSPARENT, res::kTextProtocolVoiceTransparent, 1, 0},
        {IDC_PPP_TRANSPARENT, res::kTextProtocolPppTransparent, 2, 0},
        {IDC_DATA_TRANSPARENT, res::kTextProtocolDataTransparent, 3, 0},
        {IDC_V120, res::kTextProtocolV120, 1, 1},
        {IDC_V110, res::kTextProtocolV110, 0, 1},
        {IDC_X25, res::kTextProtocolX25, 2, 1},
    };
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        const auto& r = radios[protocol];
        auto* radio = new QRadioButton(Text(r.caption), protocols);
        SetControlId(radio, r.id);
        connect(radio, &QRadioButton::clicked, this,
                [this, protocol] { OnProtocolClicked(protocol); });
        pg->addWidget(radio, r.row, r.column);
    }
    pg->setColumnStretch(1, 1);

    // PPP: the multilink choice, BAP and the thresholds of bandwidth on demand.
    auto* ppp = new QGroupBox(this);
    auto* pv = new QVBoxLayout(ppp);
    const std::string_view choices[] = {res::kTextPppAsyncToSync, res::kTextPppMultilinkFixed,
                                        res::kTextPppBandwidthOnDemand};
    for (int choice = 0; choice < 3; ++choice) {
        auto* radio = new QRadioButton(Text(choices[choice]), ppp);
        SetControlId(radio, kMultilinkIds[choice]);
        connect(radio, &QRadioButton::clicked, this,
                [this, choice] { OnMultilinkClicked(choice); });
        pv->addWidget(radio);
    }
    auto* thresholds = new QGridLayout();
    thresholds->setContentsMargins(24, 6, 0, 6);
    const std::pair<int, std::string_view> rows[2] = {{IDC_ADD_LABEL, res::kTextAddChannel},
                                                      {IDC_DROP_LABEL, res::kTextDropChannel}};
    for (int row = 0; row < 2; ++row) {
        thresholds->addWidget(Label(ppp, rows[row].first, rows[row].second), row, 0);
        for (int half = 0; half < 2; ++half) {
            const int i = row * 2 + half;
            QLineEdit* edit =
                DigitsEdit(ppp, kThresholdEdits[i], kThresholdLengthMax, kThresholdWidth);
            auto* spin = new CSpinButton(ppp, kSpins[i], edit);
            const RecordField& limits = Limits(kThresholds[i].field);
            spin->SetRange(limits.lo, limits.hi);
            // The spin buttons change the text too: every change of it counts.
            connect(edit, &QLineEdit::textChanged, this,
                    [this, i] { OnThresholdChange(kThresholds[i]); });
            edit->installEventFilter(this);
            const int label_id = kThresholdLabels[row * 3 + 1 + half];
            thresholds->addWidget(edit, row, 1 + half * 3);
            thresholds->addWidget(spin, row, 2 + half * 3);
            thresholds->addWidget(
                Label(ppp, label_id, half == 0 ? res::kTextKbPerSecFor : res::kTextSecs), row,
                3 + half * 3);
        }
    }
    thresholds->setColumnStretch(7, 1);
    pv->addLayout(thresholds);
    for (const auto& [id, caption] : {std::pair{IDC_BAP_SUPPORT, res::kTextBapSupport},
                                      std::pair{IDC_BAP_CALL_BACK, res::kTextBapCallBack}}) {
        auto* box = new QCheckBox(Text(caption), ppp);
        SetControlId(box, id);
        connect(box, &QCheckBox::clicked, this, [this, id = id](bool checked) {
            (id == IDC_BAP_SUPPORT ? m_bBapSupport : m_bBapCallBack) = checked ? 1 : 0;
            Refresh(true);
        });
        pv->addWidget(box);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(protocols);
    layout->addWidget(ppp);
    layout->addStretch(1);
}

void CConnectionPage::Refresh(bool user_action) {
    if (user_action) {
        host_.App().m_workingRecord.m_bSettingsModified = 1;
        SetModified(true);
    }
    const auto enable = [this](std::initializer_list<int> ids, bool on) {
        for (const int id : ids) {
            GetDlgItem(id)->setEnabled(on);
        }
    };
    const auto enable_thresholds = [&](bool on) {
        for (const int id : kThresholdEdits) {
            GetDlgItem(id)->setEnabled(on);
        }
        // Unlike the design's, the arrows follow their edit: they would change a
        // value the person cannot edit.
        for (const int id : kSpins) {
            GetDlgItem(id)->setEnabled(on);
        }
    };
    const auto enable_labels = [&](bool on) {
        for (const int id : kThresholdLabels) {
            GetDlgItem(id)->setEnabled(on);
        }
    };
    if (variant_.ConnectionLocked()) {
        for (const int id : kProtocolIds) {
            GetDlgItem(id)->setEnabled(false);
        }
        for (const int id : kMultilinkIds) {
            GetDlgItem(id)->setEnabled(false);
        }
        enable_labels(false);
        enable_thresholds(false);
        enable({IDC_BAP_SUPPORT, IDC_BAP_CALL_BACK}, false);
        return;
    }
    // Every rule sets its controls both ways: a later read may find another variant.
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        GetDlgItem(kProtocolIds[protocol])->setEnabled(params::ProtocolOffered(protocol, variant_));
    }
    const params::PppControls on = PppRules();
    for (const int id : kMultilinkIds) {
        GetDlgItem(id)->setEnabled(on.options);
    }
    enable_labels(on.options);
    enable_thresholds(on.thresholds);
    GetDlgItem(IDC_BAP_SUPPORT)->setEnabled(on.thresholds);
    GetDlgItem(IDC_BAP_CALL_BACK)->setEnabled(on.call_back);
    // A box its rule closes shows unchecked, on the screen only: the member keeps
    // the device's value (or the person's last click) for the write. Open, a box
    // shows its member, so that call back's rule follows what the screen shows.
    Item<QCheckBox>(IDC_BAP_SUPPORT)->setChecked(on.thresholds && m_bBapSupport != 0);
    Item<QCheckBox>(IDC_BAP_CALL_BACK)->setChecked(on.call_back && m_bBapCallBack != 0);
}

params::PppControls CConnectionPage::PppRules() const {
    return params::PppControlsFor(m_nProtocol, m_nMultilink, m_bBapSupport);
}

void CConnectionPage::OnProtocolClicked(int protocol) {
    m_nProtocol = protocol;
    Refresh(true);
    if (protocol == CDeviceConfig::kProtocolX25DChannel) {
        RunX25Dialog();
    }
}

void CConnectionPage::OnMultilinkClicked(int choice) {
    m_nMultilink = choice;
    Refresh(true);
}

void CConnectionPage::OnThresholdChange(const Threshold& t) {
    if (loading_) {
        return;  // the controls show the members: no change of a person's
    }
    const RecordField& limits = Limits(t.field);
    const int value = NumberIn(Item<QLineEdit>(t.id));
    if (!limits.Allows(value)) {
        AppMessageBox(this, res::FormatLimits(limits.lo, limits.hi), MessageIcon::Exclamation);
    } else if (value != this->*t.member) {
        host_.App().m_workingRecord.m_bSettingsModified = 1;
        SetModified(true);
    }
}

bool CConnectionPage::eventFilter(QObject* watched, QEvent* event) {
    // A message box taking the focus is a focus loss too: one check at a time.
    if (event->type() == QEvent::FocusOut && !checking_ &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        for (const Threshold& t : kThresholds) {
            if (watched == GetDlgItem(t.id)) {
                checking_ = true;
                CheckThreshold(t);
                checking_ = false;
            }
        }
    }
    return CRecordPage::eventFilter(watched, event);
}

void CConnectionPage::CheckThreshold(const Threshold& t) {
    auto* edit = Item<QLineEdit>(t.id);
    const int value = NumberIn(edit);
    if (value == 0) {
        edit->setText(QStringLiteral("0"));
    } else if (!Limits(t.field).Allows(value)) {
        edit->setText(QString::number(this->*t.member));
    }
}

void CConnectionPage::RunX25Dialog() {
    CX25PropertiesDialog dialog;
    dialog.m_nCugNumber = m_nX25CugNumber;
    dialog.m_nHic = m_nX25Hic;
    dialog.m_nLayer2Window = m_nX25Layer2Window;
    dialog.m_nLayer3Window = m_nX25Layer3Window;
    dialog.m_nPacketSize = m_nX25PacketSize - params::kX25PacketSizeBase;
    dialog.m_nLcn = m_nX25Lcn;
    dialog.m_nLic = m_nX25Lic;
    dialog.m_bUsePad = m_bX25UsePad;
    dialog.m_bSendRestart = m_bX25SendRestart;
    dialog.m_nTei = m_nX25Tei;
    dialog.m_bPadCall = m_bX25PadCall;
    dialog.m_nWaitRestart = m_nX25WaitRestart;
    dialog.m_strAddress = m_strX25Address;
    dialog.m_nLinkType = m_bX25Pvc != 0    ? CX25PropertiesDialog::kLinkPvc
                         : m_bX25Spvc != 0 ? CX25PropertiesDialog::kLinkSpvc
                                           : CX25PropertiesDialog::kLinkSvc;
    dialog.m_nPadProfile = m_bX25TransparentProfile;
    if (dialog.DoModal() != QDialog::Accepted) {
        return;  // Cancel: the page keeps its values
    }
    m_nX25CugNumber = dialog.m_nCugNumber;
    m_nX25Hic = dialog.m_nHic;
    m_nX25Layer2Window = dialog.m_nLayer2Window;
    m_nX25Layer3Window = dialog.m_nLayer3Window;
    // A list or group left without a choice keeps the page's value: no choice
    // is no value to send.
    if (dialog.m_nPacketSize >= 0) {
        m_nX25PacketSize = dialog.m_nPacketSize + params::kX25PacketSizeBase;
    }
    m_nX25Lcn = dialog.m_nLcn;
    m_nX25Lic = dialog.m_nLic;
    m_bX25UsePad = dialog.m_bUsePad;
    m_bX25SendRestart = dialog.m_bSendRestart;
    m_nX25Tei = dialog.m_nTei;
    m_bX25PadCall = dialog.m_bPadCall;
    m_nX25WaitRestart = dialog.m_nWaitRestart;
    m_strX25Address = dialog.m_strAddress;
    if (dialog.m_nLinkType >= 0) {
        m_bX25Pvc = dialog.m_nLinkType == CX25PropertiesDialog::kLinkPvc ? 1 : 0;
        m_bX25Spvc = dialog.m_nLinkType == CX25PropertiesDialog::kLinkSpvc ? 1 : 0;
    }
    if (dialog.m_nPadProfile >= 0) {
        m_bX25TransparentProfile = dialog.m_nPadProfile;
    }
}

void CConnectionPage::DoDataExchange(CDataExchange& dx) {
    loading_ = !dx.m_bSaveAndValidate;
    // No button checked (never after a load) keeps the member: -1 is no value.
    const auto radio = [&dx](std::initializer_list<int> ids, int& member) {
        int index = member;
        dx.Radio(ids, index);
        if (index >= 0) {
            member = index;
        }
    };
    radio({IDC_PPP, IDC_VOICE_TRANSPARENT, IDC_PPP_TRANSPARENT, IDC_DATA_TRANSPARENT, IDC_V120,
           IDC_V110, IDC_X25},
          m_nProtocol);
    radio({IDC_ASYNC_TO_SYNC, IDC_MULTILINK_FIXED, IDC_BANDWIDTH_ON_DEMAND}, m_nMultilink);
    // A box unchecked by its rule is taken from its member, not from the screen.
    const bool save = dx.m_bSaveAndValidate;
    if (!save || PppRules().thresholds) {
        dx.Check(IDC_BAP_SUPPORT, m_bBapSupport);
    }
    if (!save || PppRules().call_back) {
        dx.Check(IDC_BAP_CALL_BACK, m_bBapCallBack);
    }
    for (const Threshold& t : kThresholds) {
        const RecordField& limits = Limits(t.field);
        dx.UIntRange(t.id, this->*t.member, limits.lo, limits.hi);
    }
    if (!dx.m_bSaveAndValidate) {
        loading_ = false;
        // What was loaded may come from another device variant.
        Refresh(false);
    }
}

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
    variant_ = params::VariantOf(r);
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

void CConnectionPage::OnOK() {
    // Changes that could not be written stay on screen: the sheet stays open.
    if (host_.WriteDevice()) {
        host_.EndWithOk();
    }
}

}  // namespace vardex::ui
