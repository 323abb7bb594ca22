#include "storage_confirm_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/framework/help.h"
#include "res/strings.h"

namespace vardex::ui {

CStorageConfirmDialog::CStorageConfirmDialog(QWidget* parent) : CDialog(parent) {
    setWindowTitle(Text(res::kTextStorageCaption));
    QString intro = Text(res::kTextStorageIntro);
    intro.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto* label = new QLabel(intro, this);
    label->setWordWrap(true);

    auto* group = new QGroupBox(Text(res::kTextDestinationProfile), this);
    auto* radios = new QHBoxLayout(group);
    const std::string_view names[] = {res::kTextStorageProfile0, res::kTextStorageProfile1,
                                      res::kTextStorageProfile2, res::kTextStorageProfile3};
    auto* check = new QCheckBox(Text(res::kTextMakePowerUpCheck), this);
    SetControlId(check, IDC_MAKE_POWER_UP);
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(Text(names[i]), group);
        SetControlId(radio, IDC_PROFILE0 + i);
        connect(radio, &QRadioButton::clicked, check, [check] { check->setEnabled(true); });
        radios->addWidget(radio);
    }
    auto* power_up = new QGroupBox(Text(res::kTextMakePowerUpGroup), this);
    auto* pl = new QVBoxLayout(power_up);
    check->setParent(power_up);
    pl->addWidget(check);

    QHBoxLayout* buttons = MakeOkCancelRow();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(group);
    layout->addWidget(power_up);
    layout->addLayout(buttons);
}

void CStorageConfirmDialog::DoDataExchange(CDataExchange& dx) {
    dx.Check(IDC_MAKE_POWER_UP, m_bMakePowerUp);
    dx.Radio({IDC_PROFILE0, IDC_PROFILE0 + 1, IDC_PROFILE0 + 2, IDC_PROFILE0 + 3}, m_nDestination);
}

bool CStorageConfirmDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_nDestination < 0) {
        GetDlgItem(IDC_MAKE_POWER_UP)->setEnabled(false);
    }
    return true;
}

void StorageDialogStart(int destination, int power_up, int* dialog_destination,
                        int* make_power_up) {
    *dialog_destination = destination - 1;
    *make_power_up = destination == power_up + 1 ? 1 : 0;
}

void StorageDialogApply(int result, int dialog_destination, int make_power_up, int* destination,
                        int* power_up) {
    if (result != 1) {
        return;
    }
    *destination = dialog_destination + 1;
    // Without a profile there is nothing to make the power-up profile: a box
    // left checked must not clear the power-up choice.
    if (make_power_up == 1 && dialog_destination >= 0) {
        *power_up = dialog_destination;
    }
}

void ConfirmStorage(QWidget* parent, int* destination, int* power_up) {
    CStorageConfirmDialog dialog(parent);
    StorageDialogStart(*destination, *power_up, &dialog.m_nDestination, &dialog.m_bMakePowerUp);
    const int result = dialog.DoModal();
    StorageDialogApply(result, dialog.m_nDestination, dialog.m_bMakePowerUp, destination, power_up);
}

}  // namespace vardex::ui
