// "Sure you want to cancel the job?" with Yes (1) and No (2).
#pragma once

#include "ui/dialog.h"

namespace vardex::ui {

class CCancelConfirmDialog : public CDialog {
public:
    explicit CCancelConfirmDialog(QWidget* parent = nullptr);
};

}  // namespace vardex::ui
