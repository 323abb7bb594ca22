// The window as a person meets it on a small screen, with large text and with
// the keyboard alone: it fits, nothing is cut, help stays usable over the
// modal sheet, and nothing typed is dropped without a question.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cstdio>

#include "gui_fixture.h"
#include "ui/help.h"
#include "ui/pages/telephony_page.h"

namespace vardex::test {
namespace {

using ui::CPropSheet;

// The widgets of root's own window that are shown with it.
std::vector<QWidget*> ShownIn(QWidget* root) {
    std::vector<QWidget*> widgets;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->window() == root->window() && w->isVisibleTo(root)) {
            widgets.push_back(w);
        }
    }
    return widgets;
}

// Cut short or clipped: smaller than its text needs, or reaching out of its
// parent (a page inside its scroller may: it scrolls).
QStringList Clipped(QWidget* root) {
    QStringList faults;
    for (QWidget* w : ShownIn(root)) {
        QWidget* parent = w->parentWidget();
        const bool scrolled =
            parent != nullptr && qobject_cast<QScrollArea*>(parent->parentWidget());
        const QSize need = w->minimumSizeHint();
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const bool text = button != nullptr && !button->text().isEmpty();
        if (!scrolled && parent != nullptr && !parent->rect().contains(w->geometry())) {
            faults << QStringLiteral("outside its parent: %1 #%2")
                          .arg(w->metaObject()->className())
                          .arg(ui::ControlId(w));
        } else if (text && (w->width() < need.width() || w->height() < need.height())) {
            faults << QStringLiteral("cut short: %1").arg(button->text());
        }
    }
    return faults;
}

struct Desktop {
    const char* what;
    QRect available;  // the screen less a panel, in the window's own pixels
    qreal points;     // the desktop's font size; 0 keeps the default
};

void PrintTo(const Desktop& desktop, std::ostream* out) {
    *out << desktop.what;
}

class SmallScreen : public ProgramTest, public ::testing::WithParamInterface<Desktop> {
protected:
    SmallScreen() {
        if (GetParam().points > 0) {
            QFont font = font_;
            font.setPointSizeF(GetParam().points);
            QApplication::setFont(font);
        }
    }
    ~SmallScreen() override { QApplication::setFont(font_); }

private:
    const QFont font_ = QApplication::font();
};

TEST_P(SmallScreen, TheSheetFitsWithItsButtonsAndEveryPageScrollsUncut) {
    const QRect available = GetParam().available;
    RunProgram([&](CPropSheet& sheet) {
        sheet.FitInto(available);
        QApplication::processEvents();
        EXPECT_TRUE(available.contains(sheet.frameGeometry()));
        for (const int id : {ui::kOkButton, ui::kCancelButton, CPropSheet::ID_APPLY_NOW}) {
            const QWidget* button = sheet.GetDlgItem(id);
            EXPECT_TRUE(
                sheet.rect().contains(QRect(button->mapTo(&sheet, QPoint()), button->size())))
                << id;
        }
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            ASSERT_TRUE(sheet.SetActivePage(i));
            QApplication::processEvents();
            const QStringList faults = Clipped(&sheet);
            EXPECT_TRUE(faults.isEmpty()) << sheet.GetPage(i)->Caption().toStdString() << ":\n  "
                                          << faults.join(QStringLiteral("\n  ")).toStdString();
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, SmallScreen,
    ::testing::Values(Desktop{"1024x600", QRect(0, 0, 1024, 600 - 30), 0},
                      Desktop{"1280x800 with 14-point text", QRect(0, 0, 1280, 800 - 30), 14},
                      // 1280x800 at twice the scale: half as many of the window's pixels.
                      Desktop{"1280x800 at twice the scale", QRect(0, 0, 640, 400 - 15), 0}),
    [](const auto& param) { return std::to_string(param.index); });

// A new dialog active, as the desktop makes it (the offscreen one leaves its
// parent active).
void Activate(QWidget* dialog) {
    QApplication::setActiveWindow(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeWindow() == dialog, 10000);
}

// Keys as the keyboard sends them: to whatever has the focus.
void Press(int* count, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
    ++*count;
}

// The access key a control's caption marks.
Qt::Key AccessKey(const QAbstractButton* button) {
    const QKeySequence key = QKeySequence::mnemonic(button->text());
    return key.isEmpty() ? Qt::Key_unknown : static_cast<Qt::Key>(key[0].key());
}

// From the device list to a change applied, with the keyboard alone; then
// Escape closes at once, with nothing left pending.
TEST_F(ProgramTest, CallWaitingChangedAndAppliedWithTheKeyboardAlone) {
    int keys = 0;
    ui_.on_device_list = [&](ui::CDeviceListDialog* list) {
        Activate(list);
        Press(&keys, Qt::Key_Down);
        Press(&keys, Qt::Key_Return);
    };
    ui_.on_storage = [&](ui::CStorageConfirmDialog* storage) {
        Activate(storage);
        Press(&keys, Qt::Key_Return);  // stores in the profile the dialog offers
    };
    int before = -1;
    RunProgram([&](CPropSheet& sheet) {
        sheet.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
        before = W().m_bCallWaiting1;
        EXPECT_EQ(QApplication::focusWidget(), sheet.InformationPage().FirstControl())
            << "the read leaves the focus on the page";
        Press(&keys, Qt::Key_PageDown, Qt::ControlModifier);
        ui::CTelephonyPage& page = sheet.TelephonyPage();
        ASSERT_EQ(sheet.GetActivePage(), &page);
        EXPECT_EQ(QApplication::focusWidget(), page.FirstControl());
        auto* box = page.Item<QCheckBox>(ui::CTelephonyPage::IDC_CALL_WAITING1);
        ASSERT_NE(AccessKey(box), Qt::Key_unknown) << box->text().toStdString();
        Press(&keys, AccessKey(box), Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(box->isChecked(), before == 0, 10000);
        const int written = ui_.progress_dialogs;
        Press(&keys, AccessKey(sheet.Item<QAbstractButton>(CPropSheet::ID_APPLY_NOW)),
              Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(ui_.progress_dialogs > written, 10000);
        EXPECT_EQ(W().m_bCallWaiting1, before == 0 ? 1 : 0);
        EXPECT_EQ(app_.Core().m_deviceCopy.m_bCallWaiting1, before == 0 ? 1 : 0);

        Activate(&sheet);  // again, once the write's windows have gone
        Press(&keys, Qt::Key_Escape);
        EXPECT_TRUE(sheet.Ended()) << "nothing pending: closed without a question";
    });
    EXPECT_EQ(ui_.storage_dialogs, 1);
    EXPECT_TRUE(ui_.messages.empty());
    std::printf("keys from the device list to the change applied, and Escape: %d\n", keys);
    EXPECT_LE(keys, 8);
}

// A flash time out of its limits, typed and left with Tab: the box names the
// field, the old value comes back, the focus stays and nothing is pending.
TEST_F(ProgramTest, ARefusedValueNamesItsFieldAndLeavesThePageAsItWas) {
    RunProgram([&](CPropSheet& sheet) {
        Activate(&sheet);
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto* flash = sheet.TelephonyPage().Item<QLineEdit>(ui::CTelephonyPage::IDC_FLASH);
        const QString before = flash->text();
        flash->setFocus(Qt::TabFocusReason);
        flash->selectAll();
        QTest::keyClicks(flash, QStringLiteral("150"));
        EXPECT_TRUE(sheet.TelephonyPage().IsModified()) << "typing is a change";
        QTest::keyClick(flash, Qt::Key_Tab);
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text.rfind("Flash Duration: Valid limits: ", 0), 0u)
            << ui_.messages[0].text;
        EXPECT_EQ(flash->text(), before);
        EXPECT_TRUE(flash->hasFocus());
        EXPECT_FALSE(sheet.TelephonyPage().IsModified());
        EXPECT_EQ(W().m_bSettingsModified, 0);
        EXPECT_FALSE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
    });
}

// Tab goes through the page, then the buttons; the tab bar comes before both.
TEST_F(ProgramTest, TabReachesThePageBeforeTheButtons) {
    RunProgram([&](CPropSheet& sheet) {
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            ASSERT_TRUE(sheet.SetActivePage(i));
            std::vector<QWidget*> chain;
            QWidget* w = sheet.nextInFocusChain();
            for (int guard = 0; w != &sheet && guard < 10000; ++guard, w = w->nextInFocusChain()) {
                if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(&sheet) &&
                    w->isEnabled()) {
                    chain.push_back(w);
                }
            }
            const auto at = [&](const QWidget* x) {
                return std::find(chain.begin(), chain.end(), x) - chain.begin();
            };
            const auto page_end = std::find_if(chain.rbegin(), chain.rend(), [&](QWidget* x) {
                return sheet.GetPage(i)->isAncestorOf(x);
            });
            ASSERT_NE(page_end, chain.rend());
            for (const int id : {ui::kOkButton, ui::kCancelButton}) {
                EXPECT_GT(at(sheet.GetDlgItem(id)), chain.rend() - page_end - 1)
                    << sheet.GetPage(i)->Caption().toStdString();
            }
            EXPECT_LT(at(sheet.findChild<QTabBar*>()), at(sheet.GetPage(i)->FirstControl()));
        }
    });
}

// Before the first read the page shows nothing of a record nobody read.
TEST_F(ProgramTest, FieldsAreEmptyUntilTheDeviceIsRead) {
    QString country;
    int power_up = 0;
    app_.InitInstance({QStringLiteral("vardex-config")}, [&](CPropSheet& sheet) {
        sheet.m_onFirstShown = [&] {
            ui::CUpgradePage& page = sheet.InformationPage();
            country = page.Item<QLineEdit>(ui::CUpgradePage::IDC_COUNTRY)->text();
            power_up = page.Item<QComboBox>(ui::CUpgradePage::IDC_POWER_UP)->currentIndex();
        };
        sheet.m_onReadDone = [&sheet] { sheet.EndDialog(QDialog::Accepted); };
    });
    EXPECT_EQ(country, QString());
    EXPECT_EQ(power_up, -1);
}

// Escape with a change not yet applied asks: Keep editing stays, Apply writes
// and closes, Discard closes and writes nothing.
class EscapePending : public ProgramTest,
                      public ::testing::WithParamInterface<QMessageBox::StandardButton> {};

TEST_P(EscapePending, AsksBeforeDroppingTheChange) {
    const QMessageBox::StandardButton answer = GetParam();
    ui_.close_answer = answer;
    int wanted = -1;
    bool ended_by_escape = false;
    RunProgram([&](CPropSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto* box = sheet.TelephonyPage().Item<QCheckBox>(ui::CTelephonyPage::IDC_CALL_WAITING1);
        wanted = box->isChecked() ? 0 : 1;
        box->click();
        QTest::keyClick(box, Qt::Key_Escape);
        ended_by_escape = sheet.Ended();
    });
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].buttons, ui::MessageButtons::DiscardApplyKeep);
    EXPECT_EQ(ended_by_escape, answer != QMessageBox::Cancel);
    EXPECT_EQ(app_.Core().m_deviceCopy.m_bCallWaiting1 == wanted, answer == QMessageBox::Apply);
}

INSTANTIATE_TEST_SUITE_P(Answers, EscapePending,
                         ::testing::Values(QMessageBox::Cancel, QMessageBox::Apply,
                                           QMessageBox::Discard));

// F1 on every page opens its topic in a window the modal sheet does not block
// (its own), which Escape closes.
TEST_F(ProgramTest, HelpOverTheSheetTakesInputAndEscapeClosesIt) {
    RunProgram([&](CPropSheet& sheet) {
        sheet.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            ASSERT_TRUE(sheet.SetActivePage(i));
            // The help window took the activation; closed, it leaves none.
            sheet.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
            sheet.FocusFirstControl();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            ui::HelpWindow* help = ui::CurrentHelpWindow();
            ASSERT_NE(help, nullptr);
            EXPECT_EQ(help->Topic(), sheet.GetPage(i)->HelpTopic());
            ASSERT_TRUE(help->isVisible());
            EXPECT_EQ(help->windowHandle()->transientParent(), sheet.windowHandle())
                << "a window of the modal sheet's own";
            QTest::keyClick(help->Browser(), Qt::Key_Escape);
            QTRY_VERIFY_WITH_TIMEOUT(ui::CurrentHelpWindow() == nullptr, 10000);
            EXPECT_FALSE(sheet.Ended()) << "Escape closed the help only";
        }
    });
}

}  // namespace
}  // namespace vardex::test
