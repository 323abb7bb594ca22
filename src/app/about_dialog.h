// "About varDex Configuration Manager": the icon, the name and the version line.
#pragma once

#include "ui/dialog.h"

namespace vardex::ui {

class CAboutDialog : public CDialog {
public:
    static constexpr int IDC_VERSION = 1050;
    explicit CAboutDialog(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
};

}  // namespace vardex::ui
