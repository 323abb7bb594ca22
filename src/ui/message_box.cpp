#include "message_box.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include "dialog.h"
#include "res/strings.h"

using namespace vardex::link;

namespace vardex::ui {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

QString AppName() {
    return QString::fromStdString(std::string(res::LoadString(res::IDS_APP_TITLE)));
}

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

QMessageBox::StandardButton AppMessageBox(QWidget* parent, const std::string& text,
                                          MessageIcon icon, MessageButtons buttons) {
    if (Hook()) {
        return Hook()(MessageBoxCall{text, icon, buttons});
    }
    QMessageBox box(parent);
    box.setWindowTitle(AppName());
    // The string table writes some line breaks as a lone CR.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    switch (icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    // The box sizes itself to its text: without room for its title a short
    // message's caption is cut by the desktop.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int title =
            box.fontMetrics().horizontalAdvance(AppName()) * 5 / 4 + 6 * box.fontMetrics().height();
        grid->addItem(new QSpacerItem(title, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (buttons == MessageButtons::DiscardApplyKeep) {
        QPushButton* discard = box.addButton(Text(res::kTextDiscard), QMessageBox::DestructiveRole);
        QPushButton* apply = box.addButton(Text(res::kTextApply), QMessageBox::AcceptRole);
        QPushButton* keep = box.addButton(Text(res::kTextKeepEditing), QMessageBox::RejectRole);
        box.setDefaultButton(apply);
        box.setEscapeButton(keep);
        box.exec();
        if (box.clickedButton() == discard) {
            return QMessageBox::Discard;
        }
        return box.clickedButton() == apply ? QMessageBox::Apply : QMessageBox::Cancel;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return QMessageBox::Ok;
}

}  // namespace vardex::ui
