// The program's main and only window: the five pages, the first read of the
// device a quarter of a second after it is shown, the write on Apply and OK,
// and the transfers between the pages and the working record.
#pragma once

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "ui/pages/connection_page.h"
#include "ui/pages/record_page.h"
#include "ui/pages/sheet_host.h"
#include "ui/pages/telephony_page.h"
#include "ui/pages/upgrade_page.h"
#include "ui/property_sheet.h"
#include "ui/selftest/self_test_page.h"
#include "ui/terminal/terminal_page.h"

namespace vardex::params {
class CVarDexConfigurationManagerApp;
}

namespace vardex::ui {

class CPropSheet : public CPropertySheet, public ISheetHost {
public:
    static constexpr int ID_ABOUT = 16;
    static constexpr int kReadDelayMs = 250;

    CPropSheet(const QString& title, params::CVarDexConfigurationManagerApp& app);
    ~CPropSheet() override;

    CUpgradePage& InformationPage() { return information_; }
    CTelephonyPage& TelephonyPage() { return telephony_; }
    CConnectionPage& ConnectionPage() { return connection_; }
    CTerminalPage& TerminalPage() { return terminal_; }
    CSelfTestPage1& SelfTestPage() { return self_test_; }

    void ReadDevice();
    void OnApplyNow() override;
    void ShowAbout();
    // "Restore Settings...": a backup of this device chosen, its differences
    // shown and, confirmed, written as Apply writes.
    void ShowRestore();

    // Called once, when the window is first shown (tests and the start-up
    // benchmark time it).
    std::function<void()> m_onFirstShown;
    // Called after every read of the device that filled the pages.
    std::function<void()> m_onReadDone;
    // Called when the first read found the device waiting in its firmware loader
    // and the window stays open for the upgrade.
    std::function<void()> m_onLoaderFound;
    // Whether the device was last found in its loader: only the Information
    // page's upgrade is usable until a job completes.
    bool LoaderMode() const { return loader_mode_; }
    // Whether the first read has been started.
    bool ReadStarted() const { return read_started_; }

    // ---- ISheetHost ----
    params::CVarDexConfigurationManagerApp& App() override { return app_; }
    device::JobResult RunDeviceJob(DeviceJob job, QWidget* parent, bool* quiet_end,
                                   const std::string& recall = {}) override;
    bool WriteDevice() override;
    int TransferRecord(int to_record) override;
    bool SetActivePage(int index) override { return CPropertySheet::SetActivePage(index); }
    void PostClose() override;
    void EndWithOk() override { EndDialog(QDialog::Accepted); }

protected:
    void showEvent(QShowEvent* event) override;
    // Cancel, Esc and the close box: changes not yet applied are not dropped
    // without asking.
    void OnCancel() override;

private:
    void AddRecordPage(CRecordPage* page);
    // Ends the sheet once no job runs; ask: changes not yet applied are
    // discarded, applied or kept as the person says.
    void Close(bool ask);
    bool ChangesPending() const;
    void MarkPagesModified(bool modified);
    void SetLoaderMode(bool on);
    // Keeps what the device holds as a backup; false (told) when it cannot.
    bool KeepBackup();
    // Runs a job's modal window: run(progress) starts the job on it.
    template <typename Run>
    auto WithJobWindow(QWidget* parent, bool keep_owner, Run&& run);
    // The line beside the buttons that says what the last write did; empty hides it.
    void ShowStatus(const std::string& text);

    params::CVarDexConfigurationManagerApp& app_;
    CUpgradePage information_;
    CTelephonyPage telephony_;
    CConnectionPage connection_;
    CTerminalPage terminal_;
    CSelfTestPage1 self_test_;
    // Every page, in tab order: the transfers ask each for its own fields.
    std::vector<CRecordPage*> record_pages_;
    bool first_activation_ = true;
    bool read_started_ = false;
    QTimer read_timer_;
    int job_depth_ = 0;
    bool close_pending_ = false;
    bool loader_mode_ = false;
    class QLabel* status_ = nullptr;
};

}  // namespace vardex::ui
