#include "prop_sheet.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <type_traits>
#include <variant>

#include "about_dialog.h"
#include "device/comm_progress.h"
#include "params/app_core.h"
#include "params/field_table.h"
#include "platform/trace.h"
#include "platform/vtime.h"
#include "res/strings.h"
#include "restore_dialog.h"
#include "settings/backup_store.h"
#include "settings/write_path.h"
#include "ui/accessible.h"
#include "ui/device/comm_progress_dialog.h"
#include "ui/help.h"
#include "ui/message_box.h"
#include "ui/pages/storage_confirm_dialog.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::ui {

namespace {

constexpr const char* kRestoreMenuText = "Restore Settings...";

// Where a field's control is named in the messages and lists: its page and the
// control's name for a screen reader, which says which port it belongs to;
// readable where no page shows the field.
std::string ControlLabel(const std::vector<CRecordPage*>& pages, const RecordField* field,
                         std::size_t element, const std::string& readable) {
    for (const CRecordPage* page : pages) {
        for (const FieldBinding& binding : page->Bindings()) {
            if (field == nullptr || binding.member != field->member || binding.index != element ||
                binding.exchange == Exchange::kShown) {
                continue;
            }
            const QWidget* control = page->GetDlgItem(binding.id);
            const QString name = control != nullptr ? control->accessibleName() : QString();
            if (!name.isEmpty()) {
                return page->Caption().toStdString() + ": " + name.toStdString();
            }
        }
    }
    return readable;
}

}  // namespace

CPropSheet::CPropSheet(const QString& title, CVarDexConfigurationManagerApp& app)
    : CPropertySheet(title),
      app_(app),
      information_(*this),
      telephony_(*this),
      connection_(*this),
      terminal_(*this),
      self_test_(*this) {
    AddRecordPage(&information_);
    AddRecordPage(&telephony_);
    AddRecordPage(&connection_);
    AddRecordPage(&terminal_);
    AddRecordPage(&self_test_);
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
        NameControl(menu_button, {Text(res::kTextWindowMenu)});
        menu_button->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(menu_button);
        menu->addAction(QString::fromUtf8(kRestoreMenuText), this, [this] { ShowRestore(); });
        menu->addAction(QString::fromStdString(about_text), this, [this] { ShowAbout(); });
        menu_button->setMenu(menu);
        if (auto* buttons = layout()->itemAt(layout()->count() - 1)->layout()) {
            static_cast<QHBoxLayout*>(buttons)->insertWidget(0, menu_button);
        }
    }

    // What the last write did, in a line beside the buttons.
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setObjectName(QStringLiteral("writeStatus"));
    status_->setVisible(false);
    if (auto* buttons = layout()->itemAt(layout()->count() - 1)->layout()) {
        static_cast<QHBoxLayout*>(buttons)->insertWidget(1, status_, 1);
    }

    RememberSizeAs(QStringLiteral("sheet/size"));
    read_timer_.setSingleShot(true);
    connect(&read_timer_, &QTimer::timeout, this, [this] { ReadDevice(); });
}

CPropSheet::~CPropSheet() = default;

void CPropSheet::AddRecordPage(CRecordPage* page) {
    AddPage(page);
    record_pages_.push_back(page);
}

void CPropSheet::showEvent(QShowEvent* event) {
    CPropertySheet::showEvent(event);
    if (!first_activation_) {
        return;
    }
    first_activation_ = false;
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

void CPropSheet::ShowRestore() {
    if (loader_mode_ || job_depth_ > 0) {
        return;
    }
    CRestoreDialog dialog(this, app_.m_deviceCopy, settings::UnitPort(app_.m_workingRecord),
                          [this](const settings::ItemChange& c) {
                              return ControlLabel(record_pages_, c.entry, c.element, c.readable);
                          });
    if (dialog.DoModal() != QDialog::Accepted) {
        return;
    }
    // The backup's settings go through the pages and the ordinary write, so the
    // storage question, the variant's rules and a refused value are as on Apply.
    CDeviceConfig& record = app_.m_workingRecord;
    record.CopyFrom(app_.m_deviceCopy);
    settings::ApplyChanges(dialog.Changes(), &record);
    TransferRecord(0);
    record.m_bSettingsModified = 1;
    record.m_bOtherModified = 1;
    MarkPagesModified(true);
    WriteDevice();
}

bool CPropSheet::KeepBackup() {
    const auto kept =
        settings::KeepBackup(app_.m_deviceCopy, settings::UnitPort(app_.m_workingRecord));
    if (kept) {
        return true;
    }
    AppMessageBox(this, kept.error(), MessageIcon::Exclamation);
    return false;
}

template <typename Run>
auto CPropSheet::WithJobWindow(QWidget* parent, bool keep_owner, Run&& run) {
    CCommProgressDialog window(parent != nullptr ? parent : this, this);
    CCommProgress progress(window, app_);
    // A write that fails keeps the window open with the changes pending, to be
    // applied again once the device is back; a device not found by it does not
    // end the program.
    progress.m_bKeepOwner = keep_owner;
    // The job needs the channel to itself: the terminal's reader (Apply from the
    // Terminal page) leaves it for the job's time.
    const bool reader_paused = terminal_.PauseReader();
    ++job_depth_;
    auto result = run(progress);
    --job_depth_;
    if (reader_paused) {
        terminal_.ResumeReader();
    }
    if (progress.m_bInLoader != 0) {
        SetLoaderMode(true);
    }
    if (close_pending_ && job_depth_ == 0) {
        EndDialog(QDialog::Rejected);
    }
    return result;
}

JobResult CPropSheet::RunDeviceJob(DeviceJob job, QWidget* parent, bool* quiet_end,
                                   const std::string& recall) {
    // What the device held is kept before anything is sent to it; a device in
    // its loader has no settings to keep.
    if (job == DeviceJob::kUpgrade && !loader_mode_ && !KeepBackup()) {
        *quiet_end = true;
        return JobResult::kStopped;
    }
    return WithJobWindow(parent, false, [&](CCommProgress& progress) {
        progress.m_strRecall = recall;
        const JobResult result = job == DeviceJob::kUpgrade
                                     ? progress.DoModalUpgrade()
                                     : progress.DoModalJob(CCommProgress::kJobReadAll);
        *quiet_end = progress.m_bQuietEnd != 0;
        if (result == JobResult::kDone) {
            SetLoaderMode(false);
        }
        return result;
    });
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
    if (RunDeviceJob(DeviceJob::kReadAll, this, &quiet) != JobResult::kDone) {
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
        EndDialog(QDialog::Rejected);
        return;
    }
    TransferRecord(0);
    FocusFirstControl();
    if (TraceEnabled()) {
        // What the page shows after the read: lets an installed program be
        // checked from outside, where no test can reach its widgets.
        const auto shown = [this](int id) {
            return information_.Item<QLineEdit>(id)->text().toStdString();
        };
        Trace("Information page: country %s, model %s, hardware %s, firmware %s\n",
              shown(CUpgradePage::IDC_COUNTRY).c_str(), shown(CUpgradePage::IDC_MODEL).c_str(),
              shown(CUpgradePage::IDC_HARDWARE).c_str(), shown(CUpgradePage::IDC_FIRMWARE).c_str());
    }
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
    CDeviceConfig before;
    before.CopyFrom(app_.m_deviceCopy);
    CDeviceConfig wanted;
    wanted.CopyFrom(record);
    const settings::WriteReport report = settings::WriteSettings(app_, true, [this] {
        return WithJobWindow(this, true, [this](CCommProgress& progress) {
            WriteOutcome outcome = progress.DoModalWrite();
            if (outcome.Result() == JobResult::kDone) {
                SetLoaderMode(false);
            }
            return outcome;
        });
    });
    const settings::Pending pending = settings::KeepUnapplied(report, before, wanted, &record);
    TransferRecord(0);
    if (report.Done()) {
        ShowStatus(settings::SummaryLine(report));
        return true;
    }
    ShowStatus({});
    if (!report.told) {
        const std::string text =
            settings::ProblemText(report, [this](const settings::FieldResult& r) {
                return ControlLabel(record_pages_, r.field, r.element, r.readable);
            });
        if (!text.empty()) {
            AppMessageBox(this, text, MessageIcon::Exclamation);
        }
    }
    // Nothing is lost: what the device did not take stays pending, to be
    // corrected or applied again once the device is back (ending the program
    // here would throw it away).
    if (report.NothingSent()) {
        record.m_bSettingsModified = 1;
        record.m_bOtherModified = 1;
    } else {
        record.m_bSettingsModified = pending.settings ? 1 : 0;
        record.m_bOtherModified = pending.other ? 1 : 0;
    }
    MarkPagesModified(record.m_bSettingsModified != 0 || record.m_bOtherModified != 0);
    return false;
}

void CPropSheet::ShowStatus(const std::string& text) {
    status_->setText(QString::fromStdString(text));
    status_->setVisible(!text.empty());
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
            ConfirmStorage(this, &information_.Record().m_nStoreProfile,
                           &information_.Record().m_nPowerUpProfile);
        }
        for (const CRecordPage* page : record_pages_) {
            page->StoreTo(r);
        }
    } else {
        for (CRecordPage* page : record_pages_) {
            page->LoadFrom(r);
        }
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

bool CPropSheet::ChangesPending() const {
    const CDeviceConfig& record = app_.m_workingRecord;
    bool pending = record.m_bSettingsModified != 0 || record.m_bOtherModified != 0;
    for (int index = 0; index < GetPageCount(); ++index) {
        pending = pending || GetPage(index)->IsModified();
    }
    return pending;
}

void CPropSheet::PostClose() {
    // The job that asks has already said why: nothing is asked again.
    QMetaObject::invokeMethod(
        this, [this] { Close(false); }, Qt::QueuedConnection);
}

void CPropSheet::OnCancel() {
    Close(true);
}

void CPropSheet::Close(bool ask) {
    if (job_depth_ > 0) {
        // A job's window is up: the sheet ends as soon as the job has.
        close_pending_ = true;
        return;
    }
    int result = QDialog::Rejected;
    if (ask && !loader_mode_ && ChangesPending()) {
        switch (AppMessageBox(this, std::string(res::kTextUnappliedChanges), MessageIcon::Question,
                              MessageButtons::DiscardApplyKeep)) {
            case QMessageBox::Discard:
                break;
            case QMessageBox::Apply:
                // A write that fails keeps the window open, its changes pending.
                if (!WriteDevice()) {
                    return;
                }
                result = QDialog::Accepted;
                break;
            default:
                return;
        }
    }
    read_timer_.stop();
    EndDialog(result);
}

}  // namespace vardex::ui
