#include "device_list_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/message_box.h"

using namespace vardex::link;

namespace vardex::ui {

CDeviceListDialog::CDeviceListDialog(const std::string& caption, const std::string& prompt,
                                     const std::vector<std::string>& names, QWidget* parent)
    : CDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(QString::fromStdString(caption));
    // The prompt begins with a CR that only made room above it.
    auto* label = new QLabel(QString::fromStdString(prompt).trimmed(), this);
    label->setWordWrap(true);
    SetControlId(list_, IDC_DEVICE_LIST);
    NameControl(list_, {label->text()}, label);
    for (const std::string& name : names) {
        list_->addItem(QString::fromStdString(name));
    }
    list_->setMinimumSize(360, 140);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { OnOK(); });
    // The arrows choose at once: the list has the focus when the dialog opens.
    list_->setFocus(Qt::OtherFocusReason);
    QHBoxLayout* buttons = MakeOkCancelRow();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
}

void CDeviceListDialog::OnOK() {
    int row = list_->currentItem() != nullptr && list_->currentItem()->isSelected()
                  ? list_->currentRow()
                  : -1;
    if (row < 0 && list_->count() == 1) {
        row = 0;
    }
    if (row < 0) {
        AppMessageBox(this, std::string(res::LoadString(res::IDS_SELECT_DEVICE)),
                      MessageIcon::Exclamation);
        return;
    }
    chosen_ = row;
    EndDialog(QDialog::Accepted);
}

}  // namespace vardex::ui
