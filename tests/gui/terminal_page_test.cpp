// The Terminal page on the simulator: the exact bytes of the trace switches
// over both command families, what leaving the page and closing the program
// send, keys going out raw with nothing shown locally, the log holding exactly
// what the device sent, and a reader that survives rapid page switching.
#include <unistd.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "gui_fixture.h"
#include "link/at_commands.h"
#include "res/strings.h"
#include "temp_files.h"
#include "terminal/trace_switches.h"
#include "ui/accessible.h"
#include "ui/help.h"
#include "ui/terminal/terminal_page.h"

using namespace vardex::link;

namespace vardex::test {
namespace {

using ui::CPropSheet;
using ui::CTerminalPage;
using Page = CTerminalPage;

constexpr int kTerminalPage = 3;
constexpr int kWaitMs = 5000;
const std::string kAllOff = vardex::link::at::Line(vardex::link::at::kAllTracesOff);

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

QString Screen(CTerminalPage& page) {
    return page.Terminal().ScreenLines().join(QLatin1Char('\n'));
}

class TerminalPageTest : public PtyProgramTest {
protected:
    ~TerminalPageTest() override { CTerminalPage::SetSaveFileHook({}); }

    CTerminalPage& Show(CPropSheet& sheet) {
        EXPECT_TRUE(sheet.SetActivePage(kTerminalPage));
        return sheet.TerminalPage();
    }

    // Starts a fresh recording of what the device takes from the line.
    void Mark() {
        device_.KeepReceivedBytes(false);
        device_.KeepReceivedBytes(true);
    }
    // The recording once it holds at least count bytes (or the wait ran out).
    std::string Received(std::size_t count) {
        static_cast<void>(
            QTest::qWaitFor([&] { return device_.ReceivedBytes().size() >= count; }, kWaitMs));
        return device_.ReceivedBytes();
    }
    // Clicks a trace box as a person does and returns the bytes it wrote.
    std::string Click(CTerminalPage& page, int id, std::size_t expected_length) {
        Mark();
        page.Item<QCheckBox>(id)->click();
        return Received(expected_length);
    }
    bool WaitForScreen(CTerminalPage& page, const QString& text) {
        return QTest::qWaitFor([&] { return Screen(page).contains(text); }, kWaitMs);
    }
    std::string LogPath(const char* name) {
        return TempPath(std::string("terminal-") + name + ".txt");
    }
};

// Each box writes its own command, terminator included and nothing else; the
// family follows the connection; leaving switches everything off once and
// clears the boxes; closing the program with the page shown does the same.
TEST_F(TerminalPageTest, TraceSwitchesWriteExactBytesAndLeavingSwitchesAllOff) {
    RunProgram([&](CPropSheet& sheet) {
        CTerminalPage& page = Show(sheet);
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L1, 9), "ATCD1CD9\r");
        EXPECT_EQ(page.m_bTraceL1, 1);
        // The device's trace lines reach the screen.
        EXPECT_TRUE(WaitForScreen(page, QStringLiteral("L1  INFO")));
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L1, 9), "ATCD0CD9\r");
        EXPECT_EQ(page.m_bTraceL1, 0);
        EXPECT_EQ(Click(page, Page::IDC_TRACE_U, 10), "ATCD11CD9\r");
        EXPECT_EQ(Click(page, Page::IDC_TRACE_APP, 9), "ATCD7CD9\r");

        W().m_bUsbConnection = 1;
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L2, 10), "ATCD3CD26\r");
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L3, 10), "ATCD5CD26\r");
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L1, 10), "ATCD1CD26\r");
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L1, 10), "ATCD0CD26\r");
        EXPECT_EQ(Click(page, Page::IDC_TRACE_U, 11), "ATCD10CD26\r");
        EXPECT_EQ(page.m_bTraceL2 + page.m_bTraceL3 + page.m_bTraceApp, 3);

        Mark();
        ASSERT_TRUE(sheet.SetActivePage(0));
        EXPECT_FALSE(page.Terminal().ReaderRunning());
        EXPECT_EQ(device_.ReceivedBytes(), kAllOff);
        for (int id : {Page::IDC_TRACE_U, Page::IDC_TRACE_L1, Page::IDC_TRACE_L2,
                       Page::IDC_TRACE_L3, Page::IDC_TRACE_APP}) {
            EXPECT_FALSE(page.Item<QCheckBox>(id)->isChecked()) << id;
        }
        EXPECT_EQ(page.m_bTraceL2 + page.m_bTraceL3 + page.m_bTraceApp + page.m_bTraceU, 0);

        // Back again: a new reader, the boxes still clear; the program then
        // closes with the page shown.
        Show(sheet);
        EXPECT_TRUE(page.Terminal().ReaderRunning());
        EXPECT_EQ(Click(page, Page::IDC_TRACE_L2, 10), "ATCD3CD26\r");
        Mark();
    });
    EXPECT_EQ(Count(Received(kAllOff.size()), kAllOff), 1u);
}

// Keys go out one raw byte each and the screen shows only what the device sends
// back; the keys a terminal has no byte for send nothing; the screen keeps the
// last 24 lines.
TEST_F(TerminalPageTest, KeysGoOutRawAndTheScreenShowsOnlyTheDevice) {
    RunProgram([&](CPropSheet& sheet) {
        CTerminalPage& page = Show(sheet);
        ui::CTerminalControl& terminal = page.Terminal();
        EXPECT_EQ(terminal.GetTextColor(), QColor(0, 255, 0));
        EXPECT_EQ(terminal.GetBkColor(), QColor(0, 0, 0));
        EXPECT_EQ(terminal.size(), terminal.ScreenSize());
        const QSize empty_size = terminal.size();
        EXPECT_EQ(terminal.Columns(), ui::CTerminalControl::kColumns);

        device_.SetSilent(true);
        const QString before = Screen(page);
        Mark();
        QTest::keyClicks(&terminal, QStringLiteral("AT"));
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Escape, Qt::Key_Delete, Qt::Key_Left, Qt::Key_Up,
                            Qt::Key_Home, Qt::Key_End, Qt::Key_PageDown}) {
            QTest::keyClick(&terminal, key);
        }
        QTest::keyClick(&terminal, Qt::Key_Backspace);
        for (const char* typed : {"\xC3\xA9", "\xE2\x82\xAC"}) {  // e acute, euro sign
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                            QString::fromUtf8(typed));
            QCoreApplication::sendEvent(&terminal, &press);
        }
        QTest::keyClick(&terminal, Qt::Key_Return);
        EXPECT_EQ(Received(5), std::string("AT\x08\xE9\r", 5));
        EXPECT_EQ(Screen(page), before);
        EXPECT_FALSE(terminal.textCursor().hasSelection());
        EXPECT_FALSE(sheet.Ended()) << "Escape in the terminal is not the sheet's Cancel";
        // F1 sends nothing either: it is the page's help.
        QTest::keyClick(&terminal, Qt::Key_F1);
        ASSERT_NE(ui::CurrentHelpWindow(), nullptr);
        EXPECT_EQ(ui::CurrentHelpWindow()->Topic(), ui::kHelpTerminal);
        ui::CurrentHelpWindow()->close();
        EXPECT_EQ(device_.ReceivedBytes(), std::string("AT\x08\xE9\r", 5));
        device_.SetSilent(false);

        // Every command's answer takes lines: far more than a screen.
        qsizetype most_lines = 0;
        terminal.m_onScreenUpdated = [&] {
            most_lines = std::max(most_lines, terminal.ScreenLines().size());
        };
        for (int i = 0; i < 15; ++i) {
            QTest::keyClicks(&terminal, QStringLiteral("AT"));
            QTest::keyClick(&terminal, Qt::Key_Return);
        }
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QStringList lines = terminal.ScreenLines();
                return lines.size() == ui::CTerminalControl::kLines &&
                       lines[lines.size() - 2] == QStringLiteral("OK") && lines.back().isEmpty();
            },
            kWaitMs));
        EXPECT_EQ(most_lines, ui::CTerminalControl::kLines);
        EXPECT_EQ(terminal.verticalScrollBar()->value(), 0) << "all 24 lines in view";
        EXPECT_EQ(terminal.ScreenSize(), empty_size) << "the screen keeps its size";
        EXPECT_EQ(terminal.textCursor().position(), terminal.document()->characterCount() - 1);
        terminal.m_onScreenUpdated = nullptr;

        // A double click selects nothing and writes nothing.
        Mark();
        QTest::mouseDClick(terminal.viewport(), Qt::LeftButton);
        EXPECT_FALSE(terminal.textCursor().hasSelection());
        EXPECT_EQ(device_.ReceivedBytes(), "");
    });
}

// The log holds exactly what the device sent while it was open, the button
// follows it, and leaving the page closes it; a file that cannot be made is
// reported with its path.
TEST_F(TerminalPageTest, TheLogHoldsExactlyWhatTheDeviceSent) {
    const std::string path = LogPath("log");
    const std::string bad = ::testing::TempDir() + "/no-such-dir/x/log.txt";
    std::vector<QString> filters;
    QString answer;
    CTerminalPage::SetSaveFileHook([&](const QString& filter) {
        filters.push_back(filter);
        return answer;
    });
    RunProgram([&](CPropSheet& sheet) {
        CTerminalPage& page = Show(sheet);
        auto* button = page.Item<QPushButton>(Page::IDC_LOG);
        const QString start = ui::Text(res::LoadString(res::IDS_LOG_START));
        const QString stop = ui::Text(res::LoadString(res::IDS_LOG_STOP));
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(start));

        button->click();  // cancelled
        ASSERT_EQ(filters.size(), 1u);
        EXPECT_EQ(filters[0], QStringLiteral("varDex Log Files (*.txt);;All Files (*)"));
        EXPECT_FALSE(page.Terminal().IsLogOpen());
        EXPECT_TRUE(ui_.messages.empty());

        answer = QString::fromStdString(bad);
        button->click();
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text, "Unable to open log file " + bad + " for writting.");
        EXPECT_EQ(ui_.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(start));

        // What the device answers to one command, as a fresh one answers it.
        std::string expected;
        sim::Device fresh({}, [&](std::string_view bytes) { expected.append(bytes); });
        fresh.Feed(device_.Echo() ? "ATE1\r" : "ATE0\r");
        expected.clear();
        fresh.Feed("ATI\r");

        answer = QString::fromStdString(path);
        button->click();
        EXPECT_TRUE(page.Terminal().IsLogOpen());
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(stop));
        QTest::keyClicks(&page.Terminal(), QStringLiteral("ATI"));
        QTest::keyClick(&page.Terminal(), Qt::Key_Return);
        EXPECT_TRUE(WaitForScreen(page, QStringLiteral("OK")));

        ASSERT_TRUE(sheet.SetActivePage(0));
        EXPECT_FALSE(page.Terminal().IsLogOpen());
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(start));
        std::ifstream in(path, std::ios::binary);
        const std::string logged((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(logged, expected);

        // Back on the page, a new log needs a new choice.
        Show(sheet);
        EXPECT_FALSE(page.Terminal().IsLogOpen());
        button->click();
        EXPECT_EQ(filters.size(), 4u);
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(stop));
        button->click();
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(start));
        EXPECT_EQ(filters.size(), 4u) << "stopping a log asks for nothing";

        // A log whose writes fail ends with a word, not in silence.
        answer = QStringLiteral("/dev/full");
        button->click();
        ASSERT_TRUE(page.Terminal().IsLogOpen());
        QTest::keyClicks(&page.Terminal(), QStringLiteral("AT"));
        QTest::keyClick(&page.Terminal(), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ui_.messages.size() == 2; }, kWaitMs));
        EXPECT_EQ(ui_.messages.back().text, "Unable to open log file /dev/full for writting.");
        EXPECT_FALSE(page.Terminal().IsLogOpen());
        EXPECT_EQ(ui::SpokenText(button->text()), ui::SpokenText(start));
    });
    std::remove(path.c_str());
}

// Page switches as fast as they come: every leave switches the traces off once,
// and after the last return exactly one reader serves the screen.
TEST_F(TerminalPageTest, RapidPageSwitchesLeaveOneWorkingReader) {
    RunProgram([&](CPropSheet& sheet) {
        CTerminalPage& page = Show(sheet);
        Mark();
        const unsigned started = page.Terminal().ReadersStarted();
        constexpr int kSwitches = 200;
        {
            // Each leave waits for the device's answer to the all-off command.
            ScopedTimeScale faster(kScale / 5);
            for (int i = 0; i < kSwitches; ++i) {
                ASSERT_TRUE(sheet.SetActivePage(i % 2 == 0 ? 0 : kTerminalPage));
            }
            ASSERT_TRUE(sheet.SetActivePage(kTerminalPage));
        }
        EXPECT_EQ(Count(Received(kSwitches / 2 * kAllOff.size()), kAllOff),
                  static_cast<std::size_t>(kSwitches / 2));
        EXPECT_TRUE(page.Terminal().ReaderRunning());
        EXPECT_LE(page.Terminal().ReadersStarted(), started + kSwitches / 2 + 1);

        QTest::keyClicks(&page.Terminal(), QStringLiteral("ATI"));
        QTest::keyClick(&page.Terminal(), Qt::Key_Return);
        EXPECT_TRUE(WaitForScreen(page, QStringLiteral("OK")));
    });
}

// Apply from the Terminal page: the write has the channel to itself (the
// reader stops for it, and with it the log) and the terminal goes on after.
// A channel that closed under the terminal (a device gone) ends its reader
// rather than leaving it to spin, until a job has found the device again.
TEST_F(TerminalPageTest, ApplyFromThePagePausesTheReader) {
    const std::string path = LogPath("apply");
    CTerminalPage::SetSaveFileHook([&](const QString&) { return QString::fromStdString(path); });
    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 3); });
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(ui::CUpgradePage::IDC_RESET)->click();
        CTerminalPage& page = Show(sheet);
        auto* button = page.Item<QPushButton>(Page::IDC_LOG);
        button->click();
        ASSERT_TRUE(page.Terminal().IsLogOpen());
        const unsigned started = page.Terminal().ReadersStarted();
        Mark();
        sheet.OnApplyNow();
        EXPECT_EQ(Count(device_.ReceivedBytes(), "ATCH0\r"), 1u);
        EXPECT_TRUE(page.Terminal().ReaderRunning());
        EXPECT_EQ(page.Terminal().ReadersStarted(), started + 1);
        EXPECT_FALSE(page.Terminal().IsLogOpen());
        EXPECT_EQ(ui::SpokenText(button->text()),
                  ui::SpokenText(ui::Text(res::LoadString(res::IDS_LOG_START))));
        QTest::keyClicks(&page.Terminal(), QStringLiteral("ATI"));
        QTest::keyClick(&page.Terminal(), Qt::Key_Return);
        EXPECT_TRUE(WaitForScreen(page, QStringLiteral("OK")));

        std::unique_lock exchange(W().ExchangeMutex());
        W().Close();
        exchange.unlock();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page.Terminal().ReaderRunning(); }, kWaitMs));
        sheet.InformationPage().Item<QPushButton>(ui::CUpgradePage::IDC_RESET)->click();
        sheet.OnApplyNow();
        QTest::keyClicks(&page.Terminal(), QStringLiteral("ATI4"));
        QTest::keyClick(&page.Terminal(), Qt::Key_Return);
        EXPECT_TRUE(WaitForScreen(page, QStringLiteral("Calvetra")));
    });
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vardex::test
