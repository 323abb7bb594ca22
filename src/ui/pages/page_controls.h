// Controls the pages and the X.25 dialog share: an edit that takes digits only,
// the up and down arrows beside it, check boxes with an id and bold headings.
#pragma once

#include <QWidget>
#include <string_view>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vardex::ui {

// The up and down arrows beside a number edit: each click steps the number in
// the edit within the range, and so do the Up and Down keys in the edit. The
// wheel does nothing here.
class CSpinButton : public QWidget {
public:
    CSpinButton(QWidget* parent, int id, QLineEdit* buddy);
    void SetRange(int lo, int hi);
    int Lower() const { return lo_; }
    int Upper() const { return hi_; }
    void Step(int delta);
    QLineEdit* Buddy() const { return buddy_; }
    // The arrows are read as the edit's name and their direction: call once
    // the edit has its name.
    void NameAfterBuddy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int lo_ = 0;
    int hi_ = 100;
};

// An edit with an id that refuses every character but a digit, and more than
// max_length of them.
QLineEdit* DigitsEdit(QWidget* parent, int id, int max_length, int width);
// The number in an edit; text that is not a number counts as 0.
int NumberIn(const QLineEdit* edit);
QCheckBox* CheckBox(QWidget* parent, int id, std::string_view caption);
// A heading in the dialog's font, bold.
QLabel* SectionLabel(QWidget* parent, std::string_view text);

}  // namespace vardex::ui
