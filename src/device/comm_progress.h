// CCommProgress: one device job (read all, write all, firmware upgrade) on its
// own worker thread while the user interface waits in a modal window.
//
// The core owns the job's logic; the window is a small interface, IJobWindow,
// implemented by the GUI's progress dialog, by vardexctl's terminal view and by
// the tests' scripted window.
//
// Threading contract
// - UI thread: the caller constructs CCommProgress, calls one DoModal* and
//   destroys it. DoModal* starts the worker and calls IJobWindow::RunModal,
//   which returns only after CCommProgress::OnEndMessage has called EndModal.
//   Inside its loop the window calls OnCancelCommand (Cancel button, Esc,
//   Ctrl+C) and OnEndMessage (the end message posted by the worker). DoModal*
//   joins the worker before it returns, so the object may be destroyed at once.
// - Worker thread: runs the job and calls the CJobView side (caption, status
//   text, progress, Cancel enable, prompts, file choice, CloseOwner). Each of
//   those is forwarded to the window synchronously: the window applies it on
//   its UI thread and returns when done, so the window's modal loops (the main
//   one and the cancel confirmation's) must keep serving them. The worker's
//   last act is PostEndMessage, which never blocks.
// - OnCancelCommand (UI thread): disables Cancel and asks ConfirmCancel, a
//   nested modal question. "Yes" sets m_bAbort and m_bQuietEnd and leaves Cancel
//   disabled; "No" enables Cancel again. The worker polls m_bAbort. While Cancel
//   is disabled (the worker's choice, an open question, a stop already
//   confirmed) the command is ignored, whether it came from the button, Esc,
//   the close box or Ctrl+C.
// - OnEndMessage (UI thread, possibly nested inside ConfirmCancel): closes an
//   open confirmation as "No" (CloseConfirmation), then EndModal(JobResult::kStopped)
//   when m_bAbort is set, else EndModal(JobResult::kDone). Later end messages are ignored.
// - The race "Cancel confirmed after the worker's last check": the worker
//   writes m_bAbort = (job failed) and marks the job finished under one lock,
//   and a confirmation takes the same lock and changes nothing once the job is
//   finished. A completed job therefore ends with JobResult::kDone whenever
//   the "Yes" came, a failed or stopped one with kStopped; a job that failed on its
//   own before the "Yes" keeps m_bQuietEnd 0, so its failure is still reported.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/job_view.h"
#include "params/app_core.h"

namespace vardex::device {

// The window side of a running job.
class IJobWindow {
public:
    virtual ~IJobWindow() = default;

    // ---- UI thread ----
    // Runs the modal loop until EndModal; returns its result. The loop serves the worker's
    // synchronous calls, delivers Cancel to job.OnCancelCommand() and the end message to
    // job.OnEndMessage(). It must not return before EndModal: the worker may still be waiting on
    // the window.
    virtual JobResult RunModal(class CCommProgress& job) = 0;
    // Makes RunModal return result once the handlers on the stack have returned.
    virtual void EndModal(JobResult result) = 0;
    // Asks "Sure you want to cancel the job?" modally: true for Yes. Keeps
    // serving the worker's calls and the end message while open; returns false
    // when CloseConfirmation closed it.
    virtual bool ConfirmCancel() = 0;
    // Closes an open confirmation as if "No" had been chosen; no-op otherwise.
    virtual void CloseConfirmation() = 0;

    // ---- worker thread, never blocks ----
    // Queues the end message; the UI thread then calls job.OnEndMessage().
    virtual void PostEndMessage() = 0;

    // ---- display and prompts ----
    // Called from the worker: synchronous, they return once the UI thread has
    // applied them. The display calls (caption to progress) also come from the
    // UI thread itself (Cancel handling), and must then apply directly.
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void EnableCancel(bool enable) = 0;
    // A 32-bit range; the core keeps the range and position it set, so the
    // window never has to report them back.
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int position) = 0;
    virtual void ShowMessage(const std::string& text, vardex::link::MessageIcon icon) = 0;
    // As IUserPrompts::ChooseFromList.
    virtual vardex::link::Choice ChooseFromList(const std::string& caption,
                                                const std::string& prompt,
                                                const std::vector<std::string>& items,
                                                int* selected) = 0;
    // The open-file dialog. filter: "Label (*.a;*.b)|*.a;*.b|All Files (*.*)|*.*||";
    // default_ext e.g. "*.img;*.dnl". false when the person cancelled.
    virtual bool ChooseOpenFile(const std::string& filter, const std::string& default_ext,
                                std::string* path) = 0;
    // Asks the window that owns the job window to close (ends the program when
    // that is the main window); the job window itself still ends normally.
    virtual void CloseOwner() = 0;
};

class CCommProgress : public CJobView {
public:
    static constexpr int kJobReadAll = 0;
    static constexpr int kJobWriteAll = 1;

    CCommProgress(IJobWindow& window, params::CVarDexConfigurationManagerApp& app);
    ~CCommProgress() override;

    // UI thread. Each runs its job modally; when it did not complete,
    // m_bQuietEnd says whether the failure was already reported.
    virtual JobResult DoModalReadAll();
    virtual JobResult DoModalWriteAll();
    // The write job, with how far it got and why it ended (its Result() is
    // the modal run's).
    WriteOutcome DoModalWrite();
    virtual JobResult DoModalUpgrade();
    virtual JobResult DoModalJob(int job);

    // UI thread, called by the window's loop.
    void OnCancelCommand();
    // Whether a Cancel command would be taken now (any thread).
    bool CancelEnabled() const { return m_bCancelEnabled.load(); }
    void OnEndMessage();

    // ---- CJobView (worker thread) ----
    void SetCaption(const std::string& text) override;
    std::string GetCaption() const override;
    void SetStatusText(const std::string& text) override;
    void EnableCancel(bool enable) override;
    vardex::link::IProgressBar& Progress() override { return m_progress; }
    void GetProgressRange(int* lower, int* upper) const override;
    vardex::link::IUserPrompts& Prompts() override { return m_prompts; }
    bool ChooseOpenFile(const std::string& filter, const std::string& default_ext,
                        std::string* path) override;
    void CloseOwner() override;

    params::CVarDexConfigurationManagerApp& App() { return m_app; }

    // Worker side of the end: records the outcome and posts the end message.
    void EndJob(int failed);
    // Worker side of a write's end: keeps its outcome for DoModalWrite first.
    void EndWrite(WriteOutcome outcome);

    int m_nJob = kJobWriteAll;
    int m_bUpgrade = 0;
    // When set, CloseOwner does nothing: the owner stays open whatever the job
    // finds (a failed write keeps the person's changes pending in it).
    bool m_bKeepOwner = false;
    // The read-all job's profile recall ("ATZ0".."ATZ4"), sent once the device
    // is identified and before reading; empty for a plain read.
    std::string m_strRecall;
    // The upgrade's own result before the read-all that follows it (kStopped
    // until it is known), so that a failed read-back is not taken for a failed
    // upgrade.
    std::atomic<UpgradeResult> m_firmwareResult{UpgradeResult::kStopped};

private:
    class Bar : public vardex::link::IProgressBar {
    public:
        explicit Bar(CCommProgress& owner) : m_owner(owner) {}
        void SetRange32(int lower, int upper) override;
        void SetPos(int position) override;
        void SetStep(int step) override { m_nStep = step; }
        void StepIt() override;
        int GetPos() const override { return m_nPos; }
        int m_nLower = 0, m_nUpper = 100, m_nPos = 0, m_nStep = 10;

    private:
        CCommProgress& m_owner;
    };
    class Prompter : public vardex::link::IUserPrompts {
    public:
        explicit Prompter(IJobWindow& window) : m_window(window) {}
        void ShowMessage(const std::string& text, vardex::link::MessageIcon icon) override;
        vardex::link::Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                            const std::vector<std::string>& items,
                                            int* selected) override;

    private:
        IJobWindow& m_window;
    };

    JobResult RunJob();

    IJobWindow& m_window;
    params::CVarDexConfigurationManagerApp& m_app;
    Bar m_progress{*this};
    Prompter m_prompts{m_window};
    std::string m_strCaption;     // worker-side copy, for the upgrade's restore
    WriteOutcome m_writeOutcome;  // the worker's, read once it has been joined
    std::thread m_thread;
    mutable std::mutex m_endMutex;  // orders the worker's end against a confirmed Cancel
    bool m_bJobFinished = false;
    bool m_bEnded = false;       // UI thread: EndModal already called
    bool m_bConfirming = false;  // UI thread: the confirmation is open
    std::atomic<bool> m_bCancelEnabled{true};
};

// Worker procedures: run the job, set m_bAbort to whether it failed, post the
// end message. Return 0.
int UploadThreadProc(CCommProgress* dialog);
int DownloadThreadProc(CCommProgress* dialog);
int UpgradeThreadProc(CCommProgress* dialog);

}  // namespace vardex::device
