// "About varDex Configuration Manager": the icon, the name, the version line
// and the version of this build (the one --version prints).
#pragma once

#include "ui/dialog.h"

namespace vardex::ui {

class CAboutDialog : public CDialog {
public:
    static constexpr int IDC_VERSION = 1050;
    static constexpr int IDC_BUILD = 1051;
    explicit CAboutDialog(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
};

}  // namespace vardex::ui
