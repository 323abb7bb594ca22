// The running job's window in a terminal: caption, status text and progress on
// standard error (through CliJobView), Ctrl+C as the Cancel button.
//
// The main thread is the UI thread: RunModal waits on a pipe that carries the
// end message (from the worker) and Ctrl+C (from the signal handler). The
// worker's display and prompt calls run on the worker itself, one at a time
// under a lock: a terminal has no thread affinity, only the interleaving of
// lines matters.
//
// Ctrl+C asks "Sure you want to cancel the job?"; a second Ctrl+C (or "y" and
// Enter) confirms, Enter alone answers No.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli_view.h"
#include "device/comm_progress.h"
#include "platform/unique_fd.h"

namespace vardex::ctl {

class CliJobWindow : public device::IJobWindow {
public:
    CliJobWindow(std::FILE* in = stdin, std::FILE* out = stderr);
    ~CliJobWindow() override;
    CliJobWindow(const CliJobWindow&) = delete;
    CliJobWindow& operator=(const CliJobWindow&) = delete;

    // The file the open-file choice answers with; empty: the choice is cancelled.
    void SetImageFile(std::string path) { image_file_ = std::move(path); }
    // What the signal handler does on Ctrl+C; callable from any thread.
    void Interrupt();
    // False when the window could not be set up (no pipe): no job may start.
    bool Ready() const { return pipe_[0].valid(); }
    // Whether a job ended with a stop it could not act on (a Ctrl+C or SIGTERM
    // during a step that cannot stop, at its very end) since the last call: the
    // command must not go on to its next job. Taking it clears it, so that the
    // next command of a process that runs several starts afresh.
    static bool TakeStopLeft();
    int SetupError() const { return setup_error_; }
    // Whether the person (or a signal) stopped the last job run here.
    bool Stopped() const { return stopped_; }
    // Texts of the messages shown so far.
    std::vector<std::string> Messages() const;

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
    void CloseOwner() override {}

private:
    // Waits for the next event byte; with stdin, also for an answer line
    // ('y', 'n', or 0 at end of input).
    char NextEvent(bool with_stdin);
    void Write(const std::string& text);

    std::FILE* in_;
    std::FILE* out_;
    platform::UniqueFd pipe_[2];
    int setup_error_ = 0;
    mutable std::recursive_mutex mutex_;
    CliJobView view_;
    std::vector<std::string> messages_;
    std::string image_file_;
    device::CCommProgress* job_ = nullptr;
    bool ended_ = false;
    bool confirm_open_ = false;
    bool input_ended_ = false;
    bool stopped_ = false;
    // SIGTERM or SIGHUP came: Cancel needs no confirmation.
    std::atomic<bool> terminate_{false};
    // Ctrl+C that came while Cancel was off (UI thread only).
    int pending_interrupts_ = 0;
    device::JobResult result_ = device::JobResult::kStopped;
};

}  // namespace vardex::ctl
