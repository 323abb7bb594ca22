#include "message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "res/strings.h"

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
