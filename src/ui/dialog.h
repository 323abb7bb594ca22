// The thin dialog layer: controls found by their numeric id, values exchanged
// between controls and members with validation, and modal runs that return 1
// (OK) or 2 (Cancel), as the device logic and the pages expect.
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace vardex::ui {

// A text of the string table (UTF-8) as the widgets take it.
inline QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A message about a control's value, led by the control's name as a screen
// reader says it ("Flash Duration: Valid limits: 20 - 100"), so that the
// box says which field it means.
std::string FieldMessage(const QWidget* control, const std::string& message);

// Registers the program's icons, bitmaps and help pages (once; every dialog does).
void EnsureResources();

// Gives a control its numeric id; FindControl finds it among root's descendants
// (root itself included).
void SetControlId(QWidget* control, int id);
int ControlId(const QWidget* control);
QWidget* FindControl(const QWidget* root, int id);

// One exchange between a dialog's controls and its members. Saving validates:
// the first value that does not pass shows its message, puts the focus on its
// control and marks the exchange failed; later calls of the same exchange then
// do nothing, so a member is never overwritten after a failure.
class CDataExchange {
public:
    CDataExchange(QWidget* root, bool save) : m_bSaveAndValidate(save), root_(root) {}

    const bool m_bSaveAndValidate;
    bool Failed() const { return failed_; }

    // Edit or static text.
    void Text(int id, std::string& value);
    // Edit holding a signed integer ("%d").
    void Int(int id, int& value);
    // Signed integer that must lie in min..max ("Please enter an integer between
    // %1 and %2.").
    void IntRange(int id, int& value, int min, int max);
    // Edit holding a number of digits only ("Please enter a positive integer.").
    void UInt(int id, int& value);
    // Number of digits only that must lie in min..max: text that is not one is
    // reported as by UInt, a number outside as by IntRange.
    void UIntRange(int id, int& value, int min, int max);
    // Selected index of a drop-down list; -1 for none.
    void CBIndex(int id, int& index);
    // Check box: 0 or 1.
    void Check(int id, int& value);
    // Radio group: the index of the checked button among ids, -1 for none.
    void Radio(std::initializer_list<int> ids, int& value);
    // A check of the dialog's own: fails the exchange on control id with message,
    // as a value out of range does.
    void FailWith(int id, const std::string& message);

private:
    QWidget* Control(int id);
    // The edit of a number control when its text is to be read; when loading,
    // the value is shown and there is nothing to read (null, as without an edit).
    QLineEdit* NumberToRead(int id, int value);
    void Fail(QWidget* control, const std::string& message);

    QWidget* root_;
    bool failed_ = false;
};

// The control ids of a dialog's OK and Cancel buttons (Enter and Esc reach
// them as well).
inline constexpr int kOkButton = 1;
inline constexpr int kCancelButton = 2;

// A dialog in the device logic's vocabulary.
class CDialog : public QDialog {
public:
    explicit CDialog(QWidget* parent = nullptr);

    // Initialises the dialog (OnInitDialog), runs it modally and returns what
    // EndDialog was given: QDialog::Accepted for OK, QDialog::Rejected for
    // Cancel and for a dialog closed any other way.
    virtual int DoModal();
    void EndDialog(int result);
    bool Ended() const { return ended_; }

    QWidget* GetDlgItem(int id) const { return FindControl(this, id); }
    template <typename T>
    T* Item(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    // Controls to members (save) or members to controls; false when a value did
    // not pass its validation.
    bool UpdateData(bool save = true);

    // A push button with an id, wired to OnCommand.
    QPushButton* MakeButton(int id, const QString& text);
    // The usual row at the foot of a dialog: OK (the default) and Cancel at the
    // right. The caller adds it to its layout, and may add buttons of its own.
    QHBoxLayout* MakeOkCancelRow();

    // Esc, the close box and the button boxes arrive here.
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

    // Tests: called from inside every modal run (from the dialog's own event
    // loop, once it runs) with the dialog; it may press buttons.
    using ModalHook = std::function<void(CDialog*)>;
    static void SetModalHook(ModalHook hook);

protected:
    virtual void DoDataExchange(CDataExchange&) {}
    // Before the modal loop starts; the base loads the controls from the members.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // A push button made by MakeButton other than OK and Cancel.
    virtual void OnCommand(int) {}
    // Each captioned control but OK and Cancel (Enter and Esc stand for them)
    // gets an access key, when the dialog is first shown.
    virtual void AssignAccessKeys();
    void showEvent(QShowEvent* event) override;

private:
    bool keys_assigned_ = false;
    bool ended_ = false;
    int result_ = QDialog::Rejected;
};

}  // namespace vardex::ui
