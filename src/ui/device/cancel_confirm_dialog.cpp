#include "cancel_confirm_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "res/strings.h"
#include "ui/accessible.h"

namespace vardex::ui {

CCancelConfirmDialog::CCancelConfirmDialog(QWidget* parent) : CDialog(parent) {
    setWindowTitle(Text(res::kTextCancelConfirmCaption));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/question.png")).pixmap(32, 32));
    auto* question = new QLabel(Text(res::kTextCancelConfirmQuestion), this);
    // The icon repeats the question for the eye.
    NameControl(icon, {question->text()});
    auto* top = new QHBoxLayout();
    top->addWidget(icon);
    top->addWidget(question, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    QPushButton* yes = MakeButton(kOkButton, Text(res::kTextYes));
    QPushButton* no = MakeButton(kCancelButton, Text(res::kTextNo));
    // A stray Enter must not stop the job.
    no->setDefault(true);
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

}  // namespace vardex::ui
