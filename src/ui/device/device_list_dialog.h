// The list of varDex devices the search found, for the person to pick one.
#pragma once

#include <string>
#include <vector>

#include "ui/dialog.h"

class QListWidget;

namespace vardex::ui {

class CDeviceListDialog : public CDialog {
public:
    static constexpr int IDC_DEVICE_LIST = 1072;

    CDeviceListDialog(const std::string& caption, const std::string& prompt,
                      const std::vector<std::string>& names, QWidget* parent = nullptr);

    // After OK: the chosen item's position in the list.
    int Chosen() const { return chosen_; }
    QListWidget* List() const { return list_; }

protected:
    // No selection takes the only item; with several, asks for one and stays open.
    void OnOK() override;

private:
    QListWidget* list_;
    int chosen_ = -1;
};

}  // namespace vardex::ui
