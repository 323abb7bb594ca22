// The self-test dialog on the simulated varDex, with a person played by a timer
// inside the dialog's loop, and the Self Test page with scripted test results.
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gui_fixture.h"
#include "link/tapi_line.h"
#include "params/app_core.h"
#include "res/strings.h"
#include "selftest/self_test.h"
#include "ui/selftest/color_static.h"
#include "ui/selftest/self_test_art.h"
#include "ui/selftest/self_test_page.h"
#include "ui/selftest/self_test_progress.h"

using namespace vardex::selftest;
using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

using ui::CSelfTestPage1;
using ui::CSelfTestProgress;

// The person at the dialog: step runs every few milliseconds inside the
// dialog's loop until the dialog ends; it sees the dialog as the person does.
void PlayPerson(std::function<void(CSelfTestProgress&)> step) {
    ui::CDialog::SetModalHook([step](ui::CDialog* dialog) {
        auto* progress = dynamic_cast<CSelfTestProgress*>(dialog);
        if (progress == nullptr) {
            return;
        }
        auto* timer = new QTimer(progress);
        QObject::connect(timer, &QTimer::timeout, progress, [progress, step] {
            if (!progress->Ended()) {
                step(*progress);
            }
        });
        timer->start(2);
    });
}

bool Asking(const CSelfTestProgress& d) {
    return d.YesButton()->isVisible() && d.YesButton()->isEnabled() && d.isEnabled();
}

std::string Prompt(const CSelfTestProgress& d) {
    return d.PromptBanner()->text().toStdString();
}

// The reset sequence arrives whole: no command of the worker inside it.
::testing::AssertionResult HasResetSequence(const std::vector<std::string>& lines) {
    const auto& reset = CSelfTestRunner::ResetSequence();
    for (std::size_t at = 0; at + reset.size() <= lines.size(); ++at) {
        if (std::equal(reset.begin(), reset.end(), lines.begin() + static_cast<long>(at))) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "no whole reset sequence";
}

class SelfTestDialogTest : public ::testing::Test {
protected:
    SelfTestDialogTest() : scale_(kAnswerScale) {
        auto& port = app_.m_workingRecord;
        EXPECT_EQ(port.Line().OpenPort(device_.Path(), 115200), OpenResult::kOk);
        port.Line().SelectDirectPort(device_.Path());
        device_.KeepReceivedBytes(true);
    }
    ~SelfTestDialogTest() override {
        ui::CDialog::SetModalHook({});
        CSelfTestProgress::SetRunnerFactory({});
    }

    std::vector<std::string> Received() const {
        std::vector<std::string> lines;
        std::istringstream in(device_.ReceivedBytes());
        std::string line;
        while (std::getline(in, line, '\r')) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    int Count(const std::string& command) const {
        int n = 0;
        for (const auto& line : Received()) {
            n += line == command ? 1 : 0;
        }
        return n;
    }
    void Lift(int port) {
        device_.Modify([port](sim::Device& d) { d.LiftHandset(port); });
    }

    ScopedTimeScale scale_;
    StartedPtyDevice device_;
    CVarDexConfigurationManagerApp app_;
};

TEST_F(SelfTestDialogTest, CancelWhileAskingStopsOffTheGuiThreadAndEndsInterrupted) {
    int steps_while_stopping = 0;
    bool shows_stopping = true;
    PlayPerson([&](CSelfTestProgress& d) {
        if (d.Stopping()) {
            // The GUI thread is free while the reset runs: these steps show it.
            if (!HasResetSequence(Received())) {
                ++steps_while_stopping;
            }
            shows_stopping = shows_stopping && !d.CancelButton()->isEnabled() &&
                             d.NameBanner()->text() == ui::Text(res::kTextSelfTestStopping);
            return;
        }
        if (Asking(d) && Prompt(d) == "Is the telephone ringing?") {
            // A slow device: the reset takes a while.
            device_.SetReplyDelayMs(20);
            d.CancelButton()->click();
        }
    });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestRing, kPortsBoth), TEST_INTERRUPTED);
    EXPECT_GT(steps_while_stopping, 0);
    EXPECT_TRUE(shows_stopping);
    EXPECT_EQ(dialog.m_strErrors, "");
    EXPECT_TRUE(HasResetSequence(Received()));
    EXPECT_EQ(Received().back(), "AT/CONPOTS");
    // The second port never started.
    EXPECT_EQ(Count("AT/RING 1"), 0);
    EXPECT_FALSE(device_.Inspect([](const sim::Device& d) { return d.Phone(0).ringing; }));
}

TEST_F(SelfTestDialogTest, ClosingOrEscapeWhileAskingEndsInterrupted) {
    // The window's close gives no answer: the question ends the test.
    PlayPerson([](CSelfTestProgress& d) {
        if (Asking(d)) {
            d.close();
        }
    });
    {
        CSelfTestProgress dialog(app_.m_workingRecord);
        EXPECT_EQ(dialog.RunTest(kTestCharging, kPortFirst), TEST_INTERRUPTED);
        EXPECT_EQ(dialog.m_strErrors, "");
    }
    EXPECT_EQ(Count("AT/NOCHARGE 0"), 0) << "the procedure went on after the question";
    // Escape is Cancel.
    PlayPerson([](CSelfTestProgress& d) {
        if (Asking(d)) {
            QTest::keyClick(&d, Qt::Key_Escape);
        }
    });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestCharging, kPortFirst), TEST_INTERRUPTED);
    EXPECT_TRUE(HasResetSequence(Received()));
}

TEST_F(SelfTestDialogTest, CancelDuringTheHardwareTestResetsButKeepsItsResult) {
    bool pressed = false;
    PlayPerson([&](CSelfTestProgress& d) {
        if (!pressed && Count("AT/DLOOP") > 0) {
            pressed = true;
            d.CancelButton()->click();
        }
    });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestHardwareInterface, kPortsBoth), TEST_PASS);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(HasResetSequence(Received()));
    // The test ran to its own end after the reset.
    EXPECT_EQ(Received().back(), "AT/CONPOTS");
    EXPECT_EQ(dialog.m_strErrors, "");
}

TEST_F(SelfTestDialogTest, EnterOkAndCloseDuringPollingDoNotEndTheTest) {
    int polls_at_close = -1;
    bool answered = false;
    PlayPerson([&](CSelfTestProgress& d) {
        if (Prompt(d) == "Pickup the handset." && polls_at_close < 0 &&
            Count("AT/HOOKSTATE 0") > 0) {
            // The handset is still down: none of these may end the dialog.
            QTest::keyClick(&d, Qt::Key_Return);
            d.accept();
            d.close();
            polls_at_close = Count("AT/HOOKSTATE 0");
            return;
        }
        if (polls_at_close > 0 && !answered && Count("AT/HOOKSTATE 0") >= polls_at_close + 3) {
            EXPECT_FALSE(d.Ended());
            Lift(0);
            answered = true;  // lifted; the question comes next
            return;
        }
        if (answered && Asking(d) && Prompt(d) == "Do you hear the tone?") {
            // Enter goes to Yes, the default button: an answer, not an end.
            QTest::keyClick(&d, Qt::Key_Return);
        }
    });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestTone, kPortFirst), TEST_PASS);
    EXPECT_GT(polls_at_close, 0);
    EXPECT_EQ(dialog.m_strErrors, "");
    EXPECT_EQ(Count("AT/STOPTONE 0"), 1);
}

TEST_F(SelfTestDialogTest, FaultFlashShowsAlarmThenRestoresBanner) {
    // Captured inside the loop, while the worker sleeps in the flash.
    bool flashed = false;
    bool disabled = false;
    QColor text, background;
    QColor text_before, background_before;
    PlayPerson([&](CSelfTestProgress& d) {
        const QString shown = d.PromptBanner()->text();
        if (shown == "Ring generator #1 fault") {
            flashed = true;
            disabled = !d.isEnabled();
            text = d.PromptBanner()->GetTextColor();
            background = d.PromptBanner()->GetBkColor();
            return;
        }
        if (!flashed && Asking(d) && shown == "Is the telephone ringing?") {
            text_before = d.PromptBanner()->GetTextColor();
            background_before = d.PromptBanner()->GetBkColor();
            d.NoButton()->click();
        }
    });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestRing, kPortFirst), TEST_FAIL);
    EXPECT_EQ(dialog.m_strErrors, "Ring generator #1 fault");
    ASSERT_TRUE(flashed);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(text, QColor(255, 0, 0));
    EXPECT_EQ(background, QColor(255, 255, 0));
    EXPECT_EQ(dialog.PromptBanner()->text().toStdString(), "Is the telephone ringing?");
    EXPECT_EQ(dialog.PromptBanner()->GetTextColor(), text_before);
    EXPECT_EQ(dialog.PromptBanner()->GetBkColor(), background_before);
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(dialog.Shown(), TestPicture::kFirstSocket);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Telephone Ring Test"));
}

TEST_F(SelfTestDialogTest, CancelKeepsItsPlaceWhicheverAnswersAreShown) {
    CSelfTestProgress dialog(app_.m_workingRecord);
    dialog.show();
    const auto cancel_at = [&dialog](bool show_yes, bool show_no) {
        dialog.ShowAnswers(show_yes, show_no);
        dialog.layout()->activate();
        return dialog.CancelButton()->geometry();
    };
    const QRect with_both = cancel_at(true, true);
    EXPECT_EQ(cancel_at(false, false), with_both);
    EXPECT_EQ(cancel_at(true, false), with_both);
}

// A runner whose worker cannot be made.
class NoThreadRunner : public CSelfTestRunner {
public:
    using CSelfTestRunner::CSelfTestRunner;

protected:
    bool LaunchWorker(std::function<void()>) override { return false; }
};

TEST_F(SelfTestDialogTest, WorkerThatCannotStartGivesInterruptedWithoutAWindow) {
    CSelfTestProgress::SetRunnerFactory([](ISelfTestView& view, CDevicePort& port) {
        return std::make_unique<NoThreadRunner>(view, port);
    });
    bool shown = false;
    ui::CDialog::SetModalHook([&](ui::CDialog*) { shown = true; });
    CSelfTestProgress dialog(app_.m_workingRecord);
    EXPECT_EQ(dialog.RunTest(kTestHardwareInterface, kPortsBoth), TEST_INTERRUPTED);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(Received().empty());
}

TEST(ColorStatic, SettersReturnThePreviousColour) {
    ui::CColorStatic banner;
    const QColor face = banner.GetBkColor();
    EXPECT_EQ(face, banner.palette().color(QPalette::Button));
    EXPECT_EQ(banner.GetTextColor(), banner.palette().color(QPalette::ButtonText));
    EXPECT_EQ(banner.SetBkColor(Qt::yellow, false), face);
    EXPECT_EQ(banner.SetBkColor(Qt::blue, true), QColor(Qt::yellow));
    EXPECT_EQ(banner.SetTextColor(Qt::red, false), banner.palette().color(QPalette::ButtonText));
    EXPECT_EQ(banner.GetTextColor(), QColor(Qt::red));
    // What is painted is the stored colour, with or without the dialog enabled.
    banner.setText(QStringLiteral("x"));
    banner.resize(40, 20);
    banner.setEnabled(false);
    const QImage image = banner.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(1, 1)), QColor(Qt::blue));
}

TEST(SelfTestArt, EveryPictureHasItsOwnPixelsOnScaledScreens) {
    for (const char* name :
         {"port1", "port2", "no_phone", "not_tested", "passed", "failed", "interrupted"}) {
        const QIcon icon = ui::SelfTestArt(QString::fromLatin1(name));
        const int size = QString::fromLatin1(name).startsWith(QLatin1String("port")) ||
                                 QString::fromLatin1(name) == QLatin1String("no_phone")
                             ? 48
                             : 32;
        for (const qreal scale : {1.0, 2.0, 3.0}) {
            // Drawn at the screen's resolution, not an enlarged small picture.
            const QPixmap pixmap = icon.pixmap(QSize(size, size), scale);
            EXPECT_EQ(pixmap.size(), QSize(size, size) * scale) << name << " at " << scale;
        }
        const QImage image = icon.pixmap(QSize(size, size), 1.0).toImage();
        EXPECT_EQ(image.size(), QSize(size, size)) << name;
    }
}

// ---- the page ----

// What each test gives when the page runs it, and which tests ran.
struct Script {
    std::map<int, std::pair<TestEnd, std::string>> results;  // test: end value, faults
    std::vector<int> ran;
};

// Ends the dialog at once with the scripted result: no worker, no device.
class ScriptedRunner : public CSelfTestRunner {
public:
    ScriptedRunner(ISelfTestView& view, CDevicePort& port, Script& script)
        : CSelfTestRunner(view, port), view_(view), script_(script) {}

protected:
    bool LaunchWorker(std::function<void()>) override {
        const int test = dynamic_cast<CSelfTestProgress&>(view_).m_nTest;
        script_.ran.push_back(test);
        const auto found = script_.results.find(test);
        m_nResult = found != script_.results.end() ? found->second.first : TestEnd::kPass;
        m_strErrors = found != script_.results.end() ? found->second.second : "";
        view_.TestEnded(m_nResult);
        return true;
    }

private:
    ISelfTestView& view_;
    Script& script_;
};

class Host : public ui::ISheetHost {
public:
    CVarDexConfigurationManagerApp& App() override { return app; }
    JobResult RunDeviceJob(ui::DeviceJob, QWidget*, bool*, const std::string&) override {
        return JobResult::kStopped;
    }
    bool WriteDevice() override { return true; }
    int TransferRecord(int) override { return 1; }
    bool SetActivePage(int) override { return true; }
    void PostClose() override {}
    void EndWithOk() override {}
    CVarDexConfigurationManagerApp app;
};

class Page : public CSelfTestPage1 {
public:
    using CSelfTestPage1::CSelfTestPage1;
    using CSelfTestPage1::OnInitDialog;
};

class SelfTestPageTest : public ::testing::Test {
protected:
    SelfTestPageTest() {
        auto& record = host_.app.m_workingRecord;
        EXPECT_EQ(record.Line().OpenPort(device_.Path(), 115200), OpenResult::kOk);
        record.Line().SelectDirectPort(device_.Path());
        CSelfTestProgress::SetRunnerFactory([this](ISelfTestView& view, CDevicePort& port) {
            return std::make_unique<ScriptedRunner>(view, port, script_);
        });
    }
    ~SelfTestPageTest() override { CSelfTestProgress::SetRunnerFactory({}); }

    // A page built for a device of that model version.
    std::unique_ptr<Page> MakePage(std::uint16_t model_version) {
        host_.app.m_workingRecord.m_wModelVersion = model_version;
        auto page = std::make_unique<Page>(host_);
        page->OnInitDialog();
        return page;
    }
    static std::vector<int> Tests(const Page& page) {
        std::vector<int> tests;
        for (int row = 0; row < page.List()->topLevelItemCount(); ++row) {
            tests.push_back(CSelfTestPage1::RowTest(page.List()->topLevelItem(row)));
        }
        return tests;
    }
    static void Press(Page& page, int id) { page.Item<QPushButton>(id)->click(); }
    static QTreeWidgetItem* Row(Page& page, int row) { return page.List()->topLevelItem(row); }

    ScopedTimeScale scale_{kAnswerScale};
    StartedPtyDevice device_;
    Host host_;
    Script script_;
};

TEST_F(SelfTestPageTest, RowsFollowTheModelsMajorVersion) {
    auto page = MakePage(0x0402);
    EXPECT_EQ(Tests(*page), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    QTreeWidget* list = page->List();
    EXPECT_EQ(list->headerItem()->text(0), "Test Name");
    EXPECT_EQ(list->headerItem()->text(1), "Result");
    EXPECT_EQ(list->headerItem()->text(2), "Error Description");
    // At least the designed widths, and room for every name and result.
    const QFontMetrics metrics(list->font());
    EXPECT_GE(list->columnWidth(0), 200);
    EXPECT_GE(list->columnWidth(0),
              32 + metrics.horizontalAdvance(QStringLiteral("Interboard Communications test")));
    EXPECT_GE(list->columnWidth(1), 80);
    EXPECT_GE(list->columnWidth(1), metrics.horizontalAdvance(QStringLiteral("Not tested...")));
    EXPECT_EQ(Row(*page, 4)->text(0), "Telephone Dialing Test");
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        EXPECT_EQ(CSelfTestPage1::RowImage(Row(*page, row)), CSelfTestPage1::kImageNotTested);
        EXPECT_EQ(Row(*page, row)->text(1), "Not tested...");
        EXPECT_EQ(Row(*page, row)->text(2), "");
    }

    // Major version 3 has no dialing row; the rows after it keep their tests.
    page = MakePage(0x0301);
    EXPECT_EQ(Tests(*page), (std::vector<int>{0, 1, 2, 3, 5, 6}));
    EXPECT_EQ(Row(*page, 4)->text(0), "Telephone Tone Test");
    script_.results[kTestTone] = {TestEnd::kFail, "Tone generator #1 fault"};
    Press(*page, CSelfTestPage1::IDC_TEST_ALL);
    EXPECT_EQ(script_.ran, (std::vector<int>{0, 1, 2, 3, 5, 6}));
    EXPECT_EQ(Row(*page, 4)->text(2), "Tone generator #1 fault");
}

TEST_F(SelfTestPageTest, EachResultShowsItsImageTextAndFaults) {
    auto page = MakePage(0x0100);
    script_.results[kTestHardwareInterface] = {TestEnd::kPass, ""};
    script_.results[kTestInterboard] = {TestEnd::kFail, "U interface fault, S interface fault"};
    script_.results[kTestRing] = {TestEnd::kInterrupted, ""};
    Press(*page, CSelfTestPage1::IDC_TEST_ALL);
    EXPECT_EQ(CSelfTestPage1::RowImage(Row(*page, 0)), CSelfTestPage1::kImagePassed);
    EXPECT_EQ(Row(*page, 0)->text(1), "Pass");
    EXPECT_EQ(CSelfTestPage1::RowImage(Row(*page, 1)), CSelfTestPage1::kImageFailed);
    EXPECT_EQ(Row(*page, 1)->text(1), "FAIL");
    EXPECT_EQ(Row(*page, 1)->text(2), "U interface fault, S interface fault");
    EXPECT_EQ(CSelfTestPage1::RowImage(Row(*page, 2)), CSelfTestPage1::kImageInterrupted);
    EXPECT_EQ(Row(*page, 2)->text(1), "Interrupted");
    EXPECT_EQ(Row(*page, 2)->text(2), "");
    // A row run again shows only its last result.
    script_.results[kTestInterboard] = {TestEnd::kPass, ""};
    Press(*page, CSelfTestPage1::IDC_TEST_NOT_PASSED);
    EXPECT_EQ(Row(*page, 1)->text(1), "Pass");
    EXPECT_EQ(Row(*page, 1)->text(2), "");
    // The icons are there at the list's size.
    EXPECT_FALSE(Row(*page, 0)->icon(0).pixmap(QSize(32, 32)).isNull());
}

TEST_F(SelfTestPageTest, TestRunsOnlySelectedRowsInRowOrder) {
    auto page = MakePage(0x0100);
    Press(*page, CSelfTestPage1::IDC_TEST);
    EXPECT_TRUE(script_.ran.empty());
    EXPECT_EQ(Row(*page, 0)->text(1), "Not tested...");

    Row(*page, 5)->setSelected(true);
    Row(*page, 1)->setSelected(true);
    Press(*page, CSelfTestPage1::IDC_TEST);
    EXPECT_EQ(script_.ran, (std::vector<int>{1, 5}));

    // A double click runs the selection as "Test..." does.
    script_.ran.clear();
    page->List()->clearSelection();
    Row(*page, 3)->setSelected(true);
    emit page->List()->itemDoubleClicked(Row(*page, 3), 0);
    EXPECT_EQ(script_.ran, (std::vector<int>{3}));
}

TEST_F(SelfTestPageTest, ClosedChannelRunsNothingAndSaysTheDeviceIsNotThere) {
    auto page = MakePage(0x0100);
    host_.app.m_workingRecord.Close();
    std::vector<std::string> said;
    ui::SetMessageBoxHook([&](const ui::MessageBoxCall& call) {
        said.push_back(call.text);
        return QMessageBox::Ok;
    });
    Press(*page, CSelfTestPage1::IDC_TEST_ALL);
    ui::SetMessageBoxHook({});
    EXPECT_TRUE(script_.ran.empty());
    ASSERT_EQ(said.size(), 1u) << "told once, not once per test";
    EXPECT_EQ(said[0].rfind("A varDex was not found", 0), 0u);
    EXPECT_EQ(Row(*page, 0)->text(1), "Not tested...");
}

TEST_F(SelfTestPageTest, TestNotPassedRerunsOnlyRowsWithoutAPass) {
    auto page = MakePage(0x0100);
    Press(*page, CSelfTestPage1::IDC_TEST_ALL);
    ASSERT_EQ(script_.ran.size(), 7u);
    script_.ran.clear();
    Press(*page, CSelfTestPage1::IDC_TEST_NOT_PASSED);
    EXPECT_TRUE(script_.ran.empty());

    // Failed, interrupted and untested rows run; passed ones do not.
    page = MakePage(0x0100);
    script_.results[kTestRing] = {TestEnd::kFail, "Ring generator #2 fault"};
    script_.results[kTestTone] = {TestEnd::kInterrupted, ""};
    Row(*page, 0)->setSelected(true);
    Row(*page, 2)->setSelected(true);
    Row(*page, 5)->setSelected(true);
    Press(*page, CSelfTestPage1::IDC_TEST);
    script_.ran.clear();
    script_.results.clear();
    Press(*page, CSelfTestPage1::IDC_TEST_NOT_PASSED);
    EXPECT_EQ(script_.ran, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(SelfTestPageTest, AVanishedDeviceEndsTheRunWithOneMessage) {
    CSelfTestProgress::SetRunnerFactory({});  // the real runner on the device
    auto page = MakePage(0x0100);
    int steps_since = 0;
    PlayPerson([&](CSelfTestProgress& d) {
        if (!device_.HungUp()) {
            if (Asking(d) && Prompt(d) == "Is the telephone ringing?") {
                device_.Hangup();  // nobody answers
            }
        } else if (++steps_since == 5000) {
            d.CancelButton()->click();  // a test left waiting: fail, do not hang
        }
    });
    std::vector<std::string> said;
    ui::SetMessageBoxHook([&](const ui::MessageBoxCall& call) {
        said.push_back(call.text);
        return QMessageBox::Ok;
    });
    Press(*page, CSelfTestPage1::IDC_TEST_ALL);
    ui::SetMessageBoxHook({});
    ui::CDialog::SetModalHook({});
    EXPECT_LT(steps_since, 5000);
    EXPECT_EQ(said, std::vector<std::string>{std::string(res::kTextDeviceVanished)});
    EXPECT_EQ(CSelfTestPage1::RowTest(Row(*page, 2)), kTestRing);
    EXPECT_EQ(Row(*page, 2)->text(1), "Interrupted");
    EXPECT_EQ(Row(*page, 2)->text(2), "");
    for (int row = 3; row < page->List()->topLevelItemCount(); ++row) {
        EXPECT_EQ(Row(*page, row)->text(1), "Not tested...") << row;
    }
}

// ---- in the program ----

class Model3Device : public RecordedDevice {
public:
    Model3Device() : RecordedDevice(sim::DeviceOptions{.model_version = "V3.1"}) {}
};
using Model3ProgramTest = ProgramFixture<Model3Device>;

TEST_F(Model3ProgramTest, SelfTestPageFollowsTheDeviceReadAndRunsOnItsChannel) {
    RunProgram([&](ui::CPropSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(4));
        ASSERT_EQ(sheet.GetActivePage(), &sheet.SelfTestPage());
        QTreeWidget* list = sheet.SelfTestPage().List();
        ASSERT_EQ(list->topLevelItemCount(), 6);
        // At the window's own size the columns fill the list and no more.
        QCoreApplication::sendPostedEvents();
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
        EXPECT_EQ(list->header()->sectionViewportPosition(2) + list->columnWidth(2),
                  list->viewport()->width());
        EXPECT_EQ(CSelfTestPage1::RowTest(list->topLevelItem(4)), kTestTone);
        list->topLevelItem(0)->setSelected(true);
        sheet.SelfTestPage().Item<QPushButton>(CSelfTestPage1::IDC_TEST)->click();
        EXPECT_EQ(list->topLevelItem(0)->text(1), "Pass");
        EXPECT_TRUE(device_.Sent("AT/DLOOP"));
        EXPECT_EQ(list->topLevelItem(1)->text(1), "Not tested...");
    });
}

}  // namespace
}  // namespace vardex::test
