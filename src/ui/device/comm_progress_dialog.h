// The progress dialog of a device job: the looping animation, the progress bar,
// the status text and Cancel. It is the window side of CCommProgress: the job's
// worker thread calls it, and every such call is handed to the GUI thread and
// waited for, so no widget is touched from the worker.
#pragma once

#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "cancel_confirm_dialog.h"
#include "device/comm_progress.h"
#include "ui/dialog.h"

class QLabel;
class QProgressBar;

namespace vardex::ui {

class CJobAnimation;

// "varDex Download Files (*.img;*.dnl)|*.img;*.dnl|All Files (*.*)|*.*||" as the
// Qt file dialog writes it: "varDex Download Files (*.img *.dnl);;All Files (*)".
QString ConvertFileFilter(const std::string& filter);

class CCommProgressDialog : public CDialog, public device::IJobWindow {
public:
    static constexpr int IDC_ANIMATION = 2051;
    static constexpr int IDC_PROGRESS = 2047;
    static constexpr int IDC_STATUS = 2048;

    // owner: the window that CloseOwner asks to close (the sheet).
    explicit CCommProgressDialog(QWidget* parent, QWidget* owner = nullptr);
    ~CCommProgressDialog() override;

    // Tests: replaces the open-file dialog; gets the Qt filter, returns the path
    // or an empty text for Cancel.
    using FileChoiceHook = std::function<QString(const QString& filter)>;
    static void SetFileChoiceHook(FileChoiceHook hook);

    QLabel* StatusText() const { return status_; }
    QProgressBar* ProgressBar() const { return progress_; }

    // ---- IJobWindow ----
    device::JobResult RunModal(device::CCommProgress& job) override;
    void EndModal(device::JobResult result) override;
    bool ConfirmCancel() override;
    void CloseConfirmation() override;
    void PostEndMessage() override;
    void SetCaption(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void EnableCancel(bool enable) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void ShowMessage(const std::string& text, link::MessageIcon icon) override;
    link::Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                const std::vector<std::string>& items, int* selected) override;
    bool ChooseOpenFile(const std::string& filter, const std::string& default_ext,
                        std::string* path) override;
    void CloseOwner() override;

protected:
    bool OnInitDialog() override;
    // Cancel, Esc and the close box ask the job; the dialog ends only when the
    // worker says the job is over.
    void OnCancel() override;
    void OnOK() override {}

private:
    CJobAnimation* animation_;
    QProgressBar* progress_;
    QLabel* status_;
    QPointer<QWidget> owner_;
    CCancelConfirmDialog confirm_;
    device::CCommProgress* job_ = nullptr;
};

}  // namespace vardex::ui
