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
#include <vector>

#include "page_controls.h"
#include "params/app_core.h"
#include "params/connection_rules.h"
#include "params/field_table.h"
#include "params/multilink_rule.h"
#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/help.h"
#include "ui/message_box.h"
#include "x25_dialog.h"

using namespace vardex::params;

namespace vardex::ui {

namespace {

constexpr int kThresholdLengthMax = 3;
constexpr int kThresholdWidth = 44;

QLabel* Label(QWidget* parent, int id, std::string_view text) {
    auto* label = new QLabel(Text(text), parent);
    SetControlId(label, id);
    return label;
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

using P = CConnectionPage;
using R = CDeviceConfig;

// The page's controls and their fields. The multilink choice and the labels of
// the thresholds stand for the multilink flag, which the choice sets on store.
constexpr FieldBinding kBindings[] = {
    {P::IDC_PPP, &R::m_nProtocol, Exchange::kRadio, 0, P::kProtocolIds},
    {P::IDC_ASYNC_TO_SYNC, &R::m_bMultilink, Exchange::kNone, 0, kMultilinkIds},
    {P::IDC_ADD_LABEL, &R::m_bMultilink, Exchange::kNone, 0, kThresholdLabels},
    {P::IDC_BAP_SUPPORT, &R::m_bBapSupport},
    {P::IDC_BAP_CALL_BACK, &R::m_bBapCallBack},
    {P::IDC_ADD_RATE, &R::m_nBodAddRate, Exchange::kDigits},
    {P::IDC_ADD_TIME, &R::m_nBodAddTime, Exchange::kDigits},
    {P::IDC_DROP_RATE, &R::m_nBodDropRate, Exchange::kDigits},
    {P::IDC_DROP_TIME, &R::m_nBodDropTime, Exchange::kDigits},
};

const RecordField& FieldOfControl(int id) {
    return FieldOf(*BindingOf(kBindings, id));
}

}  // namespace

CConnectionPage::CConnectionPage(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageConnection), kHelpConnection, kBindings), host_(host) {
    // The protocols: V.110 is drawn above V.120, though its index is the higher.
    auto* protocols = new QGroupBox(this);
    NameControl(protocols, {Text(res::kTextProtocolGroup)});
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
    // The protocols are read down the first column, then the second.
    std::vector<QWidget*> reading;
    for (int column = 0; column < pg->columnCount(); ++column) {
        for (int row = 0; row < pg->rowCount(); ++row) {
            if (QLayoutItem* item = pg->itemAtPosition(row, column)) {
                reading.push_back(item->widget());
            }
        }
    }
    SetTabOrder(reading);
    pg->setColumnStretch(1, 1);

    // PPP: the multilink choice, BAP and the thresholds of bandwidth on demand.
    auto* ppp = new QGroupBox(this);
    NameControl(ppp, {Text(res::kTextPppGroup)});
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
        QLabel* row_label = Label(ppp, rows[row].first, rows[row].second);
        thresholds->addWidget(row_label, row, 0);
        for (int half = 0; half < 2; ++half) {
            const int i = row * 2 + half;
            QLineEdit* edit =
                DigitsEdit(ppp, kThresholdEdits[i], kThresholdLengthMax, kThresholdWidth);
            auto* spin = new CSpinButton(ppp, kSpins[i], edit);
            const RecordField& limits = FieldOfControl(kThresholdEdits[i]);
            spin->SetRange(limits.lo, limits.hi);
            // The spin buttons change the text too: every change of it counts.
            connect(edit, &QLineEdit::textChanged, this,
                    [this, i] { OnThresholdChange(kThresholdEdits[i]); });
            edit->installEventFilter(this);
            const int label_id = kThresholdLabels[row * 3 + 1 + half];
            thresholds->addWidget(edit, row, 1 + half * 3);
            thresholds->addWidget(spin, row, 2 + half * 3);
            QLabel* unit = Label(ppp, label_id, half == 0 ? res::kTextKbPerSecFor : res::kTextSecs);
            thresholds->addWidget(unit, row, 3 + half * 3);
            // The rate is read with its row's caption, the time with its unit too.
            NameControl(edit, {row_label->text(), half == 0 ? QString() : unit->text()},
                        half == 0 ? row_label : nullptr);
            DescribeControl(
                edit,
                {unit->text(), QString::fromStdString(res::FormatLimits(limits.lo, limits.hi))});
            spin->NameAfterBuddy();
        }
    }
    thresholds->setColumnStretch(7, 1);
    pv->addLayout(thresholds);
    for (const auto& [id, caption] : {std::pair{IDC_BAP_SUPPORT, res::kTextBapSupport},
                                      std::pair{IDC_BAP_CALL_BACK, res::kTextBapCallBack}}) {
        auto* box = new QCheckBox(Text(caption), ppp);
        SetControlId(box, id);
        connect(box, &QCheckBox::clicked, this, [this, id = id](bool checked) {
            SetIntField(id, checked ? 1 : 0);
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
    // The table's rule first, then the page's own: a rule that follows another
    // control never opens what the device's variant keeps closed.
    EnableBound();
    const auto enable = [this](int id, bool on) {
        GetDlgItem(id)->setEnabled(Changeable(id) && on);
    };
    const params::CountryVariant variant = params::VariantOf(Record());
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        enable(kProtocolIds[protocol], params::ProtocolOffered(protocol, variant));
    }
    const params::PppControls on = PppRules();
    for (const int id : kMultilinkIds) {
        enable(id, on.options);
    }
    for (const int id : kThresholdLabels) {
        enable(id, on.options);
    }
    for (std::size_t i = 0; i < std::size(kThresholdEdits); ++i) {
        enable(kThresholdEdits[i], on.thresholds);
        // Unlike the design's, the arrows follow their edit: they would change a
        // value the person cannot edit.
        GetDlgItem(kSpins[i])->setEnabled(GetDlgItem(kThresholdEdits[i])->isEnabled());
    }
    enable(IDC_BAP_SUPPORT, on.thresholds);
    enable(IDC_BAP_CALL_BACK, on.call_back);
    // A box its rule closes shows unchecked, on the screen only: the record
    // keeps the device's value (or the person's last click) for the write.
    // Open, a box shows its value, so that call back's rule follows what the
    // screen shows. A box the variant keeps shows the device's value.
    if (Changeable(IDC_BAP_SUPPORT)) {
        Item<QCheckBox>(IDC_BAP_SUPPORT)
            ->setChecked(on.thresholds && IntField(IDC_BAP_SUPPORT) != 0);
    }
    if (Changeable(IDC_BAP_CALL_BACK)) {
        Item<QCheckBox>(IDC_BAP_CALL_BACK)
            ->setChecked(on.call_back && IntField(IDC_BAP_CALL_BACK) != 0);
    }
}

params::PppControls CConnectionPage::PppRules() const {
    return params::PppControlsFor(IntField(IDC_PPP), m_nMultilink, IntField(IDC_BAP_SUPPORT));
}

void CConnectionPage::OnProtocolClicked(int protocol) {
    SetIntField(IDC_PPP, protocol);
    Refresh(true);
    if (protocol == CDeviceConfig::kProtocolX25DChannel) {
        RunX25Dialog();
    }
}

void CConnectionPage::OnMultilinkClicked(int choice) {
    m_nMultilink = choice;
    Refresh(true);
}

void CConnectionPage::OnThresholdChange(int id) {
    if (loading_) {
        return;  // the controls show the record: no change of a person's
    }
    const RecordField& limits = FieldOfControl(id);
    const int value = NumberIn(Item<QLineEdit>(id));
    if (!limits.Allows(value)) {
        AppMessageBox(this,
                      FieldMessage(Item<QLineEdit>(id), res::FormatLimits(limits.lo, limits.hi)),
                      link::MessageIcon::Exclamation);
    } else if (value != IntField(id)) {
        host_.App().m_workingRecord.m_bSettingsModified = 1;
        SetModified(true);
    }
}

bool CConnectionPage::eventFilter(QObject* watched, QEvent* event) {
    // A message box taking the focus is a focus loss too: one check at a time.
    if (event->type() == QEvent::FocusOut && !checking_ &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        for (const int id : kThresholdEdits) {
            if (watched == GetDlgItem(id)) {
                checking_ = true;
                CheckThreshold(id);
                checking_ = false;
            }
        }
    }
    return CRecordPage::eventFilter(watched, event);
}

void CConnectionPage::CheckThreshold(int id) {
    auto* edit = Item<QLineEdit>(id);
    const int value = NumberIn(edit);
    if (value == 0) {
        edit->setText(QStringLiteral("0"));
    } else if (!FieldOfControl(id).Allows(value)) {
        edit->setText(QString::number(IntField(id)));
    }
}

void CConnectionPage::RunX25Dialog() {
    CX25PropertiesDialog dialog(Record());
    if (dialog.DoModal() != QDialog::Accepted) {
        return;  // Cancel: the page keeps its values
    }
    CopyFields(Record(), dialog.Record(), CX25PropertiesDialog::Bindings());
}

void CConnectionPage::DoDataExchange(CDataExchange& dx) {
    loading_ = !dx.m_bSaveAndValidate;
    // No button checked (never after a load) keeps the choice: -1 is no value.
    int multilink = m_nMultilink;
    dx.Radio({IDC_ASYNC_TO_SYNC, IDC_MULTILINK_FIXED, IDC_BANDWIDTH_ON_DEMAND}, multilink);
    if (multilink >= 0) {
        m_nMultilink = multilink;
    }
    // A box unchecked by its rule is taken from the record, not from the
    // screen; the rule follows the protocol just taken.
    ExchangeBound(dx, [this](const FieldBinding& binding) {
        const params::PppControls on = PppRules();
        return (binding.id == IDC_BAP_SUPPORT && !on.thresholds) ||
               (binding.id == IDC_BAP_CALL_BACK && !on.call_back);
    });
    if (!dx.m_bSaveAndValidate) {
        loading_ = false;
        // What was loaded may come from another device variant.
        Refresh(false);
    }
}

void CConnectionPage::LoadFrom(const CDeviceConfig& r) {
    // A protocol the page has no button for leaves the choice as it was.
    const int protocol = IntField(IDC_PPP);
    CRecordPage::LoadFrom(r);
    if (IntField(IDC_PPP) < 0 || IntField(IDC_PPP) >= CDeviceConfig::kProtocolCount) {
        SetIntField(IDC_PPP, protocol);
    }
    m_nMultilink = MultilinkChoiceOf(r);
}

void CConnectionPage::StoreTo(CDeviceConfig& r) const {
    CRecordPage::StoreTo(r);
    CopyFields(r, Record(), CX25PropertiesDialog::Bindings());
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
