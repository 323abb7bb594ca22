// Message boxes captioned with the application's name, as every message of the
// program is. Tests replace the box with a scripted answer.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "link/user_prompts.h"

class QWidget;

namespace vardex::ui {

// Dialog results, as the device logic counts them.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class MessageButtons { Ok, YesNo };

// "varDex Configuration Manager".
QString AppName();

// Shows text with icon and buttons, modal to parent (or to the application when
// parent is null). Returns IDOK, IDYES or IDNO; closing a Yes/No box counts as
// No. GUI thread only.
int AppMessageBox(QWidget* parent, const std::string& text, MessageIcon icon,
                  MessageButtons buttons = MessageButtons::Ok);

// A test's stand-in for the box: gets what would be shown and returns the button.
struct MessageBoxCall {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
};
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace vardex::ui
