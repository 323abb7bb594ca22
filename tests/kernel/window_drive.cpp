// The configuration window with nobody at it, for the check on the kernel's
// serial drivers, where no key can reach a window: it runs on the offscreen
// platform, takes the varDex the device list offers, and once the first read
// has filled the pages prints what the Information page shows. Given a
// power-up profile it then picks it and applies it, and prints how the write
// ended and what the page shows afterwards. Every message box is printed and
// answered (Yes to a question), every other dialog is ended with its own
// default: OK, except the storage question, which stores nothing.
//   window-drive [--power-up N]
// "writing" says that the write's first row is done, so that a script can
// act during the write.
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/application.h"
#include "app/prop_sheet.h"
#include "ui/device/comm_progress_dialog.h"
#include "ui/device/device_list_dialog.h"
#include "ui/message_box.h"
#include "ui/pages/storage_confirm_dialog.h"
#include "ui/pages/upgrade_page.h"

namespace {

using vardex::ui::CDialog;
using vardex::ui::CPropSheet;
using vardex::ui::CUpgradePage;

// The bound of the whole run.
constexpr int kRunMs = 300000;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Shown(CPropSheet& sheet) {
    CUpgradePage& page = sheet.InformationPage();
    return "firmware " + page.Item<QLineEdit>(CUpgradePage::IDC_FIRMWARE)->text().toStdString() +
           ", power-up " +
           std::to_string(page.Item<QComboBox>(CUpgradePage::IDC_POWER_UP)->currentIndex());
}

// Set while the apply runs: its job window then says when the first row of
// the write is done, past the search and the identification.
bool g_applying = false;
constexpr int kWatchMs = 20;

void WatchWrite(QDialog* job) {
    auto* watch = new QTimer(job);
    QObject::connect(watch, &QTimer::timeout, job, [job, watch] {
        const auto* bar = job->findChild<QProgressBar*>();
        if (bar != nullptr && bar->value() >= 1) {
            watch->stop();
            Say("writing");
        }
    });
    watch->start(kWatchMs);
}

void Apply(CPropSheet& sheet, int power_up) {
    auto* list = sheet.InformationPage().Item<QComboBox>(CUpgradePage::IDC_POWER_UP);
    list->setCurrentIndex(power_up);
    emit list->activated(power_up);
    Say("apply: power-up " + std::to_string(power_up));
    g_applying = true;
    sheet.OnApplyNow();
    g_applying = false;
    const bool pending = sheet.GetDlgItem(CPropSheet::ID_APPLY_NOW)->isEnabled();
    Say(std::string("apply: ") + (pending ? "changes pending" : "done"));
    Say("after the apply: " + Shown(sheet));
}

}  // namespace

int main(int argc, char** argv) {
    int power_up = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--power-up") == 0 && i + 1 < argc) {
            // The list's rows: profiles 0..3 and the factory defaults.
            power_up = std::atoi(argv[++i]);
            if (power_up < 0 || power_up > 4) {
                std::fprintf(stderr, "window-drive: --power-up takes 0..4\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: window-drive [--power-up N]\n");
            return 2;
        }
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qt_argc = 1;
    QApplication qt(qt_argc, argv);

    vardex::ui::SetMessageBoxHook([](const vardex::ui::MessageBoxCall& call) {
        Say("message: " + call.text);
        return call.buttons == vardex::ui::MessageButtons::YesNo ? QMessageBox::Yes
                                                                 : QMessageBox::Ok;
    });
    CDialog::SetModalHook([](CDialog* dialog) {
        if (dynamic_cast<vardex::ui::CCommProgressDialog*>(dialog) != nullptr) {
            if (g_applying) {
                WatchWrite(dialog);
            }
            return;  // a job's window ends with its job
        }
        if (dynamic_cast<CPropSheet*>(dialog) != nullptr) {
            return;  // the sheet ends with the run
        }
        if (dynamic_cast<vardex::ui::CDeviceListDialog*>(dialog) != nullptr) {
            Say("device list: OK");
        }
        const bool storage = dynamic_cast<vardex::ui::CStorageConfirmDialog*>(dialog) != nullptr;
        dialog->EndDialog(storage ? QDialog::Rejected : QDialog::Accepted);
    });

    bool read_done = false;
    bool timed_out = false;
    static vardex::ui::CVarDexApplication app;
    app.InitInstance({QStringLiteral("vardex-config")}, [&](CPropSheet& shown_sheet) {
        CPropSheet* sheet = &shown_sheet;
        sheet->m_onReadDone = [&read_done, power_up, sheet] {
            if (read_done) {
                return;  // the reads that follow belong to the apply
            }
            read_done = true;
            QTimer::singleShot(0, sheet, [power_up, sheet] {
                Say("read: " + Shown(*sheet));
                if (power_up >= 0) {
                    Apply(*sheet, power_up);
                }
                if (!sheet->Ended()) {
                    sheet->EndDialog(QDialog::Accepted);
                }
            });
        };
        // The window stays open for the upgrade that would rescue a device
        // waiting in its loader; there is nothing to read or apply.
        sheet->m_onLoaderFound = [sheet] {
            Say("read: the device waits in its loader");
            QTimer::singleShot(0, sheet, [sheet] { sheet->EndDialog(QDialog::Rejected); });
        };
        auto* deadline = new QTimer(sheet);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, sheet, [&timed_out, sheet] {
            timed_out = true;
            sheet->EndDialog(QDialog::Rejected);
        });
        deadline->start(kRunMs);
    });
    if (timed_out) {
        Say("error: the window did not end within the bound");
        return 3;
    }
    return read_done ? 0 : 1;
}
