// The Telephony page on simulated varDex variants: what each country lets a
// person change, the own-number boxes, the limits of the number edits, and
// what an Apply writes and stores.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "gui_fixture.h"
#include "res/strings.h"
#include "ui/pages/telephony_page.h"

namespace vardex::test {
namespace {

using ui::CPropSheet;
using ui::CTelephonyPage;
using Page = CTelephonyPage;

constexpr char kHungary[] = "Hungary";
constexpr char kPoland[] = "Poland";
constexpr char kBrasil[] = "Brasil";
constexpr char kGermany[] = "Germany";
using HungaryPage = ProgramFixture<CountryDevice<kHungary>>;
using PolandPage = ProgramFixture<CountryDevice<kPoland>>;
using BrasilPage = ProgramFixture<CountryDevice<kBrasil>>;
using GermanyPage = ProgramFixture<CountryDevice<kGermany>>;

CTelephonyPage& Show(CPropSheet& sheet) {
    EXPECT_TRUE(sheet.SetActivePage(1));
    return sheet.TelephonyPage();
}

bool Enabled(const CTelephonyPage& page, int id) {
    return page.GetDlgItem(id)->isEnabled();
}

QLineEdit* Edit(const CTelephonyPage& page, int id) {
    return page.Item<QLineEdit>(id);
}

QCheckBox* Box(const CTelephonyPage& page, int id) {
    return page.Item<QCheckBox>(id);
}

void Type(const CTelephonyPage& page, int id, const QString& text) {
    QLineEdit* edit = Edit(page, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void LeaveField(const CTelephonyPage& page, int id) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(Edit(page, id), &out);
}

void TypeAndLeave(const CTelephonyPage& page, int id, const QString& text) {
    Type(page, id, text);
    LeaveField(page, id);
}

void Choose(const CTelephonyPage& page, int id, int index) {
    auto* list = page.Item<QComboBox>(id);
    list->setCurrentIndex(index);
    emit list->activated(index);
}

// The Hungarian-only controls, and the LLC octets of both ports.
constexpr int kHungarianOnly[] = {Page::IDC_MWI1,           Page::IDC_MWI2,
                                  Page::IDC_TERMINAL_LABEL, Page::IDC_TERMINAL1,
                                  Page::IDC_TERMINAL2,      Page::IDC_LLC_LABEL};

void ExpectNonHungarianRules(const CTelephonyPage& page) {
    for (const int id : kHungarianOnly) {
        EXPECT_FALSE(Enabled(page, id)) << id;
    }
    for (const auto& port : Page::kLlcIds) {
        for (const int id : port) {
            EXPECT_FALSE(Enabled(page, id)) << id;
        }
    }
    EXPECT_TRUE(Enabled(page, Page::IDC_NO_MLPPP1));
    EXPECT_TRUE(Enabled(page, Page::IDC_NO_MLPPP2));
}

TEST_F(HungaryPage, TerminalsAndMessageWaitingButNoMlppp) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        for (const int id : kHungarianOnly) {
            EXPECT_TRUE(Enabled(page, id)) << id;
        }
        EXPECT_FALSE(Enabled(page, Page::IDC_NO_MLPPP1));
        EXPECT_FALSE(Enabled(page, Page::IDC_NO_MLPPP2));
        EXPECT_TRUE(Enabled(page, Page::IDC_FSK));
        EXPECT_EQ(page.Item<QComboBox>(Page::IDC_TERMINAL2)->itemText(1), "G3 Fax ");
        EXPECT_EQ(page.Item<QComboBox>(Page::IDC_TERMINAL1)->itemText(1), "G3 Fax");
        // "Analog Modem" opens the octets of its own port only.
        for (int port = 0; port < 2; ++port) {
            const int list = port == 0 ? Page::IDC_TERMINAL1 : Page::IDC_TERMINAL2;
            for (const int id : Page::kLlcIds[port]) {
                EXPECT_FALSE(Enabled(page, id));
            }
            Choose(page, list, 2);
            for (const int id : Page::kLlcIds[port]) {
                EXPECT_TRUE(Enabled(page, id));
            }
            for (const int id : Page::kLlcIds[1 - port]) {
                EXPECT_EQ(Enabled(page, id), port == 1);
            }
            Choose(page, list, 1);
            for (const int id : Page::kLlcIds[port]) {
                EXPECT_FALSE(Enabled(page, id));
            }
            Choose(page, list, 2);
        }
        EXPECT_EQ(W().m_bSettingsModified, 1);
        EXPECT_EQ(W().m_bOtherModified, 0);
    });
}

TEST_F(PolandPage, FlashGoesDownToFiveAndTheHungarianControlsAreClosed) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        ExpectNonHungarianRules(page);
        EXPECT_TRUE(Enabled(page, Page::IDC_FSK));
        EXPECT_EQ(static_cast<ui::CSpinButton*>(page.GetDlgItem(Page::IDC_FLASH_SPIN))->Lower(), 5);
        TypeAndLeave(page, Page::IDC_FLASH, "5");
        EXPECT_EQ(Edit(page, Page::IDC_FLASH)->text(), "5");
        TypeAndLeave(page, Page::IDC_FLASH, "4");
        EXPECT_TRUE(ui_.Said("Flash Duration: Valid limits: 5 - 100"));
    });
}

TEST_F(BrasilPage, NoFskLevel) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        ExpectNonHungarianRules(page);
        EXPECT_FALSE(Enabled(page, Page::IDC_FSK));
        EXPECT_FALSE(Enabled(page, Page::IDC_FSK_SPIN));
        EXPECT_TRUE(Enabled(page, Page::IDC_FLASH));
    });
}

TEST_F(GermanyPage, ValuesOutsideTheLimitsArePutBack) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        ExpectNonHungarianRules(page);
        const QString loaded = Edit(page, Page::IDC_FLASH)->text();
        TypeAndLeave(page, Page::IDC_FLASH, "10");
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text, "Flash Duration: Valid limits: 20 - 100");
        EXPECT_EQ(Edit(page, Page::IDC_FLASH)->text(), loaded);
        // 0 is no flash at all.
        TypeAndLeave(page, Page::IDC_FLASH, "00");
        EXPECT_EQ(Edit(page, Page::IDC_FLASH)->text(), "0");
        TypeAndLeave(page, Page::IDC_FSK, "25");
        EXPECT_TRUE(ui_.Said("FSK Level: Valid limits: 0 - 19"));
        EXPECT_EQ(ui_.messages.size(), 2u);

        // Apply from the edit (Alt+A): refused once, with the field's limits,
        // though the box takes the focus; the text stays to be corrected.
        const int progress = ui_.progress_dialogs;
        const struct {
            int id;
            QString typed;
            std::string said;
        } refused[] = {{Page::IDC_FSK, "", "FSK Level: Valid limits: 0 - 19"},
                       {Page::IDC_FLASH, "10", "Flash Duration: Valid limits: 20 - 100"},
                       {Page::IDC_FLASH, "", "Flash Duration: Valid limits: 20 - 100"}};
        for (const auto& r : refused) {
            ui::SetMessageBoxHook([this, edit = Edit(page, r.id)](const ui::MessageBoxCall& m) {
                ui_.messages.push_back(m);
                QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
                QCoreApplication::sendEvent(edit, &out);
                return QMessageBox::Ok;
            });
            Type(page, r.id, r.typed);
            ui_.messages.clear();
            sheet.OnApplyNow();
            ASSERT_EQ(ui_.messages.size(), 1u) << r.id;
            EXPECT_EQ(ui_.messages[0].text, r.said);
            EXPECT_EQ(Edit(page, r.id)->text(), r.typed);
        }
        EXPECT_EQ(ui_.progress_dialogs, progress) << "nothing written";
        EXPECT_FALSE(device_.Sent("ATS56=10"));
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
    });
}

TEST_F(HungaryPage, OwnNumberBoxesFollowTheNumbers) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        for (const auto& port : Page::kOwnIds) {
            for (const int id : port) {
                EXPECT_FALSE(Enabled(page, id)) << "no number, no own number";
            }
        }
        for (int port = 0; port < 3; ++port) {
            for (int row = 0; row < 3; ++row) {
                Type(page, Page::kNumberIds[port][row], QString::number(100 * (port + 1) + row));
                EXPECT_TRUE(Enabled(page, Page::kOwnIds[port][row]));
            }
        }
        Box(page, Page::kOwnIds[1][0])->click();
        Box(page, Page::kOwnIds[2][2])->click();
        // Row #2 of Port 1 takes the port's "D" from row #1, and no other port's.
        Box(page, Page::kOwnIds[0][0])->click();
        Box(page, Page::kOwnIds[0][1])->click();
        EXPECT_EQ(page.Record().m_nOwnNumber1, 1);
        EXPECT_FALSE(Box(page, Page::kOwnIds[0][0])->isChecked());
        EXPECT_TRUE(Box(page, Page::kOwnIds[0][1])->isChecked());
        EXPECT_FALSE(Box(page, Page::kOwnIds[0][2])->isChecked());
        EXPECT_EQ(page.Record().m_nOwnNumber2, 0);
        EXPECT_EQ(page.Record().m_nOwnNumberDte, 2);
        // Unchecking leaves the port without an own number.
        Box(page, Page::kOwnIds[1][0])->click();
        EXPECT_EQ(page.Record().m_nOwnNumber2, -1);

        // Emptying the checked number takes its "D" away.
        Type(page, Page::kNumberIds[0][1], "");
        EXPECT_EQ(page.Record().m_nOwnNumber1, -1);
        EXPECT_FALSE(Box(page, Page::kOwnIds[0][1])->isChecked());
        EXPECT_FALSE(Enabled(page, Page::kOwnIds[0][1]));
        EXPECT_EQ(page.Record().m_nOwnNumberDte, 2);
        EXPECT_EQ(W().m_bOtherModified, 1);
        EXPECT_EQ(W().m_bSettingsModified, 0);
    });
}

TEST_F(HungaryPage, NumberEditsTakeOnlyWhatTheDeviceTakes) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        Type(page, Page::kNumberIds[0][0], "12a;3\t4");
        EXPECT_EQ(Edit(page, Page::kNumberIds[0][0])->text(), "1234");
        Type(page, Page::kNumberIds[2][0], "*31#;x 9");
        EXPECT_EQ(Edit(page, Page::kNumberIds[2][0])->text(), "*31#x 9");
        Type(page, Page::kNumberIds[1][2], QString(30, '7'));
        EXPECT_EQ(Edit(page, Page::kNumberIds[1][2])->text(), QString(24, '7'));
        EXPECT_EQ(page.Record().m_strPhoneMsn[5], std::string(24, '7'));
        Type(page, Page::IDC_FLASH, "4x2");
        EXPECT_EQ(Edit(page, Page::IDC_FLASH)->text(), "42");
    });
}

TEST_F(HungaryPage, AnLlcOctetAbove255KeepsThePageOpen) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        Choose(page, Page::IDC_TERMINAL1, 2);
        Type(page, Page::kLlcIds[0][1], "300");
        const int progress = ui_.progress_dialogs;
        sheet.OnApplyNow();
        ASSERT_FALSE(ui_.messages.empty());
        EXPECT_EQ(ui_.messages.back().text,
                  "LLC Octet 5C, Analog Port 1: Please enter an integer between 0 and 255.");
        EXPECT_EQ(ui_.progress_dialogs, progress);
        EXPECT_FALSE(sheet.Ended());
        EXPECT_EQ(sheet.GetActivePage(), &page);
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
        // Corrected, it goes out.
        Type(page, Page::kLlcIds[0][1], "200");
        sheet.OnApplyNow();
        EXPECT_TRUE(device_.Sent("ATS109=200"));
    });
}

TEST_F(HungaryPage, CallWaitingIsStoredAfterTheQuestionAndReadBack) {
    ui_.on_storage = [](ui::CStorageConfirmDialog* dialog) {
        dialog->Item<QAbstractButton>(ui::CStorageConfirmDialog::IDC_PROFILE0 + 1)->click();
        dialog->Item<QAbstractButton>(1)->click();
    };
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        const bool was = Box(page, Page::IDC_CALL_WAITING2)->isChecked();
        Box(page, Page::IDC_CALL_WAITING2)->click();
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.storage_dialogs, 1);
        EXPECT_TRUE(device_.Sent(was ? "ATS79.3=0" : "ATS79.3=1"));
        EXPECT_TRUE(device_.Sent("AT&W1"));
        sheet.ReadDevice();
        EXPECT_EQ(Box(page, Page::IDC_CALL_WAITING2)->isChecked(), !was);
        EXPECT_EQ(W().m_bCallWaiting2, was ? 0 : 1);
    });
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(HungaryPage, ANumberAloneIsWrittenWithoutTheStorageQuestion) {
    RunProgram([&](CPropSheet& sheet) {
        CTelephonyPage& page = Show(sheet);
        Type(page, Page::kNumberIds[1][0], "5551");
        Box(page, Page::kOwnIds[1][0])->click();
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.storage_dialogs, 0);
        EXPECT_TRUE(device_.Sent("AT&ZI3=5551"));
        EXPECT_TRUE(device_.Sent("AT&ZOb=5551"));
        EXPECT_EQ(W().m_strPhoneMsn[3], "5551");
        EXPECT_EQ(W().m_nOwnNumber2, 0);
        // Only the rows whose fields changed wrote anything.
        for (const auto& line : device_.Lines()) {
            EXPECT_TRUE(line.rfind("ATS", 0) != 0 || line.find('=') == std::string::npos) << line;
        }
    });
}

// A DTE number keeps a terminal's dialling characters on its way to the device
// and back; while the device refuses it, it stays on the page, pending.
TEST_F(HungaryPage, ADteNumberTheDeviceRefusedStaysOnThePageUntilItIsTaken) {
    const QString number = QStringLiteral("+36-1x*#9");
    const int edit = Page::kNumberIds[2][0];
    const int own = Page::kOwnIds[2][0];
    RunProgram([&](CPropSheet& sheet) {
        device_.Modify([](sim::Device& d) { d.SetRefuseWrites(true); });
        CTelephonyPage& page = Show(sheet);
        Type(page, edit, number);
        Box(page, own)->click();
        sheet.OnApplyNow();
        EXPECT_TRUE(ui_.Said("Faults detected"));
        EXPECT_EQ(Edit(page, edit)->text(), number);
        EXPECT_TRUE(Box(page, own)->isChecked());
        EXPECT_EQ(W().m_bSettingsModified, 0) << "no storage question for a number";
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());

        device_.Modify([](sim::Device& d) { d.SetRefuseWrites(false); });
        sheet.OnApplyNow();
        sheet.SetActivePage(0);
        sheet.ReadDevice();
        Show(sheet);
        EXPECT_EQ(Edit(page, edit)->text(), number);
        EXPECT_TRUE(Box(page, own)->isChecked());
        EXPECT_FALSE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
    });
    EXPECT_EQ(ui_.messages.size(), 1u) << "the refusal's only";
}

// Every value control of the page, as the person sets it.
struct Settings {
    QString numbers[3][3];
    int own[3];
    std::vector<int> checked;  // check boxes to be on; the others off
    int protocol, caller_id;
    int terminal[2];
    QString llc[2][3];
    QString flash, fsk;
};

void SetThrough(const CTelephonyPage& page, const Settings& s, const std::vector<int>& boxes) {
    for (int port = 0; port < 3; ++port) {
        for (int row = 0; row < 3; ++row) {
            Type(page, Page::kNumberIds[port][row], s.numbers[port][row]);
        }
        if (!Box(page, Page::kOwnIds[port][s.own[port]])->isChecked()) {
            Box(page, Page::kOwnIds[port][s.own[port]])->click();
        }
    }
    for (const int id : boxes) {
        const bool on = std::find(s.checked.begin(), s.checked.end(), id) != s.checked.end();
        if (Box(page, id)->isChecked() != on) {
            Box(page, id)->click();
        }
    }
    page.Item<QRadioButton>(s.protocol)->click();
    page.Item<QRadioButton>(s.caller_id)->click();
    for (int port = 0; port < 2; ++port) {
        if (page.GetDlgItem(Page::IDC_TERMINAL1)->isEnabled()) {
            // The octets open only for a modem; they stay when another terminal follows.
            const int list = port == 0 ? Page::IDC_TERMINAL1 : Page::IDC_TERMINAL2;
            Choose(page, list, 2);
            for (int octet = 0; octet < 3; ++octet) {
                Type(page, Page::kLlcIds[port][octet], s.llc[port][octet]);
            }
            Choose(page, list, s.terminal[port]);
        }
    }
    Type(page, Page::IDC_FLASH, s.flash);
    Type(page, Page::IDC_FSK, s.fsk);
}

void ExpectShown(const CTelephonyPage& page, const Settings& s, const std::vector<int>& boxes) {
    for (int port = 0; port < 3; ++port) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(Edit(page, Page::kNumberIds[port][row])->text(), s.numbers[port][row]);
            EXPECT_EQ(Box(page, Page::kOwnIds[port][row])->isChecked(), row == s.own[port]);
        }
    }
    for (const int id : boxes) {
        const bool on = std::find(s.checked.begin(), s.checked.end(), id) != s.checked.end();
        EXPECT_EQ(Box(page, id)->isChecked(), on) << id;
    }
    EXPECT_TRUE(page.Item<QRadioButton>(s.protocol)->isChecked());
    EXPECT_TRUE(page.Item<QRadioButton>(s.caller_id)->isChecked());
    if (page.GetDlgItem(Page::IDC_TERMINAL1)->isEnabled()) {
        for (int port = 0; port < 2; ++port) {
            const int list = port == 0 ? Page::IDC_TERMINAL1 : Page::IDC_TERMINAL2;
            EXPECT_EQ(page.Item<QComboBox>(list)->currentIndex(), s.terminal[port]);
            for (int octet = 0; octet < 3; ++octet) {
                EXPECT_EQ(Edit(page, Page::kLlcIds[port][octet])->text(), s.llc[port][octet]);
            }
        }
    }
    EXPECT_EQ(Edit(page, Page::IDC_FLASH)->text(), s.flash);
    EXPECT_EQ(Edit(page, Page::IDC_FSK)->text(), s.fsk);
}

// Set through the widgets, applied, read again from the device: the page shows
// it all back. Twice, so that every box goes both ways.
template <typename Fixture>
void RoundTrip(Fixture& test, CPropSheet& sheet, const std::vector<int>& boxes,
               const Settings (&rounds)[2]) {
    for (const Settings& s : rounds) {
        CTelephonyPage& page = Show(sheet);
        SetThrough(page, s, boxes);
        sheet.OnApplyNow();
        sheet.SetActivePage(0);
        sheet.ReadDevice();
        ExpectShown(Show(sheet), s, boxes);
    }
    EXPECT_TRUE(test.Messages().empty());
}

const std::vector<int> kCommonBoxes = {
    Page::IDC_CALL_WAITING1, Page::IDC_CALL_WAITING2, Page::IDC_CLIP_ON_CW1, Page::IDC_CLIP_ON_CW2,
    Page::IDC_METERING1,     Page::IDC_METERING2,     Page::IDC_DCB1,        Page::IDC_DCB2,
    Page::IDC_CLIR1,         Page::IDC_CLIR2,         Page::IDC_COLR1,       Page::IDC_COLR2,
    Page::IDC_CLIP,          Page::IDC_EMERGENCY};

std::vector<int> With(std::vector<int> boxes, std::initializer_list<int> more) {
    boxes.insert(boxes.end(), more);
    return boxes;
}

const Settings kRounds[2] = {
    {{{"111", "112", "113"}, {"221", "222", "223"}, {"331", "332", "333"}},
     {1, 2, 0},
     With(kCommonBoxes, {Page::IDC_MWI1, Page::IDC_MWI2, Page::IDC_NO_MLPPP1, Page::IDC_NO_MLPPP2}),
     Page::IDC_KEYPAD,
     Page::IDC_PRIOR_TO_RINGING,
     {2, 2},
     {{"1", "2", "3"}, {"250", "128", "7"}},
     "55",
     "7"},
    {{{"9", "", "8"}, {"", "7", ""}, {"6", "5", "4"}},
     {0, 1, 2},
     {},
     Page::IDC_FUNCTIONAL,
     Page::IDC_BETWEEN_RINGS,
     {1, 0},
     {{"0", "0", "0"}, {"0", "0", "0"}},
     "0",
     "19"},
};

template <typename Base>
class RoundTripTest : public Base {
public:
    const std::vector<ui::MessageBoxCall>& Messages() { return this->ui_.messages; }
};

using HungaryRoundTrip = RoundTripTest<HungaryPage>;
using PolandRoundTrip = RoundTripTest<PolandPage>;

TEST_F(HungaryRoundTrip, EveryFieldComesBackFromTheDevice) {
    RunProgram([&](CPropSheet& sheet) {
        RoundTrip(*this, sheet, With(kCommonBoxes, {Page::IDC_MWI1, Page::IDC_MWI2}), kRounds);
    });
}

TEST_F(PolandRoundTrip, EveryFieldComesBackFromTheDevice) {
    RunProgram([&](CPropSheet& sheet) {
        RoundTrip(*this, sheet, With(kCommonBoxes, {Page::IDC_NO_MLPPP1, Page::IDC_NO_MLPPP2}),
                  kRounds);
    });
}

}  // namespace
}  // namespace vardex::test
