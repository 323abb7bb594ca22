// "Confirm for Permanent Storage": into which stored profile an apply of edited
// settings goes, and whether that profile becomes the power-up profile.
#pragma once

#include "ui/dialog.h"

namespace vardex::ui {

class CStorageConfirmDialog : public CDialog {
public:
    static constexpr int IDC_PROFILE0 = 1073;  // 1073..1076: "Profile 0".."Profile 3"
    static constexpr int IDC_MAKE_POWER_UP = 1077;

    explicit CStorageConfirmDialog(QWidget* parent = nullptr);

    int m_bMakePowerUp = 0;
    int m_nDestination = -1;  // -1 none, 0..3

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
};

// The Information page's choices before (destination: 0 "Active Profile", 1..4
// "Profile #0".."#3"; power_up: 0..3 profiles, 4 "Factory Defaults") become the
// dialog's start values.
void StorageDialogStart(int destination, int power_up, int* dialog_destination, int* make_power_up);
// Applies the dialog's answer (QDialog::Accepted for OK) to the page's choices.
void StorageDialogApply(int result, int dialog_destination, int make_power_up, int* destination,
                        int* power_up);

// Asks with the dialog, modal to parent, and updates the two choices.
void ConfirmStorage(QWidget* parent, int* destination, int* power_up);

}  // namespace vardex::ui
