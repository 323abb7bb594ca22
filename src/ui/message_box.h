// Message boxes captioned with the application's name, as every message of the
// program is. Tests replace the box with a scripted answer.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <string>

#include "link/user_prompts.h"

class QWidget;

namespace vardex::ui {

// DiscardApplyKeep: changes not yet applied, asked about before a window closes.
enum class MessageButtons { Ok, YesNo, DiscardApplyKeep };

// "varDex Configuration Manager".
QString AppName();

// Shows text with icon and buttons, modal to parent (or to the application when
// parent is null). Returns QMessageBox::Ok, Yes or No; closing a Yes/No box
// counts as No. DiscardApplyKeep returns Discard, Apply or Cancel (keep
// editing), which closing the box counts as. GUI thread only.
QMessageBox::StandardButton AppMessageBox(QWidget* parent, const std::string& text,
                                          link::MessageIcon icon,
                                          MessageButtons buttons = MessageButtons::Ok);

// A test's stand-in for the box: gets what would be shown and returns the button.
struct MessageBoxCall {
    std::string text;
    link::MessageIcon icon;
    MessageButtons buttons;
};
using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace vardex::ui
