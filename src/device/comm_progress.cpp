#include "device/comm_progress.h"

#include <system_error>

#include "device/firmware_upgrade.h"
#include "device/transfer_jobs.h"
#include "res/strings.h"

using namespace vardex::params;

namespace vardex::device {

using namespace vardex::link;

namespace res = vardex::res;

CCommProgress::CCommProgress(IJobWindow& window, CVarDexConfigurationManagerApp& app)
    : m_window(window), m_app(app), m_strCaption(res::kTextCommProgressCaption) {}

CCommProgress::~CCommProgress() {
    // Only reached without a join when DoModal* was never called or threw.
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

JobResult CCommProgress::DoModalReadAll() {
    m_nJob = kJobReadAll;
    return RunJob();
}

JobResult CCommProgress::DoModalWriteAll() {
    m_nJob = kJobWriteAll;
    return RunJob();
}

WriteOutcome CCommProgress::DoModalWrite() {
    m_nJob = kJobWriteAll;
    m_writeOutcome = WriteOutcome{};
    const JobResult result = RunJob();
    WriteOutcome outcome = std::move(m_writeOutcome);
    // A stop confirmed after the last row leaves a complete write complete.
    if (result != JobResult::kDone && outcome.end == WriteOutcome::End::kDone) {
        outcome.end = WriteOutcome::End::kStopped;
    }
    return outcome;
}

JobResult CCommProgress::DoModalUpgrade() {
    m_bUpgrade = 1;
    return RunJob();
}

JobResult CCommProgress::DoModalJob(int job) {
    m_nJob = job;
    return RunJob();
}

JobResult CCommProgress::RunJob() {
    m_bAbort = 0;
    m_bQuietEnd = 0;
    m_bInLoader = 0;
    {
        std::lock_guard lock(m_endMutex);
        m_bJobFinished = false;
    }
    m_bEnded = false;
    m_bConfirming = false;
    m_bCancelEnabled = true;
    int (*procedure)(CCommProgress*) = m_bUpgrade != 0 ? UpgradeThreadProc
                                       : m_nJob != 0   ? DownloadThreadProc
                                                       : UploadThreadProc;
    try {
        m_thread = std::thread(procedure, this);
    } catch (const std::system_error&) {
        EndJob(1);
    }
    const JobResult result = m_window.RunModal(*this);
    // The worker's last act was posting the end message, so this join is short;
    // it keeps the worker from outliving the object.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return result;
}

void CCommProgress::OnCancelCommand() {
    if (m_bConfirming || m_bEnded || !m_bCancelEnabled || m_bAbort != 0) {
        return;
    }
    EnableCancel(false);
    m_bConfirming = true;
    const bool yes = m_window.ConfirmCancel();
    m_bConfirming = false;
    if (yes) {
        std::lock_guard lock(m_endMutex);
        if (!m_bJobFinished) {
            m_bAbort = 1;
            m_bQuietEnd = 1;
        }
        return;
    }
    if (!m_bEnded) {
        EnableCancel(true);
    }
}

void CCommProgress::OnEndMessage() {
    if (m_bEnded) {
        return;
    }
    m_bEnded = true;
    if (m_bConfirming) {
        m_window.CloseConfirmation();
    }
    m_window.EndModal(m_bAbort != 0 ? JobResult::kStopped : JobResult::kDone);
}

void CCommProgress::EndJob(int failed) {
    {
        std::lock_guard lock(m_endMutex);
        m_bAbort = failed != 0 ? 1 : 0;
        m_bJobFinished = true;
    }
    m_window.PostEndMessage();
}

void CCommProgress::EndWrite(WriteOutcome outcome) {
    const bool failed = outcome.Result() != JobResult::kDone;
    {
        std::lock_guard lock(m_endMutex);
        m_writeOutcome = std::move(outcome);
    }
    EndJob(failed ? 1 : 0);
}

void CCommProgress::SetCaption(const std::string& text) {
    m_strCaption = text;
    m_window.SetCaption(text);
}

std::string CCommProgress::GetCaption() const {
    return m_strCaption;
}

void CCommProgress::SetStatusText(const std::string& text) {
    m_window.SetStatusText(text);
}

void CCommProgress::EnableCancel(bool enable) {
    m_bCancelEnabled = enable;
    m_window.EnableCancel(enable);
}

void CCommProgress::GetProgressRange(int* lower, int* upper) const {
    *lower = m_progress.m_nLower;
    *upper = m_progress.m_nUpper;
}

bool CCommProgress::ChooseOpenFile(const std::string& filter, const std::string& default_ext,
                                   std::string* path) {
    return m_window.ChooseOpenFile(filter, default_ext, path);
}

void CCommProgress::CloseOwner() {
    if (!m_bKeepOwner) {
        m_window.CloseOwner();
    }
}

void CCommProgress::Bar::SetRange32(int lower, int upper) {
    m_nLower = lower;
    m_nUpper = upper;
    m_owner.m_window.SetProgressRange(lower, upper);
}

void CCommProgress::Bar::SetPos(int position) {
    m_nPos = position;
    m_owner.m_window.SetProgressPos(position);
}

void CCommProgress::Bar::StepIt() {
    // Past the end the bar starts over, as the native control does.
    const long long next = static_cast<long long>(m_nPos) + m_nStep;
    SetPos(next > m_nUpper ? m_nLower : static_cast<int>(next));
}

void CCommProgress::Prompter::ShowMessage(const std::string& text, MessageIcon icon) {
    m_window.ShowMessage(text, icon);
}

Choice CCommProgress::Prompter::ChooseFromList(const std::string& caption,
                                               const std::string& prompt,
                                               const std::vector<std::string>& items,
                                               int* selected) {
    return m_window.ChooseFromList(caption, prompt, items, selected);
}

int UploadThreadProc(CCommProgress* dialog) {
    dialog->EndJob(RecallAndReadAll(dialog, &dialog->App(), dialog->m_strRecall) !=
                   JobResult::kDone);
    return 0;
}

int DownloadThreadProc(CCommProgress* dialog) {
    dialog->EndWrite(WriteAllParameters(dialog, &dialog->App()));
    return 0;
}

namespace {

constexpr const char* kHowToRecover =
    "The varDex now waits in its firmware loader. Start the upgrade again with the firmware "
    "image to bring it back.";

}  // namespace

int UpgradeThreadProc(CCommProgress* dialog) {
    CVarDexConfigurationManagerApp& app = dialog->App();
    const UpgradeResult upgraded = UpgradeFirmware(dialog, &app, 1);
    dialog->m_firmwareResult = upgraded;
    const JobResult result =
        upgraded == UpgradeResult::kDone ? ReadAllParameters(dialog, &app) : ToJobResult(upgraded);
    const bool in_loader = dialog->m_bInLoader != 0;
    switch (upgraded) {
        case UpgradeResult::kDeviceFailed: {
            std::string text(res::LoadString(res::IDS_UPGRADE_FAILED));
            if (in_loader) {
                text += std::string("\n\n") + kHowToRecover;
            }
            dialog->Prompts().ShowMessage(text, MessageIcon::Exclamation);
            app.m_workingRecord.Close();
            break;
        }
        case UpgradeResult::kFileFailed: {
            std::string text(res::LoadString(res::IDS_FIRMWARE_FILE_ERROR));
            if (!dialog->m_strFileProblem.empty()) {
                text += "\n\n" + dialog->m_strFileProblem + ".";
            }
            dialog->Prompts().ShowMessage(text, MessageIcon::Exclamation);
            break;
        }
        case UpgradeResult::kImageRejected:
            dialog->Prompts().ShowMessage(
                "The varDex did not take the image: it is still waiting in its firmware loader. "
                "The file may be damaged or not made for this varDex. Start the upgrade again "
                "with a good image to bring it back.",
                MessageIcon::Exclamation);
            break;
        case UpgradeResult::kDone:  // the read that followed it may have been stopped
        case UpgradeResult::kStopped:
            if (result == JobResult::kStopped && in_loader && dialog->m_bAbort != 0) {
                dialog->Prompts().ShowMessage(
                    std::string("The upgrade was stopped. ") + kHowToRecover,
                    MessageIcon::Information);
            }
            break;
    }
    dialog->EndJob(result != JobResult::kDone);
    return 0;
}

}  // namespace vardex::device
