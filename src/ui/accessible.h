// What a screen reader says of a control, composed in one place from the texts
// the person sees, and the keys that change a sheet's pages from anywhere in it.
#pragma once

#include <QChar>
#include <QString>
#include <initializer_list>
#include <set>
#include <vector>

class QLabel;
class QTabWidget;
class QWidget;

namespace vardex::ui {

// A caption as it is read: without its mnemonic marker and trailing colon.
QString SpokenText(const QString& caption);

// "Caption, Qualifier, ...": where one label serves a row or a column, the
// row's or column's caption follows the label's. Empty parts are left out.
QString ComposedName(std::initializer_list<QString> parts);

// Names control from parts (ComposedName); label, when given, becomes the
// control's buddy, so that its mnemonic moves the focus to the control.
void NameControl(QWidget* control, std::initializer_list<QString> parts, QLabel* label = nullptr);

// The description read after the name, where the label alone is unclear
// (units, limits): its parts as spoken, joined like a name.
void DescribeControl(QWidget* control, std::initializer_list<QString> parts);

// The focus moves through controls in this order: the reading order, where it
// differs from the order the controls were made in.
void SetTabOrder(const std::vector<QWidget*>& controls);

// Access keys, the Alt+letter of a caption. The captioned controls of root's
// window in the order they were made: buttons with a text, labels that lead to
// a control, checkable group boxes.
std::vector<QWidget*> CaptionedControls(const QWidget* root);
// The key a caption marks, lower case; null for none ("&&" is an ampersand).
QChar AccessKeyOf(const QString& caption);
// The keys (lower case) the captions of controls mark already.
std::set<QChar> KeysIn(const std::vector<QWidget*>& controls);
// caption with a key of its own marked: a word's first letter where one is
// free, else any free letter or digit; taken grows by it. A caption that marks
// one already, or has no free character, is returned as it is.
QString WithAccessKey(const QString& caption, std::set<QChar>& taken);
// Every control without a key gets one (WithAccessKey), in their order, after
// the keys they mark already have been added to taken. The texts are not
// changed otherwise.
void GiveAccessKeys(const std::vector<QWidget*>& controls, std::set<QChar>& taken);

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown and Ctrl+PageUp move to the next or
// previous page of tabs from wherever the focus is in window, also from a
// control that takes the plain keys for itself.
void InstallPageKeys(QWidget* window, QTabWidget* tabs);

}  // namespace vardex::ui
