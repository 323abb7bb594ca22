// The dialog layer and the dialogs that need no device: value exchange and its
// messages, modal results, the sheet's Apply button and page switching, help,
// the device list's rules, the storage question, the transfers' translations.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/about_dialog.h"
#include "every_dialog.h"
#include "gui_fixture.h"
#include "res/strings.h"
#include "ui/gui_call.h"
#include "ui/help.h"
#include "ui/pages/x25_dialog.h"
#include "vardex_version.h"

using namespace vardex::params;

namespace vardex::test {
namespace {

using namespace vardex::ui;

class NumberDialog : public CDialog {
public:
    NumberDialog() {
        auto* a = new QLineEdit(this);
        SetControlId(a, 100);
        auto* b = new QLineEdit(this);
        SetControlId(b, 101);
        auto* c = new QLineEdit(this);
        SetControlId(c, 102);
        MakeButton(1, "OK");
        MakeButton(2, "Cancel");
    }
    int ranged = 5, positive = 7, last = 9;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        dx.IntRange(100, ranged, 1, 10);
        dx.UInt(101, positive);
        dx.Int(102, last);
    }
};

void SetText(CDialog& d, int id, const char* text) {
    d.Item<QLineEdit>(id)->setText(text);
}

TEST(DataExchange, ValuesPassBothWaysAndBadOnesShowTheirMessage) {
    ScriptedUi ui;
    NumberDialog d;
    d.UpdateData(false);
    EXPECT_EQ(d.Item<QLineEdit>(100)->text().toStdString(), "5");

    SetText(d, 100, " 10 ");
    SetText(d, 101, "42");
    SetText(d, 102, "-3");
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(d.ranged, 10);
    EXPECT_EQ(d.positive, 42);
    EXPECT_EQ(d.last, -3);
    EXPECT_TRUE(ui.messages.empty());

    // Out of range: the message names the limits, and nothing after it is taken.
    SetText(d, 100, "11");
    SetText(d, 102, "77");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please enter an integer between 1 and 10.");
    EXPECT_EQ(d.ranged, 10);
    EXPECT_EQ(d.last, -3);

    for (const char* bad : {"-1", "abc", "", "1.5", "99999999999"}) {
        SetText(d, 100, "3");
        SetText(d, 101, bad);
        ui.messages.clear();
        EXPECT_FALSE(d.UpdateData(true)) << bad;
        ASSERT_EQ(ui.messages.size(), 1u) << bad;
        EXPECT_EQ(ui.messages[0].text, "Please enter a positive integer.");
        EXPECT_EQ(d.positive, 42) << bad;
    }
}

TEST(DataExchange, ModalRunsReturnOneForOkAndTwoForCancelOrEsc) {
    ScriptedUi ui;
    NumberDialog d;
    CDialog::SetModalHook([](CDialog* dialog) { dialog->Item<QAbstractButton>(1)->click(); });
    EXPECT_EQ(d.DoModal(), QDialog::Accepted);
    CDialog::SetModalHook([](CDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(d.DoModal(), QDialog::Rejected);
    // OK with a value that does not pass keeps the dialog open.
    int runs = 0;
    CDialog::SetModalHook([&](CDialog* dialog) {
        ++runs;
        SetText(*static_cast<NumberDialog*>(dialog), 100, "0");
        dialog->Item<QAbstractButton>(1)->click();
        EXPECT_FALSE(dialog->Ended());
        dialog->Item<QAbstractButton>(2)->click();
    });
    EXPECT_EQ(d.DoModal(), QDialog::Rejected);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ui.messages.size(), 1u);
}

class EditPage : public CPropertyPage {
public:
    EditPage() : CPropertyPage("Edit", kHelpTelephony) {
        auto* e = new QLineEdit(this);
        SetControlId(e, 200);
    }
    int value = 1;

protected:
    void DoDataExchange(CDataExchange& dx) override { dx.IntRange(200, value, 0, 5); }
};

TEST(PropertySheet, ApplyFollowsModifiedPagesAndABadValueKeepsItsPage) {
    ScriptedUi ui;
    CPropertySheet sheet("Sheet");
    EditPage first, second;
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    CDialog::SetModalHook([&](CDialog*) {
        QWidget* apply = sheet.GetDlgItem(CPropertySheet::ID_APPLY_NOW);
        EXPECT_FALSE(apply->isEnabled());
        second.SetModified(true);
        EXPECT_TRUE(apply->isEnabled());
        first.SetModified(true);
        second.SetModified(false);
        EXPECT_TRUE(apply->isEnabled());
        first.SetModified(false);
        EXPECT_FALSE(apply->isEnabled());

        first.Item<QLineEdit>(200)->setText("9");
        EXPECT_FALSE(sheet.SetActivePage(1));
        EXPECT_EQ(sheet.GetActiveIndex(), 0);
        EXPECT_EQ(ui.messages.size(), 1u);
        first.Item<QLineEdit>(200)->setText("4");
        EXPECT_TRUE(sheet.SetActivePage(1));
        EXPECT_EQ(first.value, 4);
        sheet.Item<QAbstractButton>(1)->click();
    });
    EXPECT_EQ(sheet.DoModal(), QDialog::Accepted);
}

// Counts the sheet's calls in a log that outlives the page.
class LoggingPage : public CPropertyPage {
public:
    LoggingPage(std::vector<std::string>& log, std::string name)
        : CPropertyPage(QString::fromStdString(name), kHelpTelephony),
          log_(log),
          name_(std::move(name)) {}
    bool OnSetActive() override {
        log_.push_back("set " + name_);
        return CPropertyPage::OnSetActive();
    }
    bool OnKillActive() override {
        log_.push_back("kill " + name_);
        return true;
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
};

TEST(PropertySheet, TeardownInEitherOrderCallsNoPage) {
    std::vector<std::string> log;
    {
        // Pages that go first, the shown one before the others.
        CPropertySheet sheet("Sheet");
        LoggingPage a(log, "a"), b(log, "b"), c(log, "c");
        sheet.AddPage(&a);
        sheet.AddPage(&b);
        sheet.AddPage(&c);
        sheet.show();
        ASSERT_TRUE(sheet.SetActivePage(2));
        log.clear();
    }
    EXPECT_TRUE(log.empty()) << log.front();
    {
        // A sheet that goes first and takes its pages with it.
        CPropertySheet sheet("Sheet");
        sheet.AddPage(new LoggingPage(log, "a"));
        sheet.AddPage(new LoggingPage(log, "b"));
        sheet.show();
        ASSERT_TRUE(sheet.SetActivePage(1));
        log.clear();
    }
    EXPECT_TRUE(log.empty()) << log.front();
}

TEST(Help, EveryTopicHasItsPageAndF1OpensThePagesTopic) {
    for (int topic = kHelpInformation; topic <= kHelpX25; ++topic) {
        ASSERT_FALSE(HelpTopicUrl(topic).isEmpty()) << topic;
    }
    EXPECT_TRUE(HelpTopicUrl(3).isEmpty());

    HelpWindow* window = OpenHelp(kHelpX25);
    EXPECT_EQ(window->Topic(), kHelpX25);
    EXPECT_TRUE(window->Browser()->toPlainText().contains("X.25"));

    EditPage page;
    page.show();
    QTest::keyClick(page.Item<QLineEdit>(200), Qt::Key_F1);
    EXPECT_EQ(CurrentHelpWindow()->Topic(), kHelpTelephony);
    EXPECT_TRUE(CurrentHelpWindow()->Browser()->toPlainText().contains("Telephony"));
    CurrentHelpWindow()->close();
}

TEST(DeviceList, OkWithoutSelectionTakesTheOnlyItemOrAsksForOne) {
    ScriptedUi ui;
    CDeviceListDialog one("varDex list", "\rPick:", {"Direct to COM2"});
    CDialog::SetModalHook([](CDialog* d) { d->Item<QAbstractButton>(1)->click(); });
    EXPECT_EQ(one.DoModal(), QDialog::Accepted);
    EXPECT_EQ(one.Chosen(), 0);

    CDeviceListDialog two("varDex list", "\rPick:", {"Direct to COM2", "Direct to COM5"});
    EXPECT_EQ(two.List()->count(), 2);
    CDialog::SetModalHook([&](CDialog* d) {
        d->Item<QAbstractButton>(1)->click();
        EXPECT_FALSE(d->Ended());
        two.List()->setCurrentRow(1);
        d->Item<QAbstractButton>(1)->click();
    });
    EXPECT_EQ(two.DoModal(), QDialog::Accepted);
    EXPECT_EQ(two.Chosen(), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, std::string(res::LoadString(res::IDS_SELECT_DEVICE)));
}

TEST(StorageConfirmation, StartAndAnswerFollowTheInformationPage) {
    int dest = 0, make = 0;
    // "Active Profile": no profile, box off.
    StorageDialogStart(0, 3, &dest, &make);
    EXPECT_EQ(dest, -1);
    EXPECT_EQ(make, 0);
    // "Profile #1" that already is the power-up profile: selected and checked.
    StorageDialogStart(2, 1, &dest, &make);
    EXPECT_EQ(dest, 1);
    EXPECT_EQ(make, 1);

    int d = 0, p = 3;
    StorageDialogApply(QDialog::Accepted, 2, 1, &d, &p);
    EXPECT_EQ(d, 3);
    EXPECT_EQ(p, 2);
    d = 2, p = 3;
    StorageDialogApply(QDialog::Rejected, 0, 1, &d, &p);  // Cancel
    EXPECT_EQ(d, 2);
    EXPECT_EQ(p, 3);
    d = 0, p = -1;
    StorageDialogApply(QDialog::Accepted, -1, 1, &d, &p);  // OK without a profile
    EXPECT_EQ(d, 0);
    EXPECT_EQ(p, -1) << "no profile: the power-up choice stays";
    d = 0, p = 2;
    StorageDialogApply(QDialog::Accepted, -1, 1, &d, &p);
    EXPECT_EQ(p, 2);
}

TEST(StorageConfirmation, DialogOpensWithTheChosenProfileChecked) {
    ScriptedUi ui;
    int destination = 2, power_up = 1;  // "Profile #1", power-up "Profile #1"
    CDialog::SetModalHook([](CDialog* d) {
        EXPECT_TRUE(d->Item<QAbstractButton>(CStorageConfirmDialog::IDC_PROFILE0 + 1)->isChecked());
        auto* box = d->Item<QCheckBox>(CStorageConfirmDialog::IDC_MAKE_POWER_UP);
        EXPECT_TRUE(box->isEnabled());
        EXPECT_TRUE(box->isChecked());
        d->Item<QAbstractButton>(CStorageConfirmDialog::IDC_PROFILE0 + 3)->click();
        box->setChecked(false);
        d->Item<QAbstractButton>(1)->click();
    });
    ConfirmStorage(nullptr, &destination, &power_up);
    EXPECT_EQ(destination, 4);
    EXPECT_EQ(power_up, 1);
}

TEST(Transfer, MultilinkChoiceAndProtocolBetweenRecordAndPages) {
    ScriptedUi ui;
    CVarDexApplication app;
    CDeviceConfig& r = app.Core().m_workingRecord;
    CPropSheet sheet(MainWindowTitle(), app.Core());
    sheet.ConnectionPage().Record().m_nProtocol = 3;
    r.m_nProtocol = 9;
    r.m_bMultilink = 1;
    r.m_nBodAddTime = 0;
    r.m_wModelVersion = 0x0102;
    r.m_wHardwareVersion = 0xFFFF;
    sheet.TransferRecord(0);
    EXPECT_EQ(sheet.ConnectionPage().Record().m_nProtocol, 3)
        << "an unknown protocol leaves the choice";
    EXPECT_EQ(sheet.ConnectionPage().m_nMultilink, 1);
    // The controls as the Information page shows them once it is on screen.
    sheet.InformationPage().UpdateData(false);
    const auto shown = [&](int id) {
        return sheet.InformationPage().Item<QLineEdit>(id)->text().toStdString();
    };
    EXPECT_EQ(shown(CUpgradePage::IDC_MODEL), "1.2");
    EXPECT_EQ(shown(CUpgradePage::IDC_HARDWARE), "255.255");
    r.m_nBodAddTime = 30;
    sheet.TransferRecord(0);
    EXPECT_EQ(sheet.ConnectionPage().m_nMultilink, 2);

    // Choice 0 back: no multilink, and a zero add time becomes 20.
    sheet.ConnectionPage().m_nMultilink = 0;
    sheet.ConnectionPage().Record().m_nBodAddTime = 0;
    r.m_bOtherModified = 1;
    EXPECT_EQ(sheet.TransferRecord(1), 1);
    EXPECT_EQ(r.m_bMultilink, 0);
    EXPECT_EQ(r.m_nBodAddTime, 20);
    EXPECT_EQ(r.m_bOtherModified, 0);
    // Choice 1: fixed multilink, add time 0.
    sheet.ConnectionPage().m_nMultilink = 1;
    sheet.ConnectionPage().Record().m_nBodAddTime = 45;
    r.m_bOtherModified = 1;
    sheet.TransferRecord(1);
    EXPECT_EQ(r.m_bMultilink, 1);
    EXPECT_EQ(r.m_nBodAddTime, 0);
    // Nothing pending: nothing is taken from the pages.
    sheet.ConnectionPage().m_nMultilink = 2;
    sheet.TransferRecord(1);
    EXPECT_EQ(r.m_nBodAddTime, 0);
    EXPECT_EQ(ui.storage_dialogs, 0);
}

// Each page's list of controls and fields: every control exists, its field is
// one a person may change (or, shown only, one only the device sets) in a
// read-only edit, and it offers exactly the field's values (a check
// box a flag, a radio group or list one choice per value of the table's range).
TEST(Binding, EveryControlShowsAFieldItCanHold) {
    ScriptedUi ui;
    CVarDexApplication app;
    CPropSheet sheet(MainWindowTitle(), app.Core());
    const CX25PropertiesDialog x25(app.Core().m_workingRecord);
    const std::pair<const QWidget*, std::span<const FieldBinding>> windows[] = {
        {&sheet.InformationPage(), sheet.InformationPage().Bindings()},
        {&sheet.TelephonyPage(), sheet.TelephonyPage().Bindings()},
        {&sheet.ConnectionPage(), sheet.ConnectionPage().Bindings()},
        {&x25, CX25PropertiesDialog::Bindings()}};
    for (const auto& [window, bindings] : windows) {
        ASSERT_FALSE(bindings.empty());
        for (const FieldBinding& b : bindings) {
            const RecordField& field = FieldOf(b);
            SCOPED_TRACE(field.name);
            EXPECT_TRUE(field.member == b.member) << "no entry in the field table";
            EXPECT_EQ(field.Writable(), b.exchange != Exchange::kShown);
            ASSERT_NE(FindControl(window, b.id), nullptr) << b.id;
            for (const int id : b.group) {
                EXPECT_NE(FindControl(window, id), nullptr) << id;
            }
            // The shown counters span the whole int range: counted in long long.
            const auto values =
                static_cast<std::size_t>(static_cast<long long>(field.hi) - field.lo + 1);
            switch (b.exchange) {
                case Exchange::kCheck:
                    EXPECT_EQ(field.type, FieldType::kFlag);
                    EXPECT_NE(qobject_cast<QCheckBox*>(FindControl(window, b.id)), nullptr);
                    break;
                case Exchange::kRadio:
                    EXPECT_EQ(b.group.size(), values);
                    EXPECT_EQ(b.group.front(), b.id);
                    break;
                case Exchange::kList:
                    EXPECT_EQ(qobject_cast<QComboBox*>(FindControl(window, b.id))->count(),
                              static_cast<int>(values));
                    break;
                case Exchange::kText:
                case Exchange::kNumber:
                case Exchange::kDigits:
                case Exchange::kLimited:
                    EXPECT_NE(qobject_cast<QLineEdit*>(FindControl(window, b.id)), nullptr);
                    break;
                case Exchange::kShown: {
                    const auto* edit = qobject_cast<QLineEdit*>(FindControl(window, b.id));
                    ASSERT_NE(edit, nullptr);
                    EXPECT_TRUE(edit->isReadOnly());
                    break;
                }
                case Exchange::kNone:
                    break;
            }
        }
    }
}

// The page or dialog whose lookups are meant to find w: the nearest around it.
const QWidget* LookupRoot(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (qobject_cast<const QDialog*>(p) != nullptr ||
            dynamic_cast<const CPropertyPage*>(p) != nullptr) {
            return p;
        }
    }
    return nullptr;
}

QString Described(const QWidget* w) {
    const auto* page = dynamic_cast<const CPropertyPage*>(w);
    return QStringLiteral("%1 \"%2\"")
        .arg(QString::fromLatin1(w->metaObject()->className()),
             page != nullptr ? page->Caption() : w->accessibleName());
}

// Each control of the window with an id is what a lookup of that id finds from
// its page or dialog: none shares its id with another there, nor with a
// control of a page inside it.
QStringList LostControls(const QWidget* window) {
    QStringList lost;
    std::map<std::pair<const QWidget*, int>, const QWidget*> seen;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        const int id = ControlId(w);
        if (id == 0 || w->window() != window) {
            continue;
        }
        const QWidget* root = LookupRoot(w);
        const auto [first, fresh] = seen.emplace(std::pair(root, id), w);
        const QWidget* found = FindControl(root, id);
        if (!fresh || found != w) {
            lost << QStringLiteral("%1 in %2: %3 found, %4 not")
                        .arg(id)
                        .arg(Described(root), Described(found), Described(w));
        }
    }
    return lost;
}

TEST(ControlIds, EachControlIsWhatItsIdFindsInEveryPageAndDialog) {
    ScriptedUi ui;
    CVarDexApplication app;
    CPropSheet sheet(MainWindowTitle(), app.Core());
    ASSERT_GT(sheet.GetPageCount(), 0);
    EXPECT_EQ(LostControls(&sheet).join('\n').toStdString(), "") << "the sheet";
    for (auto& [what, dialog] : EveryDialog(app.Core().m_workingRecord)) {
        EXPECT_EQ(LostControls(dialog.get()).join('\n').toStdString(), "") << what.toStdString();
    }
}

TEST(AppShell, TitleAboutLineAndCommandLine) {
    EXPECT_EQ(MainWindowTitle().toStdString(), "varDex Configuration Manager  -  ver. 3.3 ");
    ScriptedUi ui;
    CAboutDialog about;
    CDialog::SetModalHook([](CDialog* d) {
        EXPECT_EQ(d->Item<QLabel>(CAboutDialog::IDC_VERSION)->text().toStdString(),
                  "             Version 3.3\n");
        EXPECT_EQ(d->Item<QLabel>(CAboutDialog::IDC_BUILD)->text().toStdString(),
                  "vardex-config " VARDEX_BUILD_VERSION);
        d->Item<QAbstractButton>(1)->click();
    });
    EXPECT_EQ(about.DoModal(), QDialog::Accepted);

    AppCommandLineInfo info;
    ParseCommandLine({"vardex-config", "foo.img", "/p", "/Automation", "-platform", "x"}, info);
    EXPECT_EQ(info.WordsSeen(), 5);
}

TEST(ProgressDialog, WorkerCallsRunOnTheGuiThreadAndFilterConverts) {
    EXPECT_EQ(
        ConvertFileFilter("varDex Download Files (*.img;*.dnl)|*.img;*.dnl|All Files (*.*)|*.*||")
            .toStdString(),
        "varDex Download Files (*.img *.dnl);;All Files (*)");

    CCommProgressDialog dialog(nullptr);
    QThread* gui = QThread::currentThread();
    QThread* ran_on = nullptr;
    std::thread worker([&] {
        dialog.SetStatusText("A\rB");
        dialog.SetProgressRange(0, 23);
        dialog.SetProgressPos(7);
        ran_on = CallOnGuiThread(&dialog, [] { return QThread::currentThread(); });
        dialog.EnableCancel(false);
    });
    // The worker's calls are served while the GUI thread runs its loop.
    QElapsedTimer waited;
    waited.start();
    while (ran_on == nullptr || dialog.GetDlgItem(2)->isEnabled()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_LT(waited.elapsed(), 10000);
    }
    worker.join();
    EXPECT_EQ(ran_on, gui);
    EXPECT_EQ(dialog.StatusText()->text().toStdString(), "A\nB");
    EXPECT_EQ(dialog.ProgressBar()->maximum(), 23);
    EXPECT_EQ(dialog.ProgressBar()->value(), 7);
}

}  // namespace
}  // namespace vardex::test
