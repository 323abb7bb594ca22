// The running device job as the device operations see it: its window's caption,
// status text, progress bar and Cancel button, the person's prompts, and the two
// stop flags. Implemented by the GUI's progress dialog, by vardexctl's terminal
// view and by the tests' scripted view; worker threads call it, never a widget.
#pragma once

#include <string>

#include "device/job_result.h"
#include "link/user_prompts.h"
#include "params/running_job.h"

namespace vardex::device {

class CJobView : public params::CRunningJob {
public:
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void EnableCancel(bool enable) = 0;
    virtual vardex::link::IProgressBar& Progress() = 0;
    virtual vardex::link::IUserPrompts& Prompts() = 0;
    // Asks the window that owns the job to close (the program ends when that is
    // the main window).
    virtual void CloseOwner() = 0;

    // What the firmware upgrade saves and restores around its transfer, and
    // its file choice. Views without them show the defaults.
    virtual std::string GetCaption() const { return {}; }
    virtual void GetProgressRange(int* lower, int* upper) const {
        *lower = 0;
        *upper = 100;
    }
    // Worker thread only: why the chosen firmware file cannot be sent.
    std::string m_strFileProblem;

    // The open-file dialog; false when the person cancelled it.
    virtual bool ChooseOpenFile(const std::string& /*filter*/, const std::string& /*default_ext*/,
                                std::string* /*path*/) {
        return false;
    }
};

}  // namespace vardex::device
