// The Connection page and the X.25 properties on simulated varDex variants:
// which protocols and PPP controls each country and choice leave usable, the
// thresholds' limits, the multilink choice against the record, and every X.25
// value through the dialog to the device's registers and back.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "gui_fixture.h"
#include "res/strings.h"
#include "ui/help.h"
#include "ui/pages/connection_page.h"
#include "ui/pages/telephony_page.h"

using namespace vardex::params;
using namespace vardex::link;

namespace vardex::test {
namespace {

using ui::CConnectionPage;
using ui::CPropSheet;
using ui::CX25PropertiesDialog;
using Page = CConnectionPage;
using X25 = CX25PropertiesDialog;

constexpr char kPoland[] = "Poland";
constexpr char kLithuania[] = "Lithuania";
constexpr char kUae[] = "UAE";
constexpr char kCyprus[] = "Cyprus";
constexpr char kGermany[] = "Germany";
constexpr char kHungary[] = "Hungary";
using PolandConnection = ProgramFixture<CountryDevice<kPoland>>;
using LithuaniaConnection = ProgramFixture<CountryDevice<kLithuania>>;
using UaeConnection = ProgramFixture<CountryDevice<kUae>>;
using CyprusConnection = ProgramFixture<CountryDevice<kCyprus>>;
using GermanyConnection = ProgramFixture<CountryDevice<kGermany>>;
using HungaryConnection = ProgramFixture<CountryDevice<kHungary>>;

CConnectionPage& Show(CPropSheet& sheet) {
    EXPECT_TRUE(sheet.SetActivePage(2));
    return sheet.ConnectionPage();
}

bool Enabled(const QWidget& window, int id) {
    return ui::FindControl(&window, id)->isEnabled();
}

// A mouse click on the button's indicator, as a person makes it: nothing
// happens to a disabled one.
void Click(const QWidget& window, int id) {
    QWidget* button = ui::FindControl(&window, id);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QLineEdit* Edit(const QWidget& window, int id) {
    return qobject_cast<QLineEdit*>(ui::FindControl(&window, id));
}

bool Checked(const QWidget& window, int id) {
    return qobject_cast<QAbstractButton*>(ui::FindControl(&window, id))->isChecked();
}

void Type(const QWidget& window, int id, const QString& text) {
    QLineEdit* edit = Edit(window, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void LeaveField(const QWidget& window, int id) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(Edit(window, id), &out);
}

constexpr int kOptions[] = {Page::IDC_ASYNC_TO_SYNC, Page::IDC_MULTILINK_FIXED,
                            Page::IDC_BANDWIDTH_ON_DEMAND};
constexpr int kLabels[] = {Page::IDC_ADD_LABEL,       Page::IDC_ADD_RATE_LABEL,
                           Page::IDC_ADD_TIME_LABEL,  Page::IDC_DROP_LABEL,
                           Page::IDC_DROP_RATE_LABEL, Page::IDC_DROP_TIME_LABEL};
constexpr int kEdits[] = {Page::IDC_ADD_RATE, Page::IDC_ADD_TIME, Page::IDC_DROP_RATE,
                          Page::IDC_DROP_TIME};

void ExpectEnabled(const CConnectionPage& page, std::initializer_list<int> ids, bool on) {
    for (const int id : ids) {
        EXPECT_EQ(Enabled(page, id), on) << id;
    }
}
template <std::size_t N>
void ExpectEnabled(const CConnectionPage& page, const int (&ids)[N], bool on) {
    for (const int id : ids) {
        EXPECT_EQ(Enabled(page, id), on) << id;
    }
}

// V.110, V.120 and X.25 as the variant offers them; the other four always.
void ExpectProtocols(const CConnectionPage& page, bool v110, bool v120, bool x25) {
    ExpectEnabled(page,
                  {Page::IDC_PPP, Page::IDC_VOICE_TRANSPARENT, Page::IDC_PPP_TRANSPARENT,
                   Page::IDC_DATA_TRANSPARENT},
                  true);
    EXPECT_EQ(Enabled(page, Page::IDC_V110), v110);
    EXPECT_EQ(Enabled(page, Page::IDC_V120), v120);
    EXPECT_EQ(Enabled(page, Page::IDC_X25), x25);
}

TEST_F(PolandConnection, NothingCanBeChosen) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        ExpectEnabled(page, Page::kProtocolIds, false);
        ExpectEnabled(page, kOptions, false);
        ExpectEnabled(page, kLabels, false);
        ExpectEnabled(page, kEdits, false);
        ExpectEnabled(page, {Page::IDC_BAP_SUPPORT, Page::IDC_BAP_CALL_BACK}, false);
        const int protocol = page.Record().m_nProtocol;
        const int other = protocol == 3 ? Page::IDC_PPP : Page::IDC_DATA_TRANSPARENT;
        Click(page, other);
        Click(page, Page::IDC_X25);
        EXPECT_EQ(page.Record().m_nProtocol, protocol);
        EXPECT_FALSE(Checked(page, other));
        EXPECT_EQ(ui_.x25_dialogs, 0);
        EXPECT_EQ(W().m_bSettingsModified, 0);
        EXPECT_FALSE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
    });
}

TEST_F(LithuaniaConnection, V110ButNotV120) {
    RunProgram([&](CPropSheet& sheet) { ExpectProtocols(Show(sheet), true, false, false); });
}

TEST_F(UaeConnection, V110AndV120) {
    RunProgram([&](CPropSheet& sheet) { ExpectProtocols(Show(sheet), true, true, false); });
}

TEST_F(CyprusConnection, V110V120AndX25) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        ExpectProtocols(page, true, true, true);
        Click(page, Page::IDC_X25);
        Click(page, Page::IDC_X25);
        EXPECT_EQ(ui_.x25_dialogs, 2) << "every click opens the properties";
        EXPECT_EQ(page.Record().m_nProtocol, CDeviceConfig::kProtocolX25DChannel);
        EXPECT_EQ(W().m_bSettingsModified, 1);
    });
}

TEST_F(GermanyConnection, PppControlsFollowProtocolChoiceAndBap) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        ExpectProtocols(page, false, false, false);

        Click(page, Page::IDC_DATA_TRANSPARENT);
        EXPECT_EQ(page.Record().m_nProtocol, CDeviceConfig::kProtocolDataTransparent);
        ExpectEnabled(page, kOptions, false);
        ExpectEnabled(page, kLabels, false);
        ExpectEnabled(page, kEdits, false);
        ExpectEnabled(page, {Page::IDC_BAP_SUPPORT, Page::IDC_BAP_CALL_BACK}, false);
        EXPECT_EQ(W().m_bSettingsModified, 1);
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());

        Click(page, Page::IDC_PPP);
        Click(page, Page::IDC_MULTILINK_FIXED);
        EXPECT_EQ(page.m_nMultilink, 1);
        ExpectEnabled(page, kOptions, true);
        ExpectEnabled(page, kLabels, true);
        ExpectEnabled(page, kEdits, false);
        ExpectEnabled(page, {Page::IDC_BAP_SUPPORT, Page::IDC_BAP_CALL_BACK}, false);

        Click(page, Page::IDC_BANDWIDTH_ON_DEMAND);
        ExpectEnabled(page, kEdits, true);
        if (!Checked(page, Page::IDC_BAP_SUPPORT)) {
            Click(page, Page::IDC_BAP_SUPPORT);
        }
        ASSERT_TRUE(Enabled(page, Page::IDC_BAP_CALL_BACK));
        if (!Checked(page, Page::IDC_BAP_CALL_BACK)) {
            Click(page, Page::IDC_BAP_CALL_BACK);
        }
        EXPECT_EQ(page.Record().m_bBapCallBack, 1);
        // Unchecking BAP support closes and clears call back on the screen only.
        Click(page, Page::IDC_BAP_SUPPORT);
        EXPECT_FALSE(Enabled(page, Page::IDC_BAP_CALL_BACK));
        EXPECT_FALSE(Checked(page, Page::IDC_BAP_CALL_BACK));
        ASSERT_TRUE(page.UpdateData(true));
        EXPECT_EQ(page.Record().m_bBapCallBack, 1);
    });
}

// BAP support on a device not set for bandwidth on demand: the box shows
// unchecked, as its rule says, and every write keeps the device's value.
TEST_F(HungaryConnection, ABoxUncheckedByItsRuleKeepsTheDevicesValue) {
    RunProgram([&](CPropSheet& sheet) {
        ASSERT_EQ(device_.Register(102) & 1, 1);
        CConnectionPage& page = Show(sheet);
        EXPECT_FALSE(Checked(page, Page::IDC_BAP_SUPPORT));
        // Left for the Telephony page, whose number alone is applied.
        ASSERT_TRUE(sheet.SetActivePage(1));
        Type(sheet.TelephonyPage(), ui::CTelephonyPage::kNumberIds[1][0], "5551");
        sheet.OnApplyNow();
        EXPECT_TRUE(device_.Sent("AT&ZI3=5551"));
        EXPECT_EQ(device_.Register(102) & 1, 1);

        // Bandwidth on demand opens the box showing what the device holds, and
        // call back follows the box as shown.
        Click(Show(sheet), Page::IDC_BANDWIDTH_ON_DEMAND);
        for (const bool support : {true, false, true}) {
            EXPECT_EQ(Checked(page, Page::IDC_BAP_SUPPORT), support);
            EXPECT_EQ(Enabled(page, Page::IDC_BAP_CALL_BACK), support);
            Click(page, Page::IDC_BAP_SUPPORT);
        }
    });
}

TEST_F(GermanyConnection, ThresholdsShowTheirLimitsAtOnceAndPutTheMemberBack) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        Click(page, Page::IDC_PPP);
        Click(page, Page::IDC_BANDWIDTH_ON_DEMAND);
        const QString loaded = QString::number(page.Record().m_nBodAddRate);
        EXPECT_EQ(Edit(page, Page::IDC_ADD_RATE)->text(), loaded);
        Type(page, Page::IDC_ADD_RATE, "70");
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text,
                  "Add a channel when the rate exceeds: Valid limits: 0 - 64");
        EXPECT_EQ(ui_.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(Edit(page, Page::IDC_ADD_RATE)->text(), "70") << "the text stays";
        LeaveField(page, Page::IDC_ADD_RATE);
        EXPECT_EQ(Edit(page, Page::IDC_ADD_RATE)->text(), loaded);
        Type(page, Page::IDC_DROP_TIME, "000");
        LeaveField(page, Page::IDC_DROP_TIME);
        EXPECT_EQ(Edit(page, Page::IDC_DROP_TIME)->text(), "0");
        EXPECT_EQ(ui_.messages.size(), 1u);

        // Taken without a focus check: the framework's messages, nothing written.
        const int progress = ui_.progress_dialogs;
        Type(page, Page::IDC_DROP_RATE, "200");
        sheet.OnApplyNow();
        EXPECT_EQ(
            ui_.messages.back().text,
            "Drop a channel when the rate drops below: Please enter an integer between 0 and 128.");
        Type(page, Page::IDC_DROP_RATE, "");
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.messages.back().text,
                  "Drop a channel when the rate drops below: Please enter a positive integer.");
        EXPECT_EQ(ui_.progress_dialogs, progress);
        EXPECT_EQ(sheet.GetActivePage(), &page);
    });
}

TEST_F(GermanyConnection, LeavingFixedMultilinkStoresItOffWithTwentySeconds) {
    RunProgram([&](CPropSheet& sheet) {
        // The device first holds fixed multilink: on, with add time 0.
        Click(Show(sheet), Page::IDC_PPP);
        Click(Show(sheet), Page::IDC_MULTILINK_FIXED);
        sheet.OnApplyNow();
        EXPECT_EQ(device_.Register(87) & 0x60, 0x60);
        EXPECT_EQ(device_.Register(124), 0);
        sheet.SetActivePage(0);
        sheet.ReadDevice();
        CConnectionPage& page = Show(sheet);
        EXPECT_TRUE(Checked(page, Page::IDC_MULTILINK_FIXED));
        Click(page, Page::IDC_ASYNC_TO_SYNC);
        sheet.OnApplyNow();
        EXPECT_EQ(device_.Register(87) & 0x60, 0);
        EXPECT_EQ(device_.Register(124), 20);
        sheet.SetActivePage(0);
        sheet.ReadDevice();
        EXPECT_EQ(W().m_bMultilink, 0);
        EXPECT_EQ(W().m_nBodAddTime, 20);
        EXPECT_TRUE(Checked(Show(sheet), Page::IDC_ASYNC_TO_SYNC));
    });
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(GermanyConnection, TheFirstVisitKeepsThePendingTelephonyChange) {
    RunProgram([&](CPropSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        ui::CTelephonyPage& telephony = sheet.TelephonyPage();
        const int was = telephony.Record().m_bCallWaiting1;
        telephony.Item<QCheckBox>(ui::CTelephonyPage::IDC_CALL_WAITING1)->click();
        CConnectionPage& page = Show(sheet);
        EXPECT_EQ(telephony.Record().m_bCallWaiting1, 1 - was);
        EXPECT_TRUE(telephony.IsModified());
        EXPECT_EQ(W().m_bSettingsModified, 1);
        Click(page, page.Record().m_nProtocol == 3 ? Page::IDC_VOICE_TRANSPARENT
                                                   : Page::IDC_DATA_TRANSPARENT);
        const int protocol = page.Record().m_nProtocol;
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.progress_dialogs, 2) << "the read and one write";
        EXPECT_TRUE(device_.Sent(was ? "ATS79.2=0" : "ATS79.2=1"));
        EXPECT_EQ(device_.Register(82), CDeviceConfig::ProtocolToS82(protocol));
        EXPECT_EQ(W().m_bCallWaiting1, 1 - was);
    });
}

// ---- X.25 properties ----

using X25Script = std::function<void(CX25PropertiesDialog&)>;

// Clicks X.25 on the page with the dialog run by script.
void OpenX25(ScriptedUi& ui, CConnectionPage& page, const X25Script& script) {
    ui.on_x25 = [script](CX25PropertiesDialog* dialog) { script(*dialog); };
    Click(page, Page::IDC_X25);
    ui.on_x25 = {};
}

void Ok(CX25PropertiesDialog& d) {
    d.Item<QAbstractButton>(1)->click();
}

void Choose(CX25PropertiesDialog& d, int id, int index) {
    auto* list = d.Item<QComboBox>(id);
    list->setCurrentIndex(index);
    emit list->activated(index);
}

TEST_F(CyprusConnection, TheClosedUserGroupAndItsOffValue) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        page.Record().m_nX25CugNumber = 255;
        OpenX25(ui_, page, [](CX25PropertiesDialog& d) {
            EXPECT_FALSE(Checked(d, X25::IDC_ENABLE_CUG));
            EXPECT_FALSE(Enabled(d, X25::IDC_CUG_NUMBER));
            EXPECT_EQ(Edit(d, X25::IDC_CUG_NUMBER)->text(), "0");
            Ok(d);
        });
        EXPECT_EQ(page.Record().m_nX25CugNumber, 255);

        page.Record().m_nX25CugNumber = 7;
        OpenX25(ui_, page, [](CX25PropertiesDialog& d) {
            EXPECT_TRUE(Checked(d, X25::IDC_ENABLE_CUG));
            EXPECT_TRUE(Enabled(d, X25::IDC_CUG_NUMBER));
            EXPECT_EQ(Edit(d, X25::IDC_CUG_NUMBER)->text(), "7");
            Click(d, X25::IDC_ENABLE_CUG);
            EXPECT_FALSE(Enabled(d, X25::IDC_CUG_NUMBER));
            Ok(d);
        });
        EXPECT_EQ(page.Record().m_nX25CugNumber, 255);
        EXPECT_TRUE(ui_.messages.empty());
    });
}

TEST_F(CyprusConnection, ListsLinkTypeAndAddressAsTheRecordHoldsThem) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        page.Record().m_nX25PacketSize = 6;
        page.Record().m_bX25Pvc = 1;
        page.Record().m_bX25Spvc = 1;
        OpenX25(ui_, page, [](CX25PropertiesDialog& d) {
            EXPECT_EQ(d.Item<QComboBox>(X25::IDC_PACKET_SIZE)->currentText(), "64");
            EXPECT_TRUE(Checked(d, X25::IDC_PVC)) << "PVC wins over SPVC";
            Choose(d, X25::IDC_PACKET_SIZE, 3);
            Click(d, X25::IDC_SVC);
            Type(d, X25::IDC_ADDRESS, "12a34");
            LeaveField(d, X25::IDC_ADDRESS);
            EXPECT_EQ(Edit(d, X25::IDC_ADDRESS)->text(), "12");
            Type(d, X25::IDC_ADDRESS, QString(20, '9'));
            EXPECT_EQ(Edit(d, X25::IDC_ADDRESS)->text(), QString(15, '9'));
            Type(d, X25::IDC_ADDRESS, "x1");
            LeaveField(d, X25::IDC_ADDRESS);
            EXPECT_EQ(Edit(d, X25::IDC_ADDRESS)->text(), "");
            // OK by Enter, without a focus loss, cuts the same way.
            Type(d, X25::IDC_ADDRESS, "34-5");
            Ok(d);
        });
        EXPECT_EQ(page.Record().m_nX25PacketSize, 7);
        EXPECT_EQ(page.Record().m_bX25Pvc, 0);
        EXPECT_EQ(page.Record().m_bX25Spvc, 0);
        EXPECT_EQ(page.Record().m_strX25Address, "34");
    });
}

TEST_F(CyprusConnection, ABadValueKeepsTheDialogHelpIsTopicNineAndCancelReturnsNothing) {
    RunProgram([&](CPropSheet& sheet) {
        CConnectionPage& page = Show(sheet);
        const int tei = page.Record().m_nX25Tei;
        const std::string address = page.Record().m_strX25Address;
        OpenX25(ui_, page, [this](CX25PropertiesDialog& d) {
            Type(d, X25::IDC_TEI, "64");
            Ok(d);
            EXPECT_FALSE(d.Ended());
            ASSERT_FALSE(ui_.messages.empty());
            EXPECT_EQ(ui_.messages.back().text,
                      "TEI, Layer 2: Please enter an integer between 0 and 63.");
            Type(d, X25::IDC_TEI, "");
            Ok(d);
            EXPECT_EQ(ui_.messages.back().text, "TEI, Layer 2: Please enter a positive integer.");
            Type(d, X25::IDC_TEI, "5");
            QTest::keyClick(Edit(d, X25::IDC_TEI), Qt::Key_F1);
            ASSERT_NE(ui::CurrentHelpWindow(), nullptr);
            EXPECT_EQ(ui::CurrentHelpWindow()->Topic(), ui::kHelpX25);
            ui::CurrentHelpWindow()->close();
            Type(d, X25::IDC_ADDRESS, "999");
            Click(d, X25::IDC_ENABLE_CUG);
            d.Item<QAbstractButton>(2)->click();
            EXPECT_TRUE(d.Ended());
        });
        EXPECT_EQ(page.Record().m_nX25Tei, tei);
        EXPECT_EQ(page.Record().m_strX25Address, address);
    });
}

// Every X.25 value set in the dialog, as the device's registers hold it.
struct X25Values {
    int tei, l2_window, packet_index, l3_window, lcn, lic, hic, wait;
    bool send_restart, cug;
    int cug_number;
    std::string address;
    bool use_pad, pad_call;
    int link, pad_profile;
};

// The number edits and their values.
std::vector<std::pair<int, int>> NumberFields(const X25Values& v) {
    return {{X25::IDC_TEI, v.tei},
            {X25::IDC_L2_WINDOW, v.l2_window},
            {X25::IDC_L3_WINDOW, v.l3_window},
            {X25::IDC_LCN, v.lcn},
            {X25::IDC_LIC, v.lic},
            {X25::IDC_HIC, v.hic}};
}

void SetX25(CX25PropertiesDialog& d, const X25Values& v) {
    for (const auto& [id, value] : NumberFields(v)) {
        Type(d, id, QString::number(value));
    }
    Choose(d, X25::IDC_PACKET_SIZE, v.packet_index);
    Choose(d, X25::IDC_WAIT_RESTART, v.wait);
    for (const auto& [id, on] :
         {std::pair{X25::IDC_SEND_RESTART, v.send_restart}, std::pair{X25::IDC_ENABLE_CUG, v.cug},
          std::pair{X25::IDC_USE_PAD, v.use_pad}, std::pair{X25::IDC_PAD_CALL, v.pad_call}}) {
        if (Checked(d, id) != on) {
            Click(d, id);
        }
    }
    if (v.cug) {
        Type(d, X25::IDC_CUG_NUMBER, QString::number(v.cug_number));
    }
    Type(d, X25::IDC_ADDRESS, QString::fromStdString(v.address));
    Click(d, X25::IDC_SVC + v.link);
    Click(d, X25::IDC_DEFAULT_PAD_PROFILE + v.pad_profile);
}

template <typename Device>
void ExpectRegisters(Device& device, const X25Values& v) {
    EXPECT_EQ(device.Register(90), v.tei);
    EXPECT_EQ(device.Register(104), v.l2_window | v.l3_window << 4);
    EXPECT_EQ(device.Register(106), v.packet_index + 4);
    EXPECT_EQ(device.Register(91), v.lcn);
    EXPECT_EQ(device.Register(57), v.lic);
    EXPECT_EQ(device.Register(58), v.hic);
    EXPECT_EQ(device.Register(105), v.cug ? v.cug_number : 255);
    const int s103 = (v.link == 2) << 7 | v.use_pad << 6 | v.send_restart << 5 |
                     (v.link == 1) << 4 | v.pad_profile << 3 | v.pad_call << 2 | v.wait;
    EXPECT_EQ(device.Register(103), s103);
    EXPECT_EQ(device.Address(), v.address);
}

void ExpectShown(CX25PropertiesDialog& d, const X25Values& v) {
    for (const auto& [id, value] : NumberFields(v)) {
        EXPECT_EQ(Edit(d, id)->text(), QString::number(value)) << id;
    }
    EXPECT_EQ(d.Item<QComboBox>(X25::IDC_PACKET_SIZE)->currentIndex(), v.packet_index);
    EXPECT_EQ(d.Item<QComboBox>(X25::IDC_WAIT_RESTART)->currentIndex(), v.wait);
    EXPECT_EQ(Checked(d, X25::IDC_SEND_RESTART), v.send_restart);
    EXPECT_EQ(Checked(d, X25::IDC_ENABLE_CUG), v.cug);
    EXPECT_EQ(Edit(d, X25::IDC_CUG_NUMBER)->text(), QString::number(v.cug ? v.cug_number : 0));
    EXPECT_EQ(Edit(d, X25::IDC_ADDRESS)->text().toStdString(), v.address);
    EXPECT_EQ(Checked(d, X25::IDC_USE_PAD), v.use_pad);
    EXPECT_EQ(Checked(d, X25::IDC_PAD_CALL), v.pad_call);
    EXPECT_TRUE(Checked(d, X25::IDC_SVC + v.link));
    EXPECT_TRUE(Checked(d, X25::IDC_DEFAULT_PAD_PROFILE + v.pad_profile));
}

TEST_F(CyprusConnection, EveryX25ValueGoesToTheDeviceAndComesBack) {
    const X25Values rounds[] = {
        {63, 15, 0, 1, 255, 0, 17, 3, true, true, 99, "123456789012345", true, false, 2, 1},
        {0, 0, 3, 15, 0, 255, 255, 0, false, false, 0, "", false, true, 1, 0},
        {5, 7, 2, 2, 1, 2, 3, 1, true, true, 0, "4711", true, true, 0, 1},
    };
    RunProgram([&](CPropSheet& sheet) {
        for (const X25Values& v : rounds) {
            OpenX25(ui_, Show(sheet), [&v](CX25PropertiesDialog& d) {
                SetX25(d, v);
                Ok(d);
            });
            sheet.OnApplyNow();
            ExpectRegisters(device_, v);
            sheet.SetActivePage(0);
            sheet.ReadDevice();
            OpenX25(ui_, Show(sheet), [&v](CX25PropertiesDialog& d) {
                ExpectShown(d, v);
                d.Item<QAbstractButton>(2)->click();
            });
        }
    });
    EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace vardex::test
