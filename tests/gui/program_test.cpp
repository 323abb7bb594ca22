// The program end to end on a simulated varDex: start-up and the first read,
// the Information page's commands, Apply, the storage question, failures.
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <fstream>
#include <thread>

#include "app/restore_dialog.h"
#include "firmware_image.h"
#include "gui_fixture.h"
#include "res/strings.h"
#include "settings/backup_store.h"
#include "temp_files.h"
#include "ui/help.h"

using namespace vardex::params;
using namespace vardex::link;

namespace vardex::test {
namespace {

using ui::CPropSheet;
using ui::CUpgradePage;

QString EditText(CPropSheet& sheet, int id) {
    return sheet.InformationPage().Item<QLineEdit>(id)->text();
}

std::size_t CountLines(const RecordedDevice& device, const std::string& line) {
    std::size_t n = 0;
    for (const auto& l : device.Lines()) {
        n += l == line ? 1 : 0;
    }
    return n;
}

TEST_F(ProgramTest, StartUpReadsTheDeviceAndFillsTheInformationPage) {
    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 7); });
    QString country, model, hardware, firmware, crc, total1;
    int power_up = -2;
    RunProgram([&](CPropSheet& sheet) {
        EXPECT_EQ(sheet.GetActiveIndex(), 0);
        country = EditText(sheet, CUpgradePage::IDC_COUNTRY);
        model = EditText(sheet, CUpgradePage::IDC_MODEL);
        hardware = EditText(sheet, CUpgradePage::IDC_HARDWARE);
        firmware = EditText(sheet, CUpgradePage::IDC_FIRMWARE);
        crc = EditText(sheet, CUpgradePage::IDC_CRC);
        total1 = EditText(sheet, CUpgradePage::IDC_TOTAL_PHONE1);
        power_up =
            sheet.InformationPage().Item<QComboBox>(CUpgradePage::IDC_POWER_UP)->currentIndex();
    });
    EXPECT_TRUE(read_done_);
    EXPECT_EQ(ui_.progress_dialogs, 1);
    EXPECT_EQ(ui_.device_lists, 1);
    EXPECT_EQ(country.toStdString(), "Hungary");
    EXPECT_EQ(model.toStdString(), "1.2");
    EXPECT_EQ(hardware.toStdString(), "3.0");
    EXPECT_EQ(firmware.toStdString(), "2.10");
    EXPECT_EQ(crc.toStdString(), "CRC: 5A3C");
    EXPECT_EQ(total1.toStdString(), "7");
    EXPECT_EQ(power_up, W().m_nPowerUpProfile);
    EXPECT_GE(power_up, 0);
    EXPECT_TRUE(ui_.messages.empty());
    // The device copy followed the read.
    EXPECT_TRUE(app_.Core().m_deviceCopy.SameParameters(W()));
}

// Another varDex: echo left on after ATE0, its own X.121 label, a firmware
// without S86 and S123. The first read fills the pages and names what was
// refused; a change elsewhere is written, the refused settings are not.
class DialectDevice : public RecordedDevice {
public:
    DialectDevice() : RecordedDevice(sim::DeviceOptions{.dialect = sim::Dialect::FromSeed(2)}) {}
};
using DialectProgramTest = ProgramFixture<DialectDevice>;

TEST_F(DialectProgramTest, ARegisterTheFirmwareRefusesIsNamedAndNeverWritten) {
    RunProgram([&](CPropSheet& sheet) {
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_COUNTRY).toStdString(), "Hungary");
        sheet.TelephonyPage().Record().m_bCallWaiting1 = W().m_bCallWaiting1 == 0 ? 1 : 0;
        W().m_bSettingsModified = 1;
        sheet.OnApplyNow();
        EXPECT_TRUE(device_.Sent("ATS79.2=" + std::to_string(W().m_bCallWaiting1)));
    });
    EXPECT_TRUE(read_done_);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_NE(ui_.messages[0].text.find("ERROR to ATS123?, ATS86?:"), std::string::npos)
        << ui_.messages[0].text;
    for (const std::string& line : device_.Lines()) {
        EXPECT_FALSE(line.starts_with("ATS86") && line.find('=') != std::string::npos) << line;
        EXPECT_FALSE(line.starts_with("ATS123") && line.find('=') != std::string::npos) << line;
    }
}

TEST_F(ProgramTest, WordsOnTheCommandLineChangeNothing) {
    QString country;
    RunProgram(
        [&](CPropSheet& sheet) {
            country = EditText(sheet, CUpgradePage::IDC_COUNTRY);
            EXPECT_EQ(sheet.windowTitle().toStdString(),
                      "varDex Configuration Manager  -  ver. 3.3 ");
        },
        {"vardex-config", "foo.img", "/p", "/Automation"});
    EXPECT_EQ(country.toStdString(), "Hungary");
    EXPECT_EQ(ui_.progress_dialogs, 1);
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ProgramTest, ProfileRecallSendsAtzOnlyForAStoredProfile) {
    std::size_t atz_before = 0;
    RunProgram([&](CPropSheet& sheet) {
        auto* source = sheet.InformationPage().Item<QComboBox>(CUpgradePage::IDC_SOURCE);
        // "Factory Defaults": ATZ4, then everything is read again.
        source->setCurrentIndex(5);
        emit source->activated(5);
        EXPECT_EQ(CountLines(device_, "ATZ4"), 1u);
        EXPECT_EQ(ui_.progress_dialogs, 2);
        EXPECT_EQ(source->currentIndex(), 0) << "the recall shows Active Profile again";
        // "Active Profile": no ATZ at all, only the read.
        atz_before = device_.Lines().size();
        source->setCurrentIndex(0);
        emit source->activated(0);
        EXPECT_EQ(ui_.progress_dialogs, 3);
    });
    const auto lines = device_.Lines();
    for (std::size_t i = atz_before; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].rfind("ATZ", 0), 0u) << lines[i];
    }
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ProgramTest, ResetZeroesTheCountersAtOnceAndTheNextApplySendsAtch0) {
    device_.Modify([](sim::Device& d) {
        d.AddCall(sim::Line::kPhone1, 3);
        d.AddCall(sim::Line::kPhone2, 4);
        d.AddCall(sim::Line::kDte, 5);
    });
    RunProgram([&](CPropSheet& sheet) {
        CUpgradePage& page = sheet.InformationPage();
        ASSERT_EQ(EditText(sheet, CUpgradePage::IDC_TOTAL_DTE).toStdString(), "5");
        page.Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        for (const int id : {CUpgradePage::IDC_LAST_PHONE1, CUpgradePage::IDC_LAST_PHONE2,
                             CUpgradePage::IDC_LAST_DTE, CUpgradePage::IDC_TOTAL_PHONE1,
                             CUpgradePage::IDC_TOTAL_PHONE2, CUpgradePage::IDC_TOTAL_DTE}) {
            EXPECT_EQ(EditText(sheet, id).toStdString(), "0") << id;
        }
        EXPECT_FALSE(device_.Sent("ATCH0")) << "nothing is sent before the apply";
        EXPECT_EQ(W().m_bResetCharges, 1);
        EXPECT_TRUE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
        sheet.OnApplyNow();
        EXPECT_TRUE(device_.Sent("ATCH0"));
        EXPECT_EQ(ui_.progress_dialogs, 2);
        EXPECT_EQ(ui_.storage_dialogs, 0) << "no telephony or connection setting changed";
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_TOTAL_DTE).toStdString(), "0");
        EXPECT_FALSE(sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled());
    });
    EXPECT_EQ(W().m_bResetCharges, 0);
}

TEST_F(ProgramTest, ApplyWithoutPendingChangeShowsNoProgressDialog) {
    RunProgram([&](CPropSheet& sheet) {
        const std::size_t lines = device_.Lines().size();
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.progress_dialogs, 1);
        EXPECT_EQ(device_.Lines().size(), lines);
    });
}

TEST_F(ProgramTest, StorageQuestionChoosesTheProfileAndThePowerUpProfile) {
    ui_.on_storage = [](ui::CStorageConfirmDialog* dialog) {
        EXPECT_FALSE(dialog->GetDlgItem(ui::CStorageConfirmDialog::IDC_MAKE_POWER_UP)->isEnabled());
        dialog->Item<QAbstractButton>(ui::CStorageConfirmDialog::IDC_PROFILE0 + 2)->click();
        EXPECT_TRUE(dialog->GetDlgItem(ui::CStorageConfirmDialog::IDC_MAKE_POWER_UP)->isEnabled());
        dialog->Item<QAbstractButton>(ui::CStorageConfirmDialog::IDC_MAKE_POWER_UP)
            ->setChecked(true);
        dialog->Item<QAbstractButton>(1)->click();
    };
    RunProgram([&](CPropSheet& sheet) {
        // A telephony change, as the Telephony page will make it.
        sheet.TelephonyPage().Record().m_bCallWaiting1 = W().m_bCallWaiting1 == 0 ? 1 : 0;
        W().m_bSettingsModified = 1;
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.storage_dialogs, 1);
        EXPECT_TRUE(device_.Sent("AT&W2"));
        EXPECT_EQ(W().m_nPowerUpProfile, 2);
        EXPECT_EQ(sheet.InformationPage().Record().m_nStoreProfile, 0)
            << "reloaded after the write";
    });
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ProgramTest, RestoreSettingsWritesTheBackupTheApplyKept) {
    int listed = -1;
    QString shown;
    ui_.on_other = [&](ui::CDialog* dialog) {
        if (auto* restore = dynamic_cast<ui::CRestoreDialog*>(dialog)) {
            listed = restore->Item<QListWidget>(ui::CRestoreDialog::IDC_BACKUPS)->count();
            shown = restore->Item<QPlainTextEdit>(ui::CRestoreDialog::IDC_CHANGES)->toPlainText();
        }
    };
    RunProgram([&](CPropSheet& sheet) {
        const int first = W().m_bCallWaiting1;
        sheet.TelephonyPage().Record().m_bCallWaiting1 = first == 0 ? 1 : 0;
        W().m_bSettingsModified = 1;
        sheet.OnApplyNow();
        ASSERT_EQ(W().m_bCallWaiting1, first == 0 ? 1 : 0);
        const std::vector<settings::Backup> kept = settings::ListBackups().value_or({});
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_NE(ReadFile(kept[0].path).find("\"m_bCallWaiting1\":" + std::to_string(first)),
                  std::string::npos);

        sheet.ShowRestore();
        EXPECT_EQ(listed, 1);
        // Named as the Telephony page shows the setting, not by its member.
        EXPECT_EQ(shown.toStdString(), "Telephony: Call Waiting (CW), Analog Port 1: " +
                                           std::to_string(first == 0 ? 1 : 0) + " -> " +
                                           std::to_string(first) + "\n");
        // The ordinary write: the storage question, then the device holds it.
        EXPECT_EQ(ui_.storage_dialogs, 2);
        EXPECT_EQ(W().m_bCallWaiting1, first);
        EXPECT_EQ(app_.Core().m_deviceCopy.m_bCallWaiting1, first);
        EXPECT_EQ(settings::ListBackups().value_or({}).size(), 2u);
    });
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ProgramTest, CancelledStorageQuestionStoresNothingAndStillWrites) {
    RunProgram([&](CPropSheet& sheet) {
        const int wanted = W().m_bCallWaiting1 == 0 ? 1 : 0;
        sheet.TelephonyPage().Record().m_bCallWaiting1 = wanted;
        W().m_bSettingsModified = 1;
        sheet.OnApplyNow();
        EXPECT_EQ(ui_.storage_dialogs, 1);
        EXPECT_EQ(ui_.progress_dialogs, 2);
        EXPECT_EQ(W().m_bCallWaiting1, wanted);
    });
    for (const auto& line : device_.Lines()) {
        EXPECT_NE(line.rfind("AT&W", 0), 0u) << line;
    }
}

TEST_F(ProgramTest, CancelConfirmedDuringTheWriteKeepsTheChangesPending) {
    ui_.on_progress = [this](ui::CCommProgressDialog* dialog) {
        if (ui_.progress_dialogs >= 2) {
            dialog->reject();  // Esc: asks for confirmation
        }
    };
    ui_.on_cancel_confirm = [](ui::CCancelConfirmDialog* d) {
        d->Item<QAbstractButton>(1)->click();
    };
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        sheet.OnApplyNow();
        EXPECT_FALSE(sheet.Ended()) << "a stopped write does not end the program";
        EXPECT_EQ(W().m_bOtherModified, 1);
        EXPECT_TRUE(sheet.InformationPage().IsModified());
        // OK with changes still pending writes again; here the write stops again,
        // so the sheet stays open rather than lose them.
        sheet.InformationPage().OnOK();
        EXPECT_FALSE(sheet.Ended());
    });
    EXPECT_TRUE(ui_.messages.empty()) << "a confirmed Cancel needs no further message";
}

TEST_F(ProgramTest, UpgradeForPolandOnlyShowsTheOperatorMessage) {
    RunProgram([&](CPropSheet& sheet) {
        W().m_strCountry = "Greater poland";
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_UPGRADE)->click();
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].text, std::string(res::kTextOperatorOnlyUpgrade));
        EXPECT_EQ(ui_.progress_dialogs, 1);
        // Elsewhere the warning comes first; No stops there.
        W().m_strCountry = "Hungary";
        ui_.message_answer = QMessageBox::No;
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_UPGRADE)->click();
        ASSERT_EQ(ui_.messages.size(), 2u);
        EXPECT_EQ(ui_.messages[1].text, std::string(res::LoadString(res::IDS_UPGRADE_WARNING)));
        EXPECT_EQ(ui_.messages[1].buttons, ui::MessageButtons::YesNo);
        EXPECT_EQ(ui_.progress_dialogs, 1);
    });
}

// The upgrade from its button: the warning, the file choice (cancelled first,
// which is quiet), the transfer into the simulator's loader, the restart and the
// read that shows the new version.
TEST_F(PtyProgramTest, UpgradeButtonInstallsTheImageAndShowsTheNewVersion) {
    const std::string image = TempPath("gui-upgrade.img");
    std::ofstream(image, std::ios::binary) << sim::MakeFirmwareImage("V4.7", 3000);
    std::vector<QString> filters;
    QString answer;
    ui::CCommProgressDialog::SetFileChoiceHook([&](const QString& filter) {
        filters.push_back(filter);
        return answer;
    });
    QString firmware_before, firmware_after;
    RunProgram([&](CPropSheet& sheet) {
        firmware_before = EditText(sheet, CUpgradePage::IDC_FIRMWARE);
        auto* upgrade = sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_UPGRADE);
        upgrade->click();
        EXPECT_EQ(ui_.progress_dialogs, 2);
        EXPECT_EQ(ui_.messages.size(), 1u) << "only the warning: a cancelled choice is quiet";
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_FIRMWARE), firmware_before);

        answer = QString::fromStdString(image);
        upgrade->click();
        EXPECT_EQ(ui_.progress_dialogs, 3);
        ASSERT_EQ(ui_.messages.size(), 2u);
        EXPECT_EQ(ui_.messages[1].text, std::string(res::LoadString(res::IDS_UPGRADE_WARNING)));
        firmware_after = EditText(sheet, CUpgradePage::IDC_FIRMWARE);
    });
    ui::CCommProgressDialog::SetFileChoiceHook({});
    std::remove(image.c_str());
    EXPECT_EQ(firmware_before.toStdString(), "2.10");
    EXPECT_EQ(firmware_after.toStdString(), "4.7");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_TRUE(filters[0].contains(QStringLiteral("*.img"))) << filters[0].toStdString();
    EXPECT_EQ(W().m_bSettingsModified, 0);
}

// A varDex that waits in its firmware loader (an interrupted upgrade), found by
// the first read: the window stays, says so and offers only the upgrade.
class LoaderDevice : public StartedPtyDevice {
public:
    LoaderDevice() : StartedPtyDevice(LoaderOptions()) {}

private:
    static sim::DeviceOptions LoaderOptions() {
        sim::DeviceOptions options;
        options.start_in_loader = true;
        return options;
    }
};
using LoaderProgramTest = ProgramFixture<LoaderDevice>;

bool TabEnabled(CPropSheet& sheet, int index) {
    return sheet.findChild<QTabWidget*>()->isTabEnabled(index);
}

TEST_F(LoaderProgramTest, TheWindowStaysOpenAndTheUpgradeRescuesTheDevice) {
    const std::string image = TempPath("gui-loader.img");
    std::ofstream(image, std::ios::binary) << sim::MakeFirmwareImage("V4.8", 2000);
    ui::CCommProgressDialog::SetFileChoiceHook(
        [&](const QString&) { return QString::fromStdString(image); });
    bool found = false;
    app_.InitInstance({"vardex-config"}, [&](CPropSheet& sheet) {
        sheet.m_onLoaderFound = [&] {
            QTimer::singleShot(0, &sheet, [&] {
                found = true;
                EXPECT_TRUE(sheet.LoaderMode());
                EXPECT_TRUE(
                    ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE))));
                EXPECT_FALSE(ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND))));
                EXPECT_FALSE(sheet.Ended());
                EXPECT_EQ(sheet.GetActiveIndex(), 0);
                for (int page = 1; page < 5; ++page) {
                    EXPECT_FALSE(TabEnabled(sheet, page)) << page;
                }
                CUpgradePage& info = sheet.InformationPage();
                for (const int id : {CUpgradePage::IDC_SOURCE, CUpgradePage::IDC_DESTINATION,
                                     CUpgradePage::IDC_POWER_UP, CUpgradePage::IDC_RESET,
                                     CUpgradePage::IDC_GO_TELEPHONY}) {
                    EXPECT_FALSE(info.GetDlgItem(id)->isEnabled()) << id;
                }
                auto* upgrade = info.Item<QPushButton>(CUpgradePage::IDC_UPGRADE);
                ASSERT_TRUE(upgrade->isEnabled());
                upgrade->click();
                EXPECT_FALSE(sheet.LoaderMode());
                EXPECT_TRUE(TabEnabled(sheet, 1));
                EXPECT_TRUE(info.GetDlgItem(CUpgradePage::IDC_SOURCE)->isEnabled());
                EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_FIRMWARE).toStdString(), "4.8");
                sheet.EndDialog(QDialog::Accepted);
            });
        };
        auto* deadline = new QTimer(&sheet);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, &sheet, [&] {
            timed_out_ = true;
            sheet.EndDialog(QDialog::Rejected);
        });
        deadline->start(60000);
    });
    ui::CCommProgressDialog::SetFileChoiceHook({});
    std::remove(image.c_str());
    EXPECT_TRUE(found);
    EXPECT_FALSE(timed_out_);
}

// The device falls into its loader while the program runs: the changes that were
// to be applied stay pending, and only the upgrade is offered.
TEST_F(PtyProgramTest, LoaderFoundByAnApplyKeepsThePendingChanges) {
    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 4); });
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        device_.Modify([](sim::Device& d) { d.EnterLoader(); });
        sheet.OnApplyNow();
        EXPECT_TRUE(ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE))));
        EXPECT_FALSE(ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND))));
        EXPECT_FALSE(sheet.Ended());
        EXPECT_TRUE(sheet.LoaderMode());
        EXPECT_FALSE(TabEnabled(sheet, 1));
        EXPECT_TRUE(sheet.InformationPage().IsModified());
        EXPECT_EQ(W().m_bResetCharges, 1);
        EXPECT_EQ(W().m_bOtherModified, 1);
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_TOTAL_PHONE1).toStdString(), "0");
    });
}

// The link goes down in the middle of a write: the person is told, and the
// changes stay pending for when the device is back instead of being lost with
// the program.
TEST_F(PtyProgramTest, AWriteThatLosesTheDeviceKeepsTheWindowAndTheChanges) {
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        // Once the write's identification has asked its last question.
        const std::uint64_t before = device_.BytesReceived();
        std::thread drop([&] {
            if (device_.WaitForBytesReceived(before + 32, std::chrono::seconds(30))) {
                device_.Hangup();
            }
        });
        sheet.OnApplyNow();
        drop.join();
        EXPECT_NE(device_.Inspect([](const sim::Device& d) { return d.LastCommand(); }), "ATCH0");
        // Gone during the rows, or already while it was identified.
        EXPECT_TRUE(ui_.Said("The varDex stopped answering during the write") ||
                    ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND))))
            << (ui_.messages.empty() ? "no message" : ui_.messages[0].text);
        EXPECT_FALSE(sheet.Ended());
        EXPECT_TRUE(sheet.InformationPage().IsModified());
        EXPECT_EQ(W().m_bResetCharges, 1);
        EXPECT_EQ(W().m_bOtherModified, 1);
    });
}

// A write cut off after some rows (the device stops answering the flash time's
// commands): the message names by their labels what reached the device and
// what did not, the device holds exactly what was called applied, and Apply
// again sends only the rest.
TEST_F(PtyProgramTest, AWriteCutOffSaysWhatReachedTheDeviceAndApplyAgainSendsOnlyTheRest) {
    RunProgram([&](CPropSheet& sheet) {
        CDeviceConfig& r = sheet.TelephonyPage().Record();
        r.m_bCallWaiting1 = r.m_bCallWaiting1 == 0 ? 1 : 0;  // row 3
        r.m_nFlashDuration = 37;                             // row 16
        r.m_bMessageWaiting1 = 1;                            // row 19
        W().m_bSettingsModified = 1;
        device_.LoseCommands("S56", 100);
        sheet.OnApplyNow();
        ASSERT_EQ(ui_.messages.size(), 1u);
        const std::string text = ui_.messages[0].text;
        EXPECT_NE(text.find("ATS56?"), std::string::npos) << text;
        const auto line_of = [&text](const std::string& heading) {
            const auto at = text.find(heading);
            return at == std::string::npos ? std::string()
                                           : text.substr(at, text.find("\n\n", at) - at);
        };
        EXPECT_NE(line_of("Applied:").find("Call Waiting"), std::string::npos) << text;
        EXPECT_NE(line_of("Perhaps applied").find("Flash"), std::string::npos) << text;
        EXPECT_NE(line_of("Not sent:").find("Message Waiting"), std::string::npos) << text;
        EXPECT_EQ(text.find("m_"), std::string::npos) << "named by labels: " << text;
        EXPECT_EQ((device_.Register(79) & 4) != 0, W().m_bCallWaiting1 != 0);
        EXPECT_NE(device_.Register(56), 37);
        EXPECT_EQ(device_.Register(86) & 1, 0);
        EXPECT_TRUE(sheet.TelephonyPage().IsModified());

        device_.LoseCommands("S56", 0);
        device_.KeepReceivedBytes(true);
        sheet.OnApplyNow();
        const std::string sent = device_.ReceivedBytes();
        EXPECT_EQ(sent.find("ATS79.2="), std::string::npos) << sent;
        EXPECT_NE(sent.find("ATS56=37"), std::string::npos) << sent;
        EXPECT_NE(sent.find("ATS86.0=1"), std::string::npos) << sent;
        EXPECT_EQ(device_.Register(56), 37);
        EXPECT_FALSE(sheet.TelephonyPage().IsModified());
        EXPECT_TRUE(sheet.findChild<QLabel*>(QStringLiteral("writeStatus"))->isVisible());
    });
}

// OK writes what is pending from whichever page is shown, and F1 where no page
// has the focus opens the shown page's topic.
TEST_F(ProgramTest, OkFromAnotherPageWritesThePendingChanges) {
    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 3); });
    bool ended = false;
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        ASSERT_TRUE(sheet.SetActivePage(3));
        sheet.show();
        auto* ok = sheet.Item<QPushButton>(1);
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_F1);
        ASSERT_NE(ui::CurrentHelpWindow(), nullptr);
        EXPECT_EQ(ui::CurrentHelpWindow()->Topic(), ui::kHelpTerminal);
        ui::CurrentHelpWindow()->close();

        ok->click();
        EXPECT_TRUE(device_.Sent("ATCH0"));
        ended = sheet.Ended();
    });
    EXPECT_TRUE(ended);
}

TEST_F(ProgramTest, TheShortcutButtonsShowTheirPages) {
    RunProgram([&](CPropSheet& sheet) {
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_GO_CONNECTION)->click();
        EXPECT_EQ(sheet.GetActiveIndex(), 2);
        sheet.SetActivePage(0);
        sheet.InformationPage().Item<QPushButton>(CUpgradePage::IDC_GO_TELEPHONY)->click();
        EXPECT_EQ(sheet.GetActiveIndex(), 1);
    });
}

// Nothing reaches the device that the person did not choose: the wheel passing
// over a list, or an arrow key on a closed list, changes no choice and recalls
// no profile.
TEST_F(ProgramTest, NoWheelOrStrayKeyRecallsAProfileOrChangesAChoice) {
    std::size_t lines_before = 0;
    RunProgram([&](CPropSheet& sheet) {
        CUpgradePage& info = sheet.InformationPage();
        auto* source = info.Item<QComboBox>(CUpgradePage::IDC_SOURCE);
        auto* destination = info.Item<QComboBox>(CUpgradePage::IDC_DESTINATION);
        auto* power_up = info.Item<QComboBox>(CUpgradePage::IDC_POWER_UP);
        const int power = power_up->currentIndex();
        lines_before = device_.Lines().size();
        for (QComboBox* list : {source, destination, power_up}) {
            const QPointF at(5, 5);
            QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list, &wheel);
        }
        EXPECT_EQ(source->currentIndex(), 0);
        EXPECT_EQ(destination->currentIndex(), 0);
        EXPECT_EQ(power_up->currentIndex(), power);
        EXPECT_FALSE(info.IsModified());

        sheet.show();
        source->setFocus();
        QTest::keyClick(source, Qt::Key_Down);
        QTest::keyClick(source, Qt::Key_F);  // "Factory Defaults" by its letter
        EXPECT_EQ(source->currentIndex(), 0);
        source->hidePopup();
        EXPECT_EQ(ui_.progress_dialogs, 1) << "no recall ran";
        EXPECT_EQ(device_.Lines().size(), lines_before);
    });
    // "ATZ" alone is the port's opening; a recall names its profile.
    for (const std::string& line : device_.Lines()) {
        EXPECT_FALSE(line.size() > 3 && line.rfind("ATZ", 0) == 0) << line;
    }
}

// A power-up choice the list cannot show (none, or a number outside it) is
// kept as it is, and never written as a register value no profile has.
TEST_F(ProgramTest, AnUnselectedPowerUpListWritesNothingOfItsOwn) {
    RunProgram([&](CPropSheet& sheet) {
        CUpgradePage& info = sheet.InformationPage();
        info.Record().m_nPowerUpProfile = 6;
        info.UpdateData(false);
        EXPECT_EQ(info.Item<QComboBox>(CUpgradePage::IDC_POWER_UP)->currentIndex(), -1);
        info.Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        info.UpdateData(true);
        EXPECT_EQ(info.Record().m_nPowerUpProfile, 6);
        sheet.OnApplyNow();
        EXPECT_TRUE(device_.Sent("ATCH0"));
    });
    for (const std::string& line : device_.Lines()) {
        EXPECT_NE(line.rfind("ATS15=", 0), 0u) << line;
    }
}

// No device at all: the search reports it and the program ends.
class NoDeviceTest : public ::testing::Test {
protected:
    ScopedTimeScale scale_{kAnswerScale};
    ScopedEnv env_{"VARDEX_PORTS", std::string("/nonexistent/vardex-port")};
    ScriptedUi ui_;
    ui::CVarDexApplication app_;
};

TEST_F(NoDeviceTest, FailedFirstReadShowsNotFoundAndEndsTheProgram) {
    bool read_done = false;
    app_.InitInstance({"vardex-config"},
                      [&](CPropSheet& sheet) { sheet.m_onReadDone = [&] { read_done = true; }; });
    EXPECT_FALSE(read_done);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND))));
    EXPECT_EQ(ui_.messages[0].icon, MessageIcon::Exclamation);
}

// A recall after an earlier failure closed the channel: the device is searched
// for again, as for Apply, and the recall goes out once it is found.
TEST_F(ProgramTest, RecallOnAClosedChannelFindsTheDeviceAgain) {
    bool ended = true;
    RunProgram([&](CPropSheet& sheet) {
        auto* source = sheet.InformationPage().Item<QComboBox>(CUpgradePage::IDC_SOURCE);
        W().Close();  // the channel is gone
        source->setCurrentIndex(1);
        emit source->activated(1);
        EXPECT_TRUE(device_.Sent("ATZ0"));
        EXPECT_FALSE(ui_.Said(std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND))));
        EXPECT_EQ(ui_.device_lists, 2) << "searched again";
        EXPECT_EQ(source->currentIndex(), 0);
        QCoreApplication::processEvents();
        ended = sheet.Ended();
    });
    EXPECT_FALSE(ended);
}

// A charge reset asked for and then overtaken by a read (a recall of the active
// profile) is given up: the next, unrelated apply erases no counters.
TEST_F(ProgramTest, AReadDisarmsAPendingChargeReset) {
    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 9); });
    RunProgram([&](CPropSheet& sheet) {
        CUpgradePage& info = sheet.InformationPage();
        info.Item<QPushButton>(CUpgradePage::IDC_RESET)->click();
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_TOTAL_PHONE1).toStdString(), "0");
        auto* source = info.Item<QComboBox>(CUpgradePage::IDC_SOURCE);
        source->setCurrentIndex(0);
        emit source->activated(0);  // "Active Profile": read again
        EXPECT_EQ(W().m_bResetCharges, 0);
        EXPECT_EQ(EditText(sheet, CUpgradePage::IDC_TOTAL_PHONE1).toStdString(), "9");
        auto* destination = info.Item<QComboBox>(CUpgradePage::IDC_DESTINATION);
        destination->setCurrentIndex(1);
        emit destination->activated(1);
        sheet.OnApplyNow();
    });
    EXPECT_FALSE(device_.Sent("ATCH0"));
    EXPECT_TRUE(device_.Sent("AT&W0"));
}

}  // namespace
}  // namespace vardex::test
