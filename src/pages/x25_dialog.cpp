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
#include "ui/choice_list.h"
#include "ui/help.h"

namespace vardex::ui {

namespace {

constexpr int kNumberWidth = 44;

const RecordField& Field(int CDeviceConfig::*member) {
    return *FieldOf(member);
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

// "caption [list]" as the next row of grid.
void AddListRow(QWidget* box, QGridLayout* grid, std::string_view caption, CChoiceList* list) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(Text(caption), box), row, 0);
    grid->addWidget(list, row, 1, 1, 2, Qt::AlignLeft);
}

}  // namespace

CX25PropertiesDialog::CX25PropertiesDialog(QWidget* parent) : CDialog(parent) {
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
    AddNumberRow(layer2, g2, res::kTextTei, IDC_TEI, IDC_TEI_SPIN, &CDeviceConfig::m_nX25Tei);
    AddNumberRow(layer2, g2, res::kTextWindowSize, IDC_L2_WINDOW, IDC_L2_WINDOW_SPIN,
                 &CDeviceConfig::m_nX25Layer2Window);
    g2->setColumnStretch(3, 1);
    left->addWidget(layer2);

    auto* layer3 = new QGroupBox(Text(res::kTextLayer3), this);
    auto* g3 = new QGridLayout(layer3);
    AddListRow(layer3, g3, res::kTextPacketSize,
               List(layer3, IDC_PACKET_SIZE,
                    {res::kTextPacketSize16, res::kTextPacketSize32, res::kTextPacketSize64,
                     res::kTextPacketSize128}));
    AddNumberRow(layer3, g3, res::kTextWindowSize, IDC_L3_WINDOW, IDC_L3_WINDOW_SPIN,
                 &CDeviceConfig::m_nX25Layer3Window);
    AddNumberRow(layer3, g3, res::kTextLcn, IDC_LCN, IDC_LCN_SPIN, &CDeviceConfig::m_nX25Lcn);
    AddNumberRow(layer3, g3, res::kTextLic, IDC_LIC, IDC_LIC_SPIN, &CDeviceConfig::m_nX25Lic);
    AddNumberRow(layer3, g3, res::kTextHic, IDC_HIC, IDC_HIC_SPIN, &CDeviceConfig::m_nX25Hic);
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
    AddNumberRow(facilities, gf, res::kTextCugNumber, IDC_CUG_NUMBER, IDC_CUG_SPIN,
                 &CDeviceConfig::m_nX25CugNumber);
    const int address_row = gf->rowCount();
    gf->addWidget(new QLabel(Text(res::kTextX121Address), facilities), address_row, 0);
    auto* address = new QLineEdit(facilities);
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

QLineEdit* CX25PropertiesDialog::AddNumberRow(QWidget* box, QGridLayout* grid,
                                              std::string_view caption, int id, int spin_id,
                                              int CDeviceConfig::*field) {
    const int row = grid->rowCount();
    // Wide enough for the largest value of the field, "255" or "99".
    const int length = static_cast<int>(std::to_string(Field(field).hi).size());
    QLineEdit* edit = DigitsEdit(box, id, length, kNumberWidth);
    auto* spin = new CSpinButton(box, spin_id, edit);
    spins_.push_back({spin, field});
    grid->addWidget(new QLabel(Text(caption), box), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(spin, row, 2);
    return edit;
}

bool CX25PropertiesDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    for (const Spin& spin : spins_) {
        spin.button->SetRange(Field(spin.field).lo, Field(spin.field).hi);
    }
    const bool cug = m_nCugNumber != params::kX25CugOff;
    GetDlgItem(IDC_CUG_NUMBER)->setEnabled(cug);
    if (cug) {
        Item<QCheckBox>(IDC_ENABLE_CUG)->setChecked(true);
    } else {
        Item<QLineEdit>(IDC_CUG_NUMBER)->setText(QStringLiteral("0"));
    }
    return true;
}

void CX25PropertiesDialog::OnCugClicked() {
    GetDlgItem(IDC_CUG_NUMBER)->setEnabled(Item<QCheckBox>(IDC_ENABLE_CUG)->isChecked());
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
        m_nCugNumber = params::kX25CugOff;
    }
    EndDialog(QDialog::Accepted);
}

void CX25PropertiesDialog::DoDataExchange(CDataExchange& dx) {
    const auto number = [&dx](int id, int& value, int CDeviceConfig::*field) {
        dx.UIntRange(id, value, Field(field).lo, Field(field).hi);
    };
    dx.Check(IDC_ENABLE_CUG, m_bCugEnabled);
    number(IDC_HIC, m_nHic, &CDeviceConfig::m_nX25Hic);
    number(IDC_L2_WINDOW, m_nLayer2Window, &CDeviceConfig::m_nX25Layer2Window);
    number(IDC_L3_WINDOW, m_nLayer3Window, &CDeviceConfig::m_nX25Layer3Window);
    dx.CBIndex(IDC_PACKET_SIZE, m_nPacketSize);
    number(IDC_LCN, m_nLcn, &CDeviceConfig::m_nX25Lcn);
    number(IDC_LIC, m_nLic, &CDeviceConfig::m_nX25Lic);
    dx.Check(IDC_USE_PAD, m_bUsePad);
    dx.Check(IDC_SEND_RESTART, m_bSendRestart);
    number(IDC_TEI, m_nTei, &CDeviceConfig::m_nX25Tei);
    dx.Check(IDC_PAD_CALL, m_bPadCall);
    dx.CBIndex(IDC_WAIT_RESTART, m_nWaitRestart);
    std::string address = m_strAddress;
    dx.Text(IDC_ADDRESS, address);
    if (dx.m_bSaveAndValidate && !dx.Failed()) {
        // OK by Enter leaves the edit without a focus loss: the same cut applies,
        // so only digits ever reach the device's command line.
        m_strAddress = params::LeadingDigits(address);
    }
    // A number the closed user group is off for is not asked about: OK gives
    // 255 then, whatever the disabled edit holds.
    if (!dx.m_bSaveAndValidate || m_bCugEnabled != 0) {
        const RecordField& cug = Field(&CDeviceConfig::m_nX25CugNumber);
        dx.IntRange(IDC_CUG_NUMBER, m_nCugNumber, cug.lo, cug.hi);
    }
    dx.Radio({IDC_SVC, IDC_PVC, IDC_SPVC}, m_nLinkType);
    dx.Radio({IDC_DEFAULT_PAD_PROFILE, IDC_TRANSPARENT_PROFILE}, m_nPadProfile);
}

}  // namespace vardex::ui
