#include "dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <climits>

#include "accessible.h"
#include "message_box.h"
#include "res/strings.h"

using namespace vardex::link;

// The resources live in a static library: nothing would pull them into a program
// unless something refers to them.
static void InitGuiResources() {
    Q_INIT_RESOURCE(gui);
}

namespace vardex::ui {

namespace {
constexpr const char* kIdProperty = "vardexControlId";

CDialog::ModalHook& Hook() {
    static CDialog::ModalHook hook;
    return hook;
}

bool ParseInt(const QString& text, long long* out) {
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok);
    if (!ok) {
        return false;
    }
    *out = v;
    return true;
}

std::string RangeMessage(int min, int max) {
    QString text = QString::fromUtf8(res::kTextIntegerRange.data(),
                                     static_cast<qsizetype>(res::kTextIntegerRange.size()));
    return text.arg(min).arg(max).toStdString();
}
}  // namespace

void SetControlId(QWidget* control, int id) {
    control->setProperty(kIdProperty, id);
}

int ControlId(const QWidget* control) {
    const QVariant v = control->property(kIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QWidget* FindControl(const QWidget* root, int id) {
    if (root == nullptr) {
        return nullptr;
    }
    if (ControlId(root) == id) {
        return const_cast<QWidget*>(root);
    }
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* child : children) {
        // A dialog owned by this one is a window of its own with its own ids.
        if (ControlId(child) == id && child->window() == root->window()) {
            return child;
        }
    }
    return nullptr;
}

std::string FieldMessage(const QWidget* control, const std::string& message) {
    const QString name = control != nullptr ? control->accessibleName() : QString();
    return name.isEmpty() ? message : name.toStdString() + ": " + message;
}

// ---- CDataExchange ----

QWidget* CDataExchange::Control(int id) {
    if (failed_) {
        return nullptr;
    }
    return FindControl(root_, id);
}

void CDataExchange::Fail(QWidget* control, const std::string& message) {
    failed_ = true;
    AppMessageBox(root_, FieldMessage(control, message), MessageIcon::Exclamation);
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->selectAll();
    }
}

void CDataExchange::FailWith(int id, const std::string& message) {
    if (QWidget* control = Control(id)) {
        Fail(control, message);
    }
}

void CDataExchange::Text(int id, std::string& value) {
    QWidget* c = Control(id);
    if (c == nullptr) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(c)) {
        if (m_bSaveAndValidate) {
            value = edit->text().toStdString();
        } else {
            edit->setText(QString::fromStdString(value));
        }
    } else if (auto* label = qobject_cast<QLabel*>(c)) {
        if (m_bSaveAndValidate) {
            value = label->text().toStdString();
        } else {
            label->setText(QString::fromStdString(value));
        }
    }
}

void CDataExchange::Int(int id, int& value) {
    IntRange(id, value, INT_MIN, INT_MAX);
}

QLineEdit* CDataExchange::NumberToRead(int id, int value) {
    auto* edit = qobject_cast<QLineEdit*>(Control(id));
    if (edit != nullptr && !m_bSaveAndValidate) {
        edit->setText(QString::number(value));
        return nullptr;
    }
    return edit;
}

void CDataExchange::IntRange(int id, int& value, int min, int max) {
    QLineEdit* edit = NumberToRead(id, value);
    if (edit == nullptr) {
        return;
    }
    long long v = 0;
    if (!ParseInt(edit->text(), &v) || v < min || v > max) {
        Fail(edit, RangeMessage(min, max));
        return;
    }
    value = static_cast<int>(v);
}

void CDataExchange::UInt(int id, int& value) {
    QLineEdit* edit = NumberToRead(id, value);
    if (edit == nullptr) {
        return;
    }
    const QString text = edit->text().trimmed();
    bool digits = !text.isEmpty();
    for (const QChar ch : text) {
        digits = digits && ch.isDigit();
    }
    long long v = 0;
    if (!digits || !ParseInt(text, &v) || v > INT_MAX) {
        Fail(edit, std::string(res::kTextPositiveInteger));
        return;
    }
    value = static_cast<int>(v);
}

void CDataExchange::UIntRange(int id, int& value, int min, int max) {
    int v = value;
    UInt(id, v);
    if (!m_bSaveAndValidate || failed_) {
        return;
    }
    if (v < min || v > max) {
        FailWith(id, RangeMessage(min, max));
        return;
    }
    value = v;
}

void CDataExchange::CBIndex(int id, int& index) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (combo == nullptr) {
        return;
    }
    if (m_bSaveAndValidate) {
        // A list with nothing chosen keeps what the member holds: -1 is no
        // choice, not a value to be written anywhere.
        if (combo->currentIndex() >= 0) {
            index = combo->currentIndex();
        }
    } else {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

void CDataExchange::Check(int id, int& value) {
    auto* box = qobject_cast<QAbstractButton*>(Control(id));
    if (box == nullptr) {
        return;
    }
    if (m_bSaveAndValidate) {
        value = box->isChecked() ? 1 : 0;
    } else {
        box->setChecked(value != 0);
    }
}

void CDataExchange::Radio(std::initializer_list<int> ids, int& value) {
    if (failed_) {
        return;
    }
    int index = 0;
    int checked = -1;
    for (const int id : ids) {
        auto* radio = qobject_cast<QAbstractButton*>(FindControl(root_, id));
        if (radio != nullptr) {
            if (m_bSaveAndValidate) {
                if (radio->isChecked() && checked < 0) {
                    checked = index;
                }
            } else {
                // Exclusive groups refuse to uncheck their checked button.
                const bool exclusive = radio->autoExclusive();
                radio->setAutoExclusive(false);
                radio->setChecked(index == value);
                radio->setAutoExclusive(exclusive);
            }
        }
        ++index;
    }
    if (m_bSaveAndValidate) {
        value = checked;
    }
}

// ---- CDialog ----

void EnsureResources() {
    static const bool done = [] {
        InitGuiResources();
        return true;
    }();
    (void)done;
}

CDialog::CDialog(QWidget* parent) : QDialog(parent) {
    EnsureResources();
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void CDialog::SetModalHook(ModalHook hook) {
    Hook() = std::move(hook);
}

int CDialog::DoModal() {
    ended_ = false;
    result_ = QDialog::Rejected;
    OnInitDialog();
    if (!ended_) {
        if (Hook()) {
            QTimer::singleShot(0, this, [this] {
                if (Hook() && !ended_) {
                    Hook()(this);
                }
            });
        }
        QDialog::exec();
    }
    return result_;
}

void CDialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
    QDialog::done(result);
}

bool CDialog::UpdateData(bool save) {
    CDataExchange dx(this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

QHBoxLayout* CDialog::MakeOkCancelRow() {
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    QPushButton* ok = MakeButton(kOkButton, Text(res::kTextOk));
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(MakeButton(kCancelButton, Text(res::kTextCancel)));
    return row;
}

QPushButton* CDialog::MakeButton(int id, const QString& text) {
    auto* button = new QPushButton(text, this);
    SetControlId(button, id);
    QObject::connect(button, &QPushButton::clicked, this, [this, id] {
        if (id == kOkButton) {
            OnOK();
        } else if (id == kCancelButton) {
            OnCancel();
        } else {
            OnCommand(id);
        }
    });
    return button;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::AssignAccessKeys() {
    std::vector<QWidget*> controls;
    for (QWidget* w : CaptionedControls(this)) {
        const int id = ControlId(w);
        if (id != kOkButton && id != kCancelButton) {
            controls.push_back(w);
        }
    }
    std::set<QChar> taken;
    GiveAccessKeys(controls, taken);
}

void CDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!keys_assigned_) {
        keys_assigned_ = true;
        AssignAccessKeys();
    }
    // A dialog opens with the focus on its first control, as the keyboard
    // would reach it, whatever the desktop activates first.
    if (focusWidget() == nullptr) {
        QWidget* w = nextInFocusChain();
        for (int guard = 0; w != this && guard < 10000; ++guard, w = w->nextInFocusChain()) {
            if (isAncestorOf(w) && w->window() == this && w->isVisibleTo(this) && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus) != 0) {
                setAttribute(Qt::WA_KeyboardFocusChange);
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
}

void CDialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(QDialog::Accepted);
    }
}

void CDialog::OnCancel() {
    EndDialog(QDialog::Rejected);
}

}  // namespace vardex::ui
