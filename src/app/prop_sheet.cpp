#include "prop_sheet.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include "about_dialog.h"
#include "app/framework/help.h"
#include "app/framework/message_box.h"
#include "device/comm_progress.h"
#include "device/ui/comm_progress_dialog.h"
#include "pages/storage_confirm_dialog.h"
#include "params/app_core.h"
#include "platform/vtime.h"
#include "res/strings.h"

namespace vardex::ui {

CPropSheet::CPropSheet(const QString& title, CVarDexConfigurationManagerApp& app)
    : CPropertySheet(title),
      app_(app),
      information_(*this),
      terminal_(Text(res::kTextPageTerminal), kHelpTerminal),
      self_test_(Text(res::kTextPageSelfTest), kHelpSelfTest) {
    AddPage(&information_);
    AddPage(&telephony_);
    AddPage(&connection_);
    AddPage(&terminal_);
    AddPage(&self_test_);
    for (CPlaceholderPage* page :
         {static_cast<CPlaceholderPage*>(&telephony_), static_cast<CPlaceholderPage*>(&connection_),
          &terminal_, &self_test_}) {
        page->SetHost(this);
    }
    // F1 where no page has the focus (tab bar, buttons) opens the shown page's topic.
    InstallSheetHelp(this, [this] {
        const CPropertyPage* page = GetActivePage();
        return page != nullptr ? page->HelpTopic() : kHelpInformation;
    });

    setWindowIcon(QIcon(QStringLiteral(":/icons/vardex.png")));
    // The desktop gives this window no system menu to extend, so the About item
    // lives in a small window menu beside the buttons.
    const std::string about_text(res::LoadString(res::IDS_ABOUT_MENU));
    if (!about_text.empty()) {
        auto* menu_button = new QToolButton(this);
        SetControlId(menu_button, ID_ABOUT);
        menu_button->setIcon(windowIcon());
        menu_button->setToolTip(Text(res::kTextWindowMenu));
        menu_button->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(menu_button);
        menu->addAction(QString::fromStdString(about_text), this, [this] { ShowAbout(); });
        menu_button->setMenu(menu);
        if (auto* buttons = layout()->itemAt(layout()->count() - 1)->layout()) {
            static_cast<QHBoxLayout*>(buttons)->insertWidget(0, menu_button);
        }
    }

    read_timer_.setSingleShot(true);
    connect(&read_timer_, &QTimer::timeout, this, [this] { ReadDevice(); });
}

CPropSheet::~CPropSheet() = default;

void CPropSheet::showEvent(QShowEvent* event) {
    CPropertySheet::showEvent(event);
    if (!first_activation_) {
        return;
    }
    first_activation_ = false;
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // The read starts from the event loop once the window is up, never from its
    // creation.
    read_timer_.start(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(ScaledMs(kReadDelayMs)).count()));
    if (m_onFirstShown) {
        m_onFirstShown();
    }
}

void CPropSheet::ShowAbout() {
    CAboutDialog about(this);
    about.DoModal();
}

int CPropSheet::RunDeviceJob(DeviceJob job, QWidget* parent, bool* quiet_end,
                             const std::string& recall) {
    CCommProgressDialog window(parent != nullptr ? parent : this, this);
    CCommProgress progress(window, app_);
    progress.m_strRecall = recall;
    // A write that fails keeps the window open with the changes pending, to be
    // applied again once the device is back; a device not found by it does not
    // end the program.
    progress.m_bKeepOwner = job == DeviceJob::kWriteAll;
    ++job_depth_;
    int result = kJobStopped;
    switch (job) {
        case DeviceJob::kReadAll:
            result = progress.DoModalJob(CCommProgress::kJobReadAll);
            break;
        case DeviceJob::kWriteAll:
            result = progress.DoModalJob(CCommProgress::kJobWriteAll);
            break;
        case DeviceJob::kUpgrade:
            result = progress.DoModalUpgrade();
            break;
    }
    --job_depth_;
    *quiet_end = progress.m_bQuietEnd != 0;
    if (result == kJobDone) {
        SetLoaderMode(false);
    } else if (progress.m_bInLoader != 0) {
        SetLoaderMode(true);
    }
    if (close_pending_ && job_depth_ == 0) {
        EndDialog(2);
    }
    return result;
}

void CPropSheet::SetLoaderMode(bool on) {
    if (on == loader_mode_) {
        return;
    }
    loader_mode_ = on;
    // Only the upgrade can do anything with a loader: the other pages would show
    // settings nobody read and send commands a loader does not take.
    for (int index = 1; index < GetPageCount(); ++index) {
        Tabs()->setTabEnabled(index, !on);
    }
    if (on) {
        SetActivePage(0);
    }
    information_.SetLoaderMode(on);
}

void CPropSheet::ReadDevice() {
    read_started_ = true;
    bool quiet = false;
    if (RunDeviceJob(DeviceJob::kReadAll, this, &quiet) != kJobDone) {
        if (loader_mode_) {
            // Already told (57676); the window stays for the upgrade that rescues it.
            if (m_onLoaderFound) {
                m_onLoaderFound();
            }
            return;
        }
        if (!quiet) {
            AppMessageBox(this, std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND)),
                          MessageIcon::Exclamation);
        }
        EndDialog(2);
        return;
    }
    TransferRecord(0);
    if (m_onReadDone) {
        // The callback may replace itself.
        const auto done = m_onReadDone;
        done();
    }
}

bool CPropSheet::WriteDevice() {
    CDeviceConfig& record = app_.m_workingRecord;
    if (record.m_bSettingsModified == 0 && record.m_bOtherModified == 0) {
        return true;
    }
    if (TransferRecord(1) != 1) {
        MarkPagesModified(true);  // the value to correct keeps Apply available
        return false;
    }
    bool quiet = false;
    const int result = RunDeviceJob(DeviceJob::kWriteAll, this, &quiet);
    TransferRecord(0);
    if (result == kJobDone) {
        return true;
    }
    if (!quiet) {
        AppMessageBox(this, std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND)),
                      MessageIcon::Exclamation);
    }
    // Nothing is lost: the changes stay pending, to be applied again once the
    // device is back (ending the program here would throw them away).
    MarkPagesModified(true);
    record.m_bSettingsModified = 1;
    record.m_bOtherModified = 1;
    return false;
}

void CPropSheet::MarkPagesModified(bool modified) {
    telephony_.SetModified(modified);
    connection_.SetModified(modified);
    information_.SetModified(modified);
}

void CPropSheet::OnApplyNow() {
    MarkPagesModified(false);
    WriteDevice();
}

int CPropSheet::TransferRecord(int to_record) {
    CDeviceConfig& r = app_.m_workingRecord;
    if (to_record == 1) {
        if (r.m_bSettingsModified == 0 && r.m_bOtherModified == 0) {
            return 1;
        }
        if (r.m_bSettingsModified != 0) {
            CPropertyPage* active = GetActivePage();
            if (active != nullptr && !active->UpdateData(true)) {
                // A value that does not pass stays on screen to be corrected.
                return 0;
            }
            ConfirmStorage(this, &information_.m_nDestination, &information_.m_nPowerUp);
        }
        telephony_.StoreTo(r);
        r.m_nPowerUpProfile = information_.m_nPowerUp;
        r.m_nStoreProfile = information_.m_nDestination;

        const CConnectionPage& c = connection_;
        r.m_nProtocol = c.m_nProtocol;
        r.m_nBodAddRate = c.m_nBodAddRate;
        r.m_nBodDropRate = c.m_nBodDropRate;
        r.m_nBodAddTime = c.m_nBodAddTime;
        r.m_nBodDropTime = c.m_nBodDropTime;
        r.m_nX25CugNumber = c.m_nX25CugNumber;
        r.m_nX25Hic = c.m_nX25Hic;
        r.m_nX25Layer2Window = c.m_nX25Layer2Window;
        r.m_nX25Layer3Window = c.m_nX25Layer3Window;
        r.m_nX25PacketSize = c.m_nX25PacketSize;
        r.m_nX25Lcn = c.m_nX25Lcn;
        r.m_nX25Lic = c.m_nX25Lic;
        r.m_bX25Spvc = c.m_bX25Spvc;
        r.m_bX25UsePad = c.m_bX25UsePad;
        r.m_bX25Pvc = c.m_bX25Pvc;
        r.m_bX25SendRestart = c.m_bX25SendRestart;
        r.m_nX25Tei = c.m_nX25Tei;
        r.m_nX25WaitRestart = c.m_nX25WaitRestart;
        r.m_strX25Address = c.m_strX25Address;
        r.m_bX25TransparentProfile = c.m_bX25TransparentProfile;
        r.m_bX25PadCall = c.m_bX25PadCall;
        r.m_bBapSupport = c.m_bBapSupport;
        r.m_bBapCallBack = c.m_bBapCallBack;
        // Three-way multilink choice onto the flag and the add-channel time; a
        // zero time is what marks fixed multilink.
        switch (c.m_nMultilink) {
            case 0:
                r.m_bMultilink = 0;
                if (r.m_nBodAddTime == 0) {
                    r.m_nBodAddTime = 20;
                }
                break;
            case 1:
                r.m_bMultilink = 1;
                r.m_nBodAddTime = 0;
                break;
            case 2:
                r.m_bMultilink = 1;
                break;
            default:
                break;
        }
    } else {
        CUpgradePage& i = information_;
        i.m_strCountry = r.m_strCountry;
        i.m_strCrc = r.m_strCrc;
        i.m_strModelVersion = CDeviceConfig::FormatVersion(r.m_wModelVersion);
        i.m_strHardwareVersion = CDeviceConfig::FormatVersion(r.m_wHardwareVersion);
        i.m_strFirmwareVersion = CDeviceConfig::FormatVersion(r.m_wFirmwareVersion);
        // A reset still to be written shows as done, as it did when it was asked.
        const bool reset = r.m_bResetCharges != 0;
        i.m_nLastCharge1 = reset ? 0 : r.m_nLastCharge1;
        i.m_nLastCharge2 = reset ? 0 : r.m_nLastCharge2;
        i.m_nLastChargeDte = reset ? 0 : r.m_nLastChargeDte;
        i.m_nTotalCharge1 = reset ? 0 : r.m_nTotalCharge1;
        i.m_nTotalCharge2 = reset ? 0 : r.m_nTotalCharge2;
        i.m_nTotalChargeDte = reset ? 0 : r.m_nTotalChargeDte;
        i.m_nPowerUp = r.m_nPowerUpProfile;
        i.m_nDestination = 0;

        telephony_.LoadFrom(r);

        CConnectionPage& c = connection_;
        if (r.m_nProtocol >= 0 && r.m_nProtocol < CDeviceConfig::kProtocolCount) {
            c.m_nProtocol = r.m_nProtocol;
        }
        c.m_nBodAddRate = r.m_nBodAddRate;
        c.m_nBodDropRate = r.m_nBodDropRate;
        c.m_nBodAddTime = r.m_nBodAddTime;
        c.m_nBodDropTime = r.m_nBodDropTime;
        c.m_nX25CugNumber = r.m_nX25CugNumber;
        c.m_nX25Hic = r.m_nX25Hic;
        c.m_nX25Layer2Window = r.m_nX25Layer2Window;
        c.m_nX25Layer3Window = r.m_nX25Layer3Window;
        c.m_nX25PacketSize = r.m_nX25PacketSize;
        c.m_nX25Lcn = r.m_nX25Lcn;
        c.m_nX25Lic = r.m_nX25Lic;
        c.m_bX25Spvc = r.m_bX25Spvc;
        c.m_bX25UsePad = r.m_bX25UsePad;
        c.m_bX25Pvc = r.m_bX25Pvc;
        c.m_bX25SendRestart = r.m_bX25SendRestart;
        c.m_nX25Tei = r.m_nX25Tei;
        c.m_nX25WaitRestart = r.m_nX25WaitRestart;
        c.m_strX25Address = r.m_strX25Address;
        c.m_bX25TransparentProfile = r.m_bX25TransparentProfile;
        c.m_bX25PadCall = r.m_bX25PadCall;
        c.m_bBapSupport = r.m_bBapSupport;
        c.m_bBapCallBack = r.m_bBapCallBack;
        c.m_nMultilink = r.m_bMultilink == 0 ? 0 : (r.m_nBodAddTime == 0 ? 1 : 2);
    }
    r.m_bSettingsModified = 0;
    r.m_bOtherModified = 0;
    for (int index = 0; index < GetPageCount(); ++index) {
        GetPage(index)->SetModified(false);
    }
    if (to_record == 0) {
        if (CPropertyPage* active = GetActivePage()) {
            active->UpdateData(false);
        }
    }
    return 1;
}

void CPropSheet::PostClose() {
    QMetaObject::invokeMethod(
        this, [this] { OnCancel(); }, Qt::QueuedConnection);
}

void CPropSheet::OnCancel() {
    if (job_depth_ > 0) {
        // A job's window is up: the sheet ends as soon as the job has.
        close_pending_ = true;
        return;
    }
    read_timer_.stop();
    EndDialog(2);
}

}  // namespace vardex::ui
