#include "upgrade_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/firmware_upgrade.h"
#include "link/at_commands.h"
#include "params/app_core.h"
#include "params/country_variant.h"
#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/choice_list.h"
#include "ui/help.h"
#include "ui/message_box.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::ui {

namespace {

QLineEdit* ReadOnlyEdit(QWidget* parent, int id, int min_width = 0) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    // The dialog's own colour behind the text: nothing here to type into.
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
    SetControlId(edit, id);
    if (min_width > 0) {
        edit->setMinimumWidth(min_width);
    }
    return edit;
}

QComboBox* DropDown(QWidget* parent, int id, std::initializer_list<std::string_view> items) {
    // Only a choice from the opened list counts: no recall, no profile choice on
    // a stray wheel turn or arrow key.
    auto* combo = new CChoiceList(parent);
    SetControlId(combo, id);
    for (const auto item : items) {
        combo->addItem(Text(item));
    }
    combo->setCurrentIndex(-1);
    return combo;
}

// A tall push button whose caption wraps over several lines.
QPushButton* BigButton(QWidget* parent, int id, std::string_view caption) {
    auto* button = new QPushButton(parent);
    SetControlId(button, id);
    auto* label = new QLabel(Text(caption), button);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QVBoxLayout(button);
    layout->addWidget(label);
    button->setMinimumSize(170, 64);
    // Taller where the caption wraps to more lines, as in a large font.
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    button->setAccessibleName(Text(caption));
    return button;
}
using P = CUpgradePage;
using R = CDeviceConfig;

// The identity and the counters are shown only; the destination list is the
// store profile ("Active Profile" is none), the power-up list the power-up
// profile ("Factory Defaults" is 4).
constexpr FieldBinding kBindings[] = {
    {P::IDC_COUNTRY, &R::m_strCountry, Exchange::kShown},
    {P::IDC_MODEL, &R::m_wModelVersion, Exchange::kShown},
    {P::IDC_HARDWARE, &R::m_wHardwareVersion, Exchange::kShown},
    {P::IDC_FIRMWARE, &R::m_wFirmwareVersion, Exchange::kShown},
    {P::IDC_CRC, &R::m_strCrc, Exchange::kShown},
    {P::IDC_LAST_PHONE1, &R::m_nLastCharge1, Exchange::kShown},
    {P::IDC_LAST_PHONE2, &R::m_nLastCharge2, Exchange::kShown},
    {P::IDC_LAST_DTE, &R::m_nLastChargeDte, Exchange::kShown},
    {P::IDC_TOTAL_PHONE1, &R::m_nTotalCharge1, Exchange::kShown},
    {P::IDC_TOTAL_PHONE2, &R::m_nTotalCharge2, Exchange::kShown},
    {P::IDC_TOTAL_DTE, &R::m_nTotalChargeDte, Exchange::kShown},
    {P::IDC_POWER_UP, &R::m_nPowerUpProfile, Exchange::kList},
    {P::IDC_DESTINATION, &R::m_nStoreProfile, Exchange::kList},
};

constexpr int R::*kCounters[] = {&R::m_nLastCharge1,  &R::m_nLastCharge2,  &R::m_nLastChargeDte,
                                 &R::m_nTotalCharge1, &R::m_nTotalCharge2, &R::m_nTotalChargeDte};

}  // namespace

CUpgradePage::CUpgradePage(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageInformation), kHelpInformation, kBindings),
      host_(host),
      welcome_(new QLabel(Text(res::kTextWelcome), this)) {
    SetControlId(welcome_, IDC_WELCOME);
    welcome_->setAlignment(Qt::AlignCenter);

    // General Information.
    auto* general = new QGroupBox(Text(res::kTextGeneralInformation), this);
    auto* g = new QGridLayout(general);
    const std::pair<std::string_view, int> identity[] = {
        {res::kTextCountry, IDC_COUNTRY},
        {res::kTextModelVersion, IDC_MODEL},
        {res::kTextHardwareVersion, IDC_HARDWARE},
        {res::kTextFirmwareVersion, IDC_FIRMWARE},
        {res::kTextCrc, IDC_CRC},
    };
    int row = 0;
    for (const auto& [label, id] : identity) {
        g->addWidget(new QLabel(Text(label), general), row, 0);
        g->addWidget(ReadOnlyEdit(general, id, 120), row, 1);
        NameControl(g->itemAtPosition(row, 1)->widget(), {Text(label)},
                    qobject_cast<QLabel*>(g->itemAtPosition(row, 0)->widget()));
        ++row;
    }
    auto* upgrade = new QPushButton(Text(res::kTextUpgradeButton), general);
    SetControlId(upgrade, IDC_UPGRADE);
    connect(upgrade, &QPushButton::clicked, this, [this] { OnCommand(IDC_UPGRADE); });
    g->addWidget(upgrade, row, 1, Qt::AlignRight);

    // Charging Information: a column per port, a row per counter.
    auto* charging = new QGroupBox(Text(res::kTextChargingInformation), this);
    auto* c = new QGridLayout(charging);
    c->addWidget(new QLabel(Text(res::kTextPhone1), charging), 0, 1, Qt::AlignHCenter);
    c->addWidget(new QLabel(Text(res::kTextPhone2), charging), 0, 2, Qt::AlignHCenter);
    c->addWidget(new QLabel(Text(res::kTextDtePort), charging), 0, 3, Qt::AlignHCenter);
    c->addWidget(new QLabel(Text(res::kTextLastCall), charging), 1, 0);
    c->addWidget(new QLabel(Text(res::kTextTotal), charging), 2, 0);
    const int counters[2][3] = {{IDC_LAST_PHONE1, IDC_LAST_PHONE2, IDC_LAST_DTE},
                                {IDC_TOTAL_PHONE1, IDC_TOTAL_PHONE2, IDC_TOTAL_DTE}};
    for (int r = 0; r < 2; ++r) {
        for (int col = 0; col < 3; ++col) {
            QLineEdit* edit = ReadOnlyEdit(charging, counters[r][col], 70);
            edit->setAlignment(Qt::AlignRight);
            NameControl(edit,
                        {qobject_cast<QLabel*>(c->itemAtPosition(r + 1, 0)->widget())->text(),
                         qobject_cast<QLabel*>(c->itemAtPosition(0, col + 1)->widget())->text()});
            c->addWidget(edit, r + 1, col + 1);
        }
    }
    auto* reset = new QPushButton(Text(res::kTextReset), charging);
    SetControlId(reset, IDC_RESET);
    connect(reset, &QPushButton::clicked, this, [this] { OnCommand(IDC_RESET); });
    c->addWidget(reset, 3, 3);

    // Profile Management.
    auto* profiles = new QGroupBox(Text(res::kTextProfileManagement), this);
    auto* p = new QGridLayout(profiles);
    QComboBox* source =
        DropDown(profiles, IDC_SOURCE,
                 {res::kTextActiveProfile, res::kTextProfile0, res::kTextProfile1,
                  res::kTextProfile2, res::kTextProfile3, res::kTextFactoryDefaults});
    QComboBox* destination = DropDown(profiles, IDC_DESTINATION,
                                      {res::kTextActiveProfile, res::kTextProfile0,
                                       res::kTextProfile1, res::kTextProfile2, res::kTextProfile3});
    QComboBox* power_up = DropDown(profiles, IDC_POWER_UP,
                                   {res::kTextProfile0, res::kTextProfile1, res::kTextProfile2,
                                    res::kTextProfile3, res::kTextFactoryDefaults});
    p->addWidget(new QLabel(Text(res::kTextSource), profiles), 0, 0);
    p->addWidget(new QLabel(Text(res::kTextDestination), profiles), 0, 1);
    p->addWidget(new QLabel(Text(res::kTextPowerUp), profiles), 0, 2);
    p->addWidget(source, 1, 0);
    p->addWidget(destination, 1, 1);
    p->addWidget(power_up, 1, 2);
    for (int col = 0; col < 3; ++col) {
        auto* label = qobject_cast<QLabel*>(p->itemAtPosition(0, col)->widget());
        NameControl(p->itemAtPosition(1, col)->widget(), {label->text()}, label);
    }
    // Only the person's choices count: loading the controls changes nothing.
    connect(source, &QComboBox::activated, this, [this] { OnRecallProfile(); });
    connect(destination, &QComboBox::activated, this, [this] { OnProfileChoice(); });
    connect(power_up, &QComboBox::activated, this, [this] { OnProfileChoice(); });

    // The right column: the picture, the two shortcuts and the help hint.
    auto* picture = new QLabel(this);
    SetControlId(picture, IDC_PICTURE);
    picture->setPixmap(QPixmap(QStringLiteral(":/bitmaps/vardex.png")));
    picture->setAlignment(Qt::AlignCenter);
    NameControl(picture, {Text(res::LoadString(res::IDS_APP_TITLE))});
    QPushButton* go_telephony = BigButton(this, IDC_GO_TELEPHONY, res::kTextChangeTelephony);
    QPushButton* go_connection = BigButton(this, IDC_GO_CONNECTION, res::kTextChangeConnection);
    connect(go_telephony, &QPushButton::clicked, this, [this] { OnCommand(IDC_GO_TELEPHONY); });
    connect(go_connection, &QPushButton::clicked, this, [this] { OnCommand(IDC_GO_CONNECTION); });
    auto* hint = new QLabel(Text(res::kTextPressF1), this);
    hint->setAlignment(Qt::AlignCenter);

    auto* left = new QVBoxLayout();
    left->addWidget(general);
    left->addWidget(charging);
    left->addWidget(profiles);
    left->addStretch(1);
    auto* right = new QVBoxLayout();
    right->addWidget(picture);
    right->addWidget(go_telephony);
    right->addWidget(go_connection);
    right->addStretch(1);
    right->addWidget(hint);
    auto* columns = new QHBoxLayout();
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(welcome_);
    layout->addLayout(columns, 1);
}

bool CUpgradePage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    // The greeting: bold, half again as tall (whole units, as the font sizes go).
    QFont font = welcome_->font();
    font.setWeight(QFont::Bold);
    if (font.pointSize() > 0) {
        font.setPointSize(font.pointSize() * 3 / 2);
    } else {
        font.setPixelSize(font.pixelSize() * 3 / 2);
    }
    welcome_->setFont(font);
    return true;
}

void CUpgradePage::DoDataExchange(CDataExchange& dx) {
    ExchangeBound(dx);
    dx.CBIndex(IDC_SOURCE, m_nSource);
}

void CUpgradePage::LoadFrom(const CDeviceConfig& r) {
    CRecordPage::LoadFrom(r);
    // A reset still to be written shows as done, as it did when it was asked.
    if (r.m_bResetCharges != 0) {
        for (int R::*counter : kCounters) {
            Record().*counter = 0;
        }
    }
    Record().m_nStoreProfile = 0;
}

void CUpgradePage::OnCommand(int id) {
    switch (id) {
        case IDC_UPGRADE:
            OnUpgrade();
            break;
        case IDC_GO_TELEPHONY:
            host_.SetActivePage(1);
            break;
        case IDC_GO_CONNECTION:
            host_.SetActivePage(2);
            break;
        case IDC_RESET:
            OnResetCharges();
            break;
        default:
            break;
    }
}

void CUpgradePage::OnOK() {
    // Changes that could not be written stay on screen: the sheet stays open.
    if (host_.WriteDevice()) {
        host_.EndWithOk();
    }
}

void CUpgradePage::SetLoaderMode(bool on) {
    for (const int id : {IDC_SOURCE, IDC_DESTINATION, IDC_POWER_UP, IDC_RESET, IDC_GO_TELEPHONY,
                         IDC_GO_CONNECTION}) {
        if (QWidget* control = GetDlgItem(id)) {
            control->setEnabled(!on);
        }
    }
}

void CUpgradePage::OnUpgrade() {
    if (vardex::params::VariantOf(host_.App().m_workingRecord).UpgradeKeptForOperator()) {
        AppMessageBox(this, std::string(res::kTextOperatorOnlyUpgrade), MessageIcon::Information);
        return;
    }
    if (AppMessageBox(this, std::string(res::LoadString(res::IDS_UPGRADE_WARNING)),
                      MessageIcon::Information, MessageButtons::YesNo) != QMessageBox::Yes) {
        return;
    }
    bool quiet = false;
    host_.RunDeviceJob(DeviceJob::kUpgrade, this, &quiet);
    host_.TransferRecord(0);
}

void CUpgradePage::OnRecallProfile() {
    UpdateData(true);
    // The recall goes out from the read job, once the device is identified: a
    // channel that an earlier failure closed is searched for again first, as
    // Apply does, instead of ending the program on a command with no reply.
    const std::string recall = m_nSource > 0 ? vardex::link::at::RecallProfile(m_nSource - 1) : "";
    bool quiet = false;
    const JobResult result = host_.RunDeviceJob(DeviceJob::kReadAll, this, &quiet, recall);
    if (result == JobResult::kDone) {
        m_nSource = 0;
        host_.TransferRecord(0);
    } else if (!quiet) {
        AppMessageBox(this, std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND)),
                      MessageIcon::Exclamation);
        host_.PostClose();
    }
}

void CUpgradePage::OnProfileChoice() {
    host_.App().m_workingRecord.m_bOtherModified = 1;
    SetModified(true);
    UpdateData(true);
}

void CUpgradePage::OnResetCharges() {
    CDeviceConfig& record = host_.App().m_workingRecord;
    record.m_bOtherModified = 1;
    record.m_bResetCharges = 1;
    // Shown as done at once; the counters themselves change on the write.
    UpdateData(true);
    for (int R::*counter : kCounters) {
        Record().*counter = 0;
    }
    UpdateData(false);
    SetModified(true);
}

}  // namespace vardex::ui
