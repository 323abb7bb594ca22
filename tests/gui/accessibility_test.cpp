// Every page and dialog as a screen reader and a keyboard meet it: one walker
// over the widget tree, through Qt's own accessibility interface, applied to
// each window of the program on a variant with X.25 and on one without.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "app/about_dialog.h"
#include "gui_fixture.h"
#include "pages/page_controls.h"
#include "pages/telephony_page.h"

namespace vardex::test {
namespace {

using ui::CPropSheet;

// One window or page: its controls, and those seen with it (the sheet's own
// tabs and buttons belong to every page).
struct Scope {
    QString what;
    QWidget* root;
    std::vector<QWidget*> shared;
    // The tab order goes down each column of the root's grid before the next.
    bool by_columns = false;
};

// The roles a person acts on. The tab bar is read as its tabs, each named by
// its caption (its own name is the shown page's).
// An edit this short holds a number or a few characters.
constexpr int kShortEdit = 8;

bool Interactive(QAccessible::Role role) {
    static const std::set<QAccessible::Role> roles = {
        QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::EditableText,   QAccessible::SpinBox,
        QAccessible::ButtonMenu, QAccessible::ButtonDropDown, QAccessible::List,
        QAccessible::Tree,       QAccessible::Slider};
    return roles.contains(role);
}

// The widgets root shows (root's own window only: a dialog it owns is not part
// of it), root included.
std::vector<QWidget*> Shown(QWidget* root) {
    std::vector<QWidget*> widgets{root};
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->window() == root->window() && w->isVisibleTo(root)) {
            widgets.push_back(w);
        }
    }
    return widgets;
}

QString Describe(QWidget* w) {
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w);
    return QStringLiteral("%1 #%2 \"%3\"")
        .arg(QString::fromLatin1(w->metaObject()->className()))
        .arg(ui::ControlId(w))
        .arg(acc != nullptr ? acc->text(QAccessible::Name) : QString());
}

void CheckNames(const Scope& scope, QStringList& faults) {
    std::vector<QWidget*> widgets = Shown(scope.root);
    widgets.insert(widgets.end(), scope.shared.begin(), scope.shared.end());
    std::map<QString, QWidget*> names;
    for (QWidget* w : widgets) {
        QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w);
        if (acc == nullptr) {
            continue;
        }
        const QAccessible::Role role = acc->role();
        const QString name = acc->text(QAccessible::Name).trimmed();
        if (role == QAccessible::Graphic && name.isEmpty()) {
            faults << QStringLiteral("picture without a name: ") + Describe(w);
        }
        if (!Interactive(role)) {
            continue;
        }
        if (name.isEmpty()) {
            faults << QStringLiteral("no name: ") + Describe(w);
        } else if (const auto [it, fresh] = names.emplace(name, w); !fresh) {
            faults << QStringLiteral("same name: ") + Describe(w) + " and " + Describe(it->second);
        }
    }
}

// Every mnemonic of the scope: the buttons', the group boxes', the labels'
// (which must have a buddy to move to) and the tabs'.
void CheckMnemonics(const Scope& scope, QStringList& faults) {
    std::vector<QWidget*> widgets = Shown(scope.root);
    widgets.insert(widgets.end(), scope.shared.begin(), scope.shared.end());
    std::map<QString, QString> seen;
    const auto note = [&](const QString& text) {
        const QString key = QKeySequence::mnemonic(text).toString();
        if (key.isEmpty()) {
            return;
        }
        if (const auto [it, fresh] = seen.emplace(key, text); !fresh) {
            faults << QStringLiteral("mnemonic %1 twice: \"%2\" and \"%3\"")
                          .arg(key, text, it->second);
        }
    };
    for (QWidget* w : widgets) {
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            note(button->text());
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            note(box->title());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                note(tabs->tabText(i));
            }
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            note(label->text());
            if (!QKeySequence::mnemonic(label->text()).isEmpty() && label->buddy() == nullptr) {
                faults << QStringLiteral("mnemonic leads nowhere: ") + label->text();
            }
        }
    }
}

QRect Place(QWidget* w, QWidget* root) {
    return {w->mapTo(root, QPoint(0, 0)), w->size()};
}

// The column of the root's grid whose item holds w's middle.
int Column(QWidget* w, QWidget* root) {
    auto* grid = qobject_cast<QGridLayout*>(root->layout());
    const QPoint middle = Place(w, root).center();
    for (int i = 0; i < grid->count(); ++i) {
        if (grid->itemAt(i)->geometry().contains(middle)) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            return column;
        }
    }
    return -1;
}

// Tab from the root's first control to its last follows the reading order:
// never back up the same column, never back left on the same line; by
// columns, never back to a column on the left.
void CheckTabOrder(const Scope& scope, QStringList& faults) {
    std::vector<QWidget*> chain;
    QWidget* w = scope.root;
    while ((w = w->nextInFocusChain()) != scope.root && chain.size() < 1000) {
        if (scope.root->isAncestorOf(w) && w->window() == scope.root->window() &&
            (w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(scope.root)) {
            chain.push_back(w);
        }
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        const QRect a = Place(chain[i - 1], scope.root);
        const QRect b = Place(chain[i], scope.root);
        const bool above = b.bottom() < a.top();
        const bool below = b.top() > a.bottom();
        const bool left = b.right() < a.left();
        const bool right = b.left() > a.right();
        bool back = (above && !right) || (left && !below);
        if (scope.by_columns) {
            const int from = Column(chain[i - 1], scope.root);
            const int to = Column(chain[i], scope.root);
            back = to < from || (to == from && above);
        }
        if (back) {
            faults << QStringLiteral("tab goes back: ") + Describe(chain[i - 1]) + " to " +
                          Describe(chain[i]);
        }
    }
}

// Nothing cut short: every caption has the room its font asks for, and an
// edit of a few characters the room for as many digits. No text is smaller
// than the desktop's.
void CheckFits(const Scope& scope, QStringList& faults) {
    const int desktop = QFontInfo(QApplication::font()).pixelSize();
    for (QWidget* w : Shown(scope.root)) {
        if (QFontInfo(w->font()).pixelSize() < desktop) {
            faults << QStringLiteral("text smaller than the desktop's: ") + Describe(w);
        }
        QSize need;
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !label->text().isEmpty()) {
            need = label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                     : label->minimumSizeHint();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w);
                   button != nullptr && !button->text().isEmpty()) {
            need = button->minimumSizeHint();
        } else if (auto* edit = qobject_cast<QLineEdit*>(w);
                   edit != nullptr && edit->maxLength() <= kShortEdit) {
            QStyleOptionFrame frame;
            frame.initFrom(edit);
            frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            const QString digits(edit->maxLength(), u'0');
            need = edit->style()->sizeFromContents(
                QStyle::CT_LineEdit, &frame,
                QSize(edit->fontMetrics().horizontalAdvance(digits), 0), edit);
            need.setHeight(0);
        }
        if (w->width() < need.width() || w->height() < need.height()) {
            faults << QStringLiteral("cut short: %1 %2x%3 of %4x%5")
                          .arg(Describe(w))
                          .arg(w->width())
                          .arg(w->height())
                          .arg(need.width())
                          .arg(need.height());
        }
    }
}

// The arrows beside a number take no focus: Up and Down in its edit step it.
void CheckSpinKeys(const Scope& scope, QStringList& faults) {
    for (QWidget* w : Shown(scope.root)) {
        auto* spin = dynamic_cast<ui::CSpinButton*>(w);
        if (spin == nullptr || !spin->isEnabled() || spin->Upper() <= spin->Lower()) {
            continue;
        }
        QLineEdit* edit = spin->Buddy();
        const QString before = edit->text();
        edit->setText(QString::number(spin->Lower()));
        QTest::keyClick(edit, Qt::Key_Up);
        const int up = ui::NumberIn(edit);
        QTest::keyClick(edit, Qt::Key_Down);
        if (up != spin->Lower() + 1 || ui::NumberIn(edit) != spin->Lower()) {
            faults << QStringLiteral("Up and Down do not step: ") + Describe(edit);
        }
        edit->setText(before);
    }
}

QStringList Audit(const Scope& scope) {
    QStringList faults;
    CheckNames(scope, faults);
    CheckMnemonics(scope, faults);
    CheckTabOrder(scope, faults);
    CheckFits(scope, faults);
    CheckSpinKeys(scope, faults);
    return faults;
}

void ExpectSound(const Scope& scope) {
    const QStringList faults = Audit(scope);
    EXPECT_TRUE(faults.isEmpty()) << scope.what.toStdString() << ":\n  "
                                  << faults.join(QStringLiteral("\n  ")).toStdString();
}

// The dialogs of the program, each shown (laid out) while it is walked.
void ExpectSoundDialogs(CDeviceConfig& record) {
    std::vector<std::pair<QString, std::unique_ptr<QWidget>>> dialogs;
    dialogs.emplace_back("X.25", std::make_unique<ui::CX25PropertiesDialog>(record));
    dialogs.emplace_back("storage", std::make_unique<ui::CStorageConfirmDialog>());
    dialogs.emplace_back(
        "device list",
        std::make_unique<ui::CDeviceListDialog>(
            "varDex", "Choose", std::vector<std::string>{"USB modem 1", "USB modem 2"}));
    dialogs.emplace_back("self test", std::make_unique<ui::CSelfTestProgress>(record));
    dialogs.emplace_back("progress", std::make_unique<ui::CCommProgressDialog>(nullptr));
    dialogs.emplace_back("cancel", std::make_unique<ui::CCancelConfirmDialog>());
    dialogs.emplace_back("about", std::make_unique<ui::CAboutDialog>());
    for (auto& [what, dialog] : dialogs) {
        dialog->show();
        QApplication::processEvents();
        ExpectSound({what, dialog.get(), {}});
        dialog->hide();
    }
}

// The sheet's own controls: its tabs and buttons, outside every page.
std::vector<QWidget*> SheetControls(CPropSheet& sheet) {
    std::vector<QWidget*> own;
    for (QWidget* w : Shown(&sheet)) {
        bool in_page = false;
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            in_page = in_page || sheet.GetPage(i) == w || sheet.GetPage(i)->isAncestorOf(w);
        }
        if (!in_page && w != &sheet) {
            own.push_back(w);
        }
    }
    return own;
}

// Each page walked while it is shown, the dialogs, then the page keys from a
// control of each page.
template <typename Device>
class Accessibility : public ProgramFixture<Device> {
protected:
    void ExpectSoundProgram() {
        this->RunProgram([&](CPropSheet& sheet) {
            const std::vector<QWidget*> own = SheetControls(sheet);
            const int n = sheet.GetPageCount();
            for (int i = 0; i < n; ++i) {
                ASSERT_TRUE(sheet.SetActivePage(i));
                ui::CPropertyPage* page = sheet.GetPage(i);
                // The page as shown and laid out. The screen of a desktop with
                // a large font is large enough for the sheet; the offscreen one
                // is not. A caption that wraps asks for its height once it has
                // its width: a few rounds.
                for (int round = 0; round < 3; ++round) {
                    QApplication::processEvents();
                    sheet.resize(sheet.size().expandedTo(sheet.minimumSizeHint()));
                }
                QApplication::processEvents();
                ExpectSound({page->Caption(), page, own,
                             dynamic_cast<ui::CTelephonyPage*>(page) != nullptr});
            }
            ExpectSoundDialogs(this->W());

            sheet.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
            const struct {
                Qt::Key key;
                Qt::KeyboardModifiers modifiers;
                int step;
            } keys[] = {{Qt::Key_Tab, Qt::ControlModifier, 1},
                        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, -1},
                        {Qt::Key_PageDown, Qt::ControlModifier, 1},
                        {Qt::Key_PageUp, Qt::ControlModifier, -1}};
            for (int i = 0; i < n; ++i) {
                for (const auto& k : keys) {
                    ASSERT_TRUE(sheet.SetActivePage(i));
                    QWidget* page = sheet.GetPage(i);
                    QWidget* first = page->nextInFocusChain();
                    while (!page->isAncestorOf(first) ||
                           (first->focusPolicy() & Qt::TabFocus) == 0) {
                        first = first->nextInFocusChain();
                    }
                    first->setFocus();
                    QTest::keyClick(first, k.key, k.modifiers);
                    EXPECT_EQ(sheet.GetActiveIndex(), (i + k.step + n) % n)
                        << "from " << Describe(first).toStdString() << " key " << k.key;
                }
            }
        });
    }
};

constexpr char kCyprus[] = "Cyprus";  // offers X.25
constexpr char kPoland[] = "Poland";  // offers none of the optional protocols
using CyprusAccessibility = Accessibility<CountryDevice<kCyprus>>;
using PolandAccessibility = Accessibility<CountryDevice<kPoland>>;

TEST_F(CyprusAccessibility, EveryControlNamedReachableAndInReadingOrder) {
    ExpectSoundProgram();
}

TEST_F(PolandAccessibility, EveryControlNamedReachableAndInReadingOrder) {
    ExpectSoundProgram();
}

}  // namespace
}  // namespace vardex::test

namespace vardex::test {
namespace {

// The desktop's font at twice its size and a dark palette, set before the
// program starts, as the desktop would.
class LargeDarkDesktop : public Accessibility<CountryDevice<kCyprus>> {
protected:
    LargeDarkDesktop() : font_(QApplication::font()), palette_(QApplication::palette()) {
        QFont large = font_;
        large.setPointSizeF(font_.pointSizeF() * 2);
        QApplication::setFont(large);
        QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x20, 0x20, 0x20));
        QApplication::setPalette(dark);
    }
    ~LargeDarkDesktop() override {
        QApplication::setFont(font_);
        QApplication::setPalette(palette_);
    }

private:
    QFont font_;
    QPalette palette_;
};

TEST_F(LargeDarkDesktop, EveryControlNamedReachableAndInReadingOrder) {
    ExpectSoundProgram();
}

}  // namespace
}  // namespace vardex::test
