// Every page and dialog as a screen reader and a keyboard meet it: one walker
// over the widget tree, through Qt's own accessibility interface, applied to
// each window of the program, on a variant with X.25, on one without, and with
// a large font and a dark palette.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <map>
#include <memory>
#include <set>

#include "every_dialog.h"
#include "gui_fixture.h"
#include "ui/accessible.h"
#include "ui/pages/page_controls.h"
#include "ui/pages/telephony_page.h"

using namespace vardex::params;

namespace vardex::test {
namespace {

using ui::CPropSheet;

// The roles a person acts on. The tab bar is read as its tabs, each named by
// its caption (its own name is the shown page's).
const std::set<QAccessible::Role> kInteractive = {
    QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,
    QAccessible::ComboBox,   QAccessible::EditableText,   QAccessible::SpinBox,
    QAccessible::ButtonMenu, QAccessible::ButtonDropDown, QAccessible::List,
    QAccessible::Tree,       QAccessible::Slider};
constexpr int kShortEdit = 8;  // an edit for a number or a few characters

// The widgets root shows in its own window (a dialog it owns is not part of it).
std::vector<QWidget*> Shown(QWidget* root) {
    std::vector<QWidget*> widgets{root};
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->window() == root->window() && w->isVisibleTo(root)) {
            widgets.push_back(w);
        }
    }
    return widgets;
}

QString Name(QWidget* w) {
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w);
    return acc != nullptr ? acc->text(QAccessible::Name).trimmed() : QString();
}

QString Describe(QWidget* w) {
    return QStringLiteral("%1 #%2 \"%3\"")
        .arg(QString::fromLatin1(w->metaObject()->className()))
        .arg(ui::ControlId(w))
        .arg(Name(w));
}

QRect Place(QWidget* w, QWidget* root) {
    return {w->mapTo(root, QPoint(0, 0)), w->size()};
}

// One window or page, and the controls seen with it (the sheet's tabs and
// buttons belong to every page). By columns: the tab order goes down each
// column of the root's grid before the next.
struct Scope {
    Scope(QString name, QWidget* window, std::vector<QWidget*> with = {}, bool columns = false)
        : what(std::move(name)), root(window), shared(std::move(with)), by_columns(columns) {}
    QString what;
    QWidget* root;
    std::vector<QWidget*> shared;
    bool by_columns;
    QStringList faults;

    void Fault(const QString& what_is_wrong, QWidget* w) { faults << what_is_wrong + Describe(w); }

    // No interactive control without a name or with another's; no picture
    // without one; no mnemonic twice, none on a label without a buddy.
    void CheckNamesAndMnemonics() {
        std::vector<QWidget*> widgets = Shown(root);
        widgets.insert(widgets.end(), shared.begin(), shared.end());
        std::map<QString, QWidget*> names, mnemonics;
        const auto note = [&](const QString& text, QWidget* w) {
            const QString key = QKeySequence::mnemonic(text).toString();
            if (!key.isEmpty() && !mnemonics.emplace(key, w).second) {
                Fault("mnemonic " + key + " again: ", w);
            }
        };
        for (QWidget* w : widgets) {
            QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w);
            const QString name = Name(w);
            if (acc != nullptr && acc->role() == QAccessible::Graphic && name.isEmpty()) {
                Fault("picture without a name: ", w);
            } else if (acc != nullptr && kInteractive.contains(acc->role()) &&
                       (name.isEmpty() || !names.emplace(name, w).second)) {
                Fault("no name of its own: ", w);
            }
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                note(button->text(), w);
            } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
                note(box->title(), w);
            } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
                for (int tab = 0; tab < bar->count(); ++tab) {
                    if (QKeySequence::mnemonic(bar->tabText(tab)).isEmpty()) {
                        Fault("no access key on tab " + bar->tabText(tab) + ": ", w);
                    }
                    note(bar->tabText(tab), w);
                }
            } else if (auto* label = qobject_cast<QLabel*>(w)) {
                note(label->text(), w);
                if (!QKeySequence::mnemonic(label->text()).isEmpty() && label->buddy() == nullptr) {
                    Fault("mnemonic leads nowhere: ", w);
                }
            }
        }
        // A caption without a key of its own, though one of its letters is free.
        for (QWidget* w : ui::CaptionedControls(root)) {
            auto* button = qobject_cast<QAbstractButton*>(w);
            auto* label = qobject_cast<QLabel*>(w);
            const QString text = button != nullptr  ? button->text()
                                 : label != nullptr ? label->text()
                                                    : QString();
            const int id = ui::ControlId(w);
            if (text.isEmpty() || !QKeySequence::mnemonic(text).isEmpty() || id == ui::kOkButton ||
                id == ui::kCancelButton || !w->isVisibleTo(root)) {
                continue;
            }
            for (const QChar c : text) {
                if (c.isLetterOrNumber() && c.unicode() < 0x80 &&
                    !mnemonics.contains(
                        QKeySequence::mnemonic(QStringLiteral("&") + c).toString())) {
                    Fault("no access key, though " + QString(c) + " is free: ", w);
                    break;
                }
            }
        }
    }

    // The column of the root's grid whose item holds w's middle.
    int Column(QWidget* w) const {
        auto* grid = qobject_cast<QGridLayout*>(root->layout());
        for (int i = 0; i < grid->count(); ++i) {
            if (grid->itemAt(i)->geometry().contains(Place(w, root).center())) {
                int row = 0, column = 0, rows = 0, columns = 0;
                grid->getItemPosition(i, &row, &column, &rows, &columns);
                return column;
            }
        }
        return -1;
    }

    // Tab follows the reading order: never back up the same column, never
    // back left on the same line; by columns, never back to a column on the left.
    void CheckTabOrder() {
        std::vector<QWidget*> chain;
        for (QWidget* w = root->nextInFocusChain(); w != root && chain.size() < 1000;
             w = w->nextInFocusChain()) {
            if (root->isAncestorOf(w) && w->window() == root->window() &&
                (w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(root)) {
                chain.push_back(w);
            }
        }
        for (std::size_t i = 1; i < chain.size(); ++i) {
            const QRect a = Place(chain[i - 1], root);
            const QRect b = Place(chain[i], root);
            const bool above = b.bottom() < a.top();
            bool back =
                (above && b.left() <= a.right()) || (b.right() < a.left() && b.top() <= a.bottom());
            if (by_columns) {
                const int from = Column(chain[i - 1]);
                const int to = Column(chain[i]);
                back = to < from || (to == from && above);
            }
            if (back) {
                Fault("tab goes back from " + Describe(chain[i - 1]) + " to ", chain[i]);
            }
        }
    }

    // Nothing cut short or smaller than the desktop's text; a short edit has
    // room for as many digits as it takes; Up and Down in a number edit step
    // it, as its arrows (which take no focus) do.
    void CheckSizesAndSpinKeys() {
        const int desktop = QFontInfo(QApplication::font()).pixelSize();
        for (QWidget* w : Shown(root)) {
            if (QFontInfo(w->font()).pixelSize() < desktop) {
                Fault("text smaller than the desktop's: ", w);
            }
            QSize need;
            auto* label = qobject_cast<QLabel*>(w);
            auto* button = qobject_cast<QAbstractButton*>(w);
            auto* edit = qobject_cast<QLineEdit*>(w);
            if (label != nullptr && !label->text().isEmpty()) {
                need = label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                         : label->minimumSizeHint();
            } else if (button != nullptr && !button->text().isEmpty()) {
                need = button->minimumSizeHint();
            } else if (edit != nullptr && edit->maxLength() <= kShortEdit) {
                // Its size hint is for 17 "x" and its frame.
                const QFontMetrics m = edit->fontMetrics();
                need.setWidth(m.horizontalAdvance(QString(edit->maxLength(), u'0')) +
                              edit->sizeHint().width() - m.horizontalAdvance(QString(17, u'x')));
            }
            if (w->width() < need.width() || w->height() < need.height()) {
                Fault("cut short: ", w);
            }
            auto* spin = dynamic_cast<ui::CSpinButton*>(w);
            if (spin != nullptr && spin->isEnabled() && spin->Upper() > spin->Lower()) {
                const QString before = spin->Buddy()->text();
                spin->Buddy()->setText(QString::number(spin->Lower()));
                QTest::keyClick(spin->Buddy(), Qt::Key_Up);
                const int up = ui::NumberIn(spin->Buddy());
                QTest::keyClick(spin->Buddy(), Qt::Key_Down);
                if (up != spin->Lower() + 1 || ui::NumberIn(spin->Buddy()) != spin->Lower()) {
                    Fault("Up and Down do not step: ", spin->Buddy());
                }
                spin->Buddy()->setText(before);
            }
        }
    }

    void ExpectSound() {
        CheckNamesAndMnemonics();
        CheckTabOrder();
        CheckSizesAndSpinKeys();
        EXPECT_TRUE(faults.isEmpty())
            << what.toStdString() << ":\n  " << faults.join(QStringLiteral("\n  ")).toStdString();
    }
};

void ExpectSoundDialogs(CDeviceConfig& record) {
    for (auto& [what, dialog] : EveryDialog(record)) {
        dialog->show();  // laid out
        QApplication::processEvents();
        Scope(what, dialog.get()).ExpectSound();
        dialog->hide();
    }
}

// Each page while it is shown with the sheet's own controls, the dialogs, then
// the four page keys from the first control of each page.
template <typename Device>
class Accessibility : public ProgramFixture<Device> {
protected:
    void ExpectSoundProgram() {
        this->RunProgram([&](CPropSheet& sheet) {
            std::vector<QWidget*> own;
            for (QWidget* w : Shown(&sheet)) {
                if (w != &sheet && dynamic_cast<ui::CPropertyPage*>(w) == nullptr &&
                    !sheet.GetPage(0)->parentWidget()->isAncestorOf(w)) {
                    own.push_back(w);
                }
            }
            const int n = sheet.GetPageCount();
            for (int i = 0; i < n; ++i) {
                ASSERT_TRUE(sheet.SetActivePage(i));
                // The offscreen screen is smaller than a large font's sheet, a
                // real one is not; a wrapped caption asks for its height once
                // it has its width: a few rounds.
                for (int round = 0; round < 3; ++round) {
                    QApplication::processEvents();
                    sheet.resize(sheet.size().expandedTo(sheet.minimumSizeHint()));
                }
                QApplication::processEvents();
                ui::CPropertyPage* page = sheet.GetPage(i);
                Scope(page->Caption(), page, own,
                      dynamic_cast<ui::CTelephonyPage*>(page) != nullptr)
                    .ExpectSound();
            }
            ExpectSoundDialogs(this->W());

            sheet.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
            const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> keys[] = {
                {Qt::Key_Tab, Qt::ControlModifier, 1},
                {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, -1},
                {Qt::Key_PageDown, Qt::ControlModifier, 1},
                {Qt::Key_PageUp, Qt::ControlModifier, -1}};
            for (int i = 0; i < n; ++i) {
                for (const auto& [key, modifiers, step] : keys) {
                    ASSERT_TRUE(sheet.SetActivePage(i));
                    QWidget* first = sheet.GetPage(i);
                    do {
                        first = first->nextInFocusChain();
                    } while ((first->focusPolicy() & Qt::TabFocus) == 0);
                    first->setFocus();
                    QTest::keyClick(first, key, modifiers);
                    EXPECT_EQ(sheet.GetActiveIndex(), (i + step + n) % n)
                        << Describe(first).toStdString() << ", key " << key;
                }
            }
        });
    }
};

constexpr char kCyprus[] = "Cyprus";  // offers X.25
constexpr char kPoland[] = "Poland";  // offers none of the optional protocols

using CyprusAccessibility = Accessibility<CountryDevice<kCyprus>>;
TEST_F(CyprusAccessibility, EveryControlNamedReachableAndInReadingOrder) {
    ExpectSoundProgram();
}

using PolandAccessibility = Accessibility<CountryDevice<kPoland>>;
TEST_F(PolandAccessibility, EveryControlNamedReachableAndInReadingOrder) {
    ExpectSoundProgram();
}

// The desktop's font at twice its size and a dark palette, set before the
// program starts, as the desktop sets them.
class LargeDarkDesktop : public Accessibility<CountryDevice<kCyprus>> {
protected:
    LargeDarkDesktop() {
        QFont large = font_;
        large.setPointSizeF(font_.pointSizeF() * 2);
        QApplication::setFont(large);
        QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x20, 0x20, 0x20)));
    }
    ~LargeDarkDesktop() override {
        QApplication::setFont(font_);
        QApplication::setPalette(palette_);
    }

private:
    const QFont font_ = QApplication::font();
    const QPalette palette_ = QApplication::palette();
};

TEST_F(LargeDarkDesktop, EveryControlNamedReachableInReadingOrderAndUncut) {
    ExpectSoundProgram();
}

}  // namespace
}  // namespace vardex::test
