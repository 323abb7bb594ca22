#include "x25_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "page_controls.h"
#include "params/connection_rules.h"
#include "params/field_table.h"
#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/choice_list.h"
#include "ui/help.h"

using namespace vardex::params;

namespace vardex::ui {

namespace {

constexpr int kNumberWidth = 44;

using X = CX25PropertiesDialog;
using R = CDeviceConfig;

constexpr int kCugIds[] = {X::IDC_ENABLE_CUG, X::IDC_CUG_NUMBER};
constexpr int kLinkIds[] = {X::IDC_SVC, X::IDC_PVC, X::IDC_SPVC};
constexpr int kPadProfileIds[] = {X::IDC_DEFAULT_PAD_PROFILE, X::IDC_TRANSPARENT_PROFILE};

// The dialog's controls and their fields, in the order of the exchange. The
// packet size list, the address, the closed user group and the link type are
// exchanged by the dialog: a list index, a cut text, an off value and one
// group for two flags.
constexpr FieldBinding kBindings[] = {
    {X::IDC_HIC, &R::m_nX25Hic, Exchange::kDigits},
    {X::IDC_L2_WINDOW, &R::m_nX25Layer2Window, Exchange::kDigits},
    {X::IDC_L3_WINDOW, &R::m_nX25Layer3Window, Exchange::kDigits},
    {X::IDC_PACKET_SIZE, &R::m_nX25PacketSize, Exchange::kNone},
    {X::IDC_LCN, &R::m_nX25Lcn, Exchange::kDigits},
    {X::IDC_LIC, &R::m_nX25Lic, Exchange::kDigits},
    {X::IDC_USE_PAD, &R::m_bX25UsePad},
    {X::IDC_SEND_RESTART, &R::m_bX25SendRestart},
    {X::IDC_TEI, &R::m_nX25Tei, Exchange::kDigits},
    {X::IDC_PAD_CALL, &R::m_bX25PadCall},
    {X::IDC_WAIT_RESTART, &R::m_nX25WaitRestart, Exchange::kList},
    {X::IDC_ADDRESS, &R::m_strX25Address, Exchange::kNone},
    {X::IDC_CUG_NUMBER, &R::m_nX25CugNumber, Exchange::kNone, 0, kCugIds},
    {X::IDC_PVC, &R::m_bX25Pvc, Exchange::kNone, 0, kLinkIds},
    {X::IDC_SPVC, &R::m_bX25Spvc, Exchange::kNone, 0, kLinkIds},
    {X::IDC_DEFAULT_PAD_PROFILE, &R::m_bX25TransparentProfile, Exchange::kRadio, 0, kPadProfileIds},
};

const RecordField& Field(int id) {
    return FieldOf(*BindingOf(kBindings, id));
}

QRadioButton* Radio(QWidget* parent, int id, std::string_view caption) {
    auto* radio = new QRadioButton(Text(caption), parent);
    SetControlId(radio, id);
    return radio;
}

CChoiceList* List(QWidget* parent, int id, std::initializer_list<std::string_view> items) {
    auto* list = new CChoiceList(parent);
    SetControlId(list, id);
    for (const std::string_view item : items) {
        list->addItem(Text(item));
    }
    return list;
}

// A control of a row: named after its caption and, where the row sits in a
// group (the window size is in both layers), the group's title.
void NameRow(QWidget* box, QLabel* label, QWidget* control) {
    auto* group = qobject_cast<QGroupBox*>(box);
    NameControl(control, {label->text(), group != nullptr ? group->title() : QString()}, label);
}

// "caption [list]" as the next row of grid.
void AddListRow(QWidget* box, QGridLayout* grid, std::string_view caption, CChoiceList* list) {
    const int row = grid->rowCount();
    auto* label = new QLabel(Text(caption), box);
    NameRow(box, label, list);
    grid->addWidget(label, row, 0);
    grid->addWidget(list, row, 1, 1, 2, Qt::AlignLeft);
}

}  // namespace

CX25PropertiesDialog::CX25PropertiesDialog(const CDeviceConfig& record, QWidget* parent)
    : CDialog(parent) {
    record_.CopyFrom(record);
    setWindowTitle(Text(res::kTextX25Caption));
    InstallContextHelp(this, kHelpX25);

    // Left: the link type and the parameters of both layers.
    auto* left = new QVBoxLayout();
    auto* link = new QGroupBox(Text(res::kTextLinkType), this);
    auto* lh = new QHBoxLayout(link);
    for (const auto& [id, caption] :
         {std::pair{IDC_SVC, res::kTextSvc}, std::pair{IDC_PVC, res::kTextPvc},
          std::pair{IDC_SPVC, res::kTextSpvc}}) {
        lh->addWidget(Radio(link, id, caption));
    }
    lh->addStretch(1);
    left->addWidget(link);
    left->addWidget(SectionLabel(this, res::kTextParameters));

    auto* layer2 = new QGroupBox(Text(res::kTextLayer2), this);
    auto* g2 = new QGridLayout(layer2);
    AddNumberRow(layer2, g2, res::kTextTei, IDC_TEI, IDC_TEI_SPIN);
    AddNumberRow(layer2, g2, res::kTextWindowSize, IDC_L2_WINDOW, IDC_L2_WINDOW_SPIN);
    g2->setColumnStretch(3, 1);
    left->addWidget(layer2);

    auto* layer3 = new QGroupBox(Text(res::kTextLayer3), this);
    auto* g3 = new QGridLayout(layer3);
    AddListRow(layer3, g3, res::kTextPacketSize,
               List(layer3, IDC_PACKET_SIZE,
                    {res::kTextPacketSize16, res::kTextPacketSize32, res::kTextPacketSize64,
                     res::kTextPacketSize128}));
    AddNumberRow(layer3, g3, res::kTextWindowSize, IDC_L3_WINDOW, IDC_L3_WINDOW_SPIN);
    AddNumberRow(layer3, g3, res::kTextLcn, IDC_LCN, IDC_LCN_SPIN);
    AddNumberRow(layer3, g3, res::kTextLic, IDC_LIC, IDC_LIC_SPIN);
    AddNumberRow(layer3, g3, res::kTextHic, IDC_HIC, IDC_HIC_SPIN);
    AddListRow(
        layer3, g3, res::kTextWaitForRestart,
        List(layer3, IDC_WAIT_RESTART,
             {res::kTextDontWait, res::kTextWait1Sec, res::kTextWait5Sec, res::kTextWait20Sec}));
    g3->addWidget(CheckBox(layer3, IDC_SEND_RESTART, res::kTextSendRestart), g3->rowCount(), 0, 1,
                  3);
    g3->setColumnStretch(3, 1);
    left->addWidget(layer3);
    left->addStretch(1);

    // Right: the facilities and the PAD options.
    auto* right = new QVBoxLayout();
    right->addWidget(SectionLabel(this, res::kTextFacilities));
    auto* facilities = new QWidget(this);
    auto* gf = new QGridLayout(facilities);
    gf->setContentsMargins(0, 0, 0, 0);
    QCheckBox* cug = CheckBox(facilities, IDC_ENABLE_CUG, res::kTextEnableCug);
    connect(cug, &QCheckBox::clicked, this, [this] { OnCugClicked(); });
    gf->addWidget(cug, 0, 0, 1, 3);
    AddNumberRow(facilities, gf, res::kTextCugNumber, IDC_CUG_NUMBER, IDC_CUG_SPIN);
    const int address_row = gf->rowCount();
    auto* address_label = new QLabel(Text(res::kTextX121Address), facilities);
    gf->addWidget(address_label, address_row, 0);
    auto* address = new QLineEdit(facilities);
    NameRow(facilities, address_label, address);
    SetControlId(address, IDC_ADDRESS);
    address->setMaxLength(params::kX25AddressLengthMax);
    address->installEventFilter(this);
    gf->addWidget(address, address_row, 1, 1, 3);
    gf->setColumnStretch(3, 1);
    right->addWidget(facilities);

    right->addWidget(SectionLabel(this, res::kTextOptions));
    auto* pad = new QGroupBox(Text(res::kTextPad), this);
    auto* pv = new QVBoxLayout(pad);
    pv->addWidget(CheckBox(pad, IDC_USE_PAD, res::kTextUsePad));
    pv->addWidget(CheckBox(pad, IDC_PAD_CALL, res::kTextMakePadCall));
    pv->addWidget(Radio(pad, IDC_DEFAULT_PAD_PROFILE, res::kTextDefaultPadProfile));
    pv->addWidget(Radio(pad, IDC_TRANSPARENT_PROFILE, res::kTextDefaultTransparentProfile));
    right->addWidget(pad);
    right->addStretch(1);

    auto* columns = new QHBoxLayout();
    columns->addLayout(left);
    columns->addSpacing(12);
    columns->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(MakeOkCancelRow());
}

std::span<const FieldBinding> CX25PropertiesDialog::Bindings() {
    return kBindings;
}

int CX25PropertiesDialog::Value(int id) const {
    return IntValue(record_, *BindingOf(kBindings, id));
}

void CX25PropertiesDialog::SetValue(int id, int value) {
    SetInt(record_, *BindingOf(kBindings, id), value);
}

QLineEdit* CX25PropertiesDialog::AddNumberRow(QWidget* box, QGridLayout* grid,
                                              std::string_view caption, int id, int spin_id) {
    const int row = grid->rowCount();
    // Wide enough for the largest value of the field, "255" or "99".
    const int length = static_cast<int>(std::to_string(Field(id).hi).size());
    QLineEdit* edit = DigitsEdit(box, id, length, kNumberWidth);
    auto* spin = new CSpinButton(box, spin_id, edit);
    spins_.emplace_back(spin, id);
    auto* label = new QLabel(Text(caption), box);
    NameRow(box, label, edit);
    spin->NameAfterBuddy();
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(spin, row, 2);
    return edit;
}

bool CX25PropertiesDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    for (const auto& [spin, id] : spins_) {
        spin->SetRange(Field(id).lo, Field(id).hi);
        DescribeControl(GetDlgItem(id),
                        {QString::fromStdString(res::FormatLimits(Field(id).lo, Field(id).hi))});
    }
    // The table's rule, then the box's own for the number.
    EnableFields(this, record_, kBindings);
    const bool cug = Value(IDC_CUG_NUMBER) != params::kX25CugOff;
    GetDlgItem(IDC_CUG_NUMBER)->setEnabled(GetDlgItem(IDC_ENABLE_CUG)->isEnabled() && cug);
    if (cug) {
        Item<QCheckBox>(IDC_ENABLE_CUG)->setChecked(true);
    } else {
        Item<QLineEdit>(IDC_CUG_NUMBER)->setText(QStringLiteral("0"));
    }
    return true;
}

void CX25PropertiesDialog::OnCugClicked() {
    GetDlgItem(IDC_CUG_NUMBER)
        ->setEnabled(GetDlgItem(IDC_ENABLE_CUG)->isEnabled() &&
                     Item<QCheckBox>(IDC_ENABLE_CUG)->isChecked());
}

bool CX25PropertiesDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && watched == GetDlgItem(IDC_ADDRESS)) {
        auto* edit = Item<QLineEdit>(IDC_ADDRESS);
        edit->setText(QString::fromStdString(params::LeadingDigits(edit->text().toStdString())));
    }
    return CDialog::eventFilter(watched, event);
}

void CX25PropertiesDialog::OnOK() {
    const bool cug = Item<QCheckBox>(IDC_ENABLE_CUG)->isChecked();
    if (!UpdateData(true)) {
        return;
    }
    if (!cug) {
        SetValue(IDC_CUG_NUMBER, params::kX25CugOff);
    }
    EndDialog(QDialog::Accepted);
}

void CX25PropertiesDialog::DoDataExchange(CDataExchange& dx) {
    const bool save = dx.m_bSaveAndValidate;
    dx.Check(IDC_ENABLE_CUG, m_bCugEnabled);
    ExchangeFields(dx, this, record_, kBindings);
    // The list holds the sizes from the record's smallest code on; nothing
    // chosen is no value to send.
    int packet = Value(IDC_PACKET_SIZE) - params::kX25PacketSizeBase;
    dx.CBIndex(IDC_PACKET_SIZE, packet);
    if (save && !dx.Failed() && packet >= 0) {
        SetValue(IDC_PACKET_SIZE, packet + params::kX25PacketSizeBase);
    }
    std::string address = TextValue(record_, *BindingOf(kBindings, IDC_ADDRESS));
    dx.Text(IDC_ADDRESS, address);
    if (save && !dx.Failed()) {
        // OK by Enter leaves the edit without a focus loss: the same cut applies,
        // so only digits ever reach the device's command line.
        TextValue(record_, *BindingOf(kBindings, IDC_ADDRESS)) = params::LeadingDigits(address);
    }
    // A number the closed user group is off for is not asked about: OK gives
    // 255 then, whatever the disabled edit holds.
    if (!save || m_bCugEnabled != 0) {
        int cug = Value(IDC_CUG_NUMBER);
        dx.IntRange(IDC_CUG_NUMBER, cug, Field(IDC_CUG_NUMBER).lo, Field(IDC_CUG_NUMBER).hi);
        if (save && !dx.Failed()) {
            SetValue(IDC_CUG_NUMBER, cug);
        }
    }
    // PVC wins over SPVC; no button checked keeps both flags.
    int link = Value(IDC_PVC) != 0 ? kLinkPvc : Value(IDC_SPVC) != 0 ? kLinkSpvc : kLinkSvc;
    dx.Radio({IDC_SVC, IDC_PVC, IDC_SPVC}, link);
    if (save && !dx.Failed() && link >= 0) {
        SetValue(IDC_PVC, link == kLinkPvc ? 1 : 0);
        SetValue(IDC_SPVC, link == kLinkSpvc ? 1 : 0);
    }
}

}  // namespace vardex::ui
