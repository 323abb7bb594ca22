// The read-all and write-all jobs under CCommProgress against the simulated
// varDex: results, progress, the fault message, and every turn of the Cancel
// confirmation, the races with the job's end included.
#include <gtest/gtest.h>

#include <string>

#include "device/comm_progress.h"
#include "device/transfer_jobs.h"
#include "job_fixture.h"
#include "res/strings.h"
#include "scripted_job_window.h"

using namespace vardex::params;
using namespace vardex::device;

namespace vardex::test {
namespace {

class Jobs : public SimJobTest {
protected:
    JobResult Run(int job) {
        CCommProgress progress(window_, app_);
        const JobResult result = progress.DoModalJob(job);
        quiet_ = progress.m_bQuietEnd;
        return result;
    }
    // Presses Cancel once, when the read-all job's bar reaches position.
    void CancelAt(int position) {
        window_.on_progress_pos = [this, position](int pos) {
            if (pos == position && !pressed_) {
                pressed_ = true;
                window_.PressCancel();
            }
        };
    }

    ScriptedJobWindow window_;
    int quiet_ = -1;
    bool pressed_ = false;
};

TEST_F(Jobs, ReadWriteEveryPageKindReadBackEqual) {
    Start();
    ASSERT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    EXPECT_EQ(window_.captions.front(), "Uploading varDex Parameters...");
    ASSERT_FALSE(window_.ranges.empty());
    EXPECT_EQ(window_.ranges.back(), (std::pair<int, int>{0, 23}));
    EXPECT_EQ(window_.positions.back(), 23);
    EXPECT_TRUE(D().SameParameters(W()));
    EXPECT_EQ(W().m_nFlashDuration, 20);

    W().m_bCallWaiting1 = 0;          // Telephony: a flag
    W().m_strPhoneMsn[4] = "4321";    // Telephony: a subscriber number
    W().m_nOwnNumber2 = 1;            // and the own number among them
    W().m_nProtocol = 4;              // Connection: a code table
    W().m_nBodDropRate = 100;         // Connection: a number
    W().m_byModemLlc[0][1] = 0x9A;    // Terminal: an octet
    W().m_strX25Address = "1234567";  // X.25: digits
    W().m_nX25Tei = 12;
    W().m_nPowerUpProfile = 3;  // Information: the power-up profile
    ScriptedJobWindow write_window;
    {
        CCommProgress progress(write_window, app_);
        ASSERT_EQ(progress.DoModalWriteAll(), JobResult::kDone);
    }
    EXPECT_EQ(write_window.captions.front(), "Downloading varDex Parameters...");
    EXPECT_EQ(write_window.ranges.back(), (std::pair<int, int>{0, 24}));
    EXPECT_EQ(write_window.positions.back(), 24);
    EXPECT_TRUE(write_window.prompts.messages.empty());
    EXPECT_TRUE(D().SameParameters(W()));

    CDeviceConfig written;
    written.CopyFrom(W());
    W().Reset();
    D().Reset();
    ScriptedJobWindow read_window;
    {
        CCommProgress progress(read_window, app_);
        ASSERT_EQ(progress.DoModalReadAll(), JobResult::kDone);
    }
    EXPECT_TRUE(W().SameParameters(written));
    EXPECT_EQ(W().m_strPhoneMsn[4], "4321");
    EXPECT_EQ(W().m_byModemLlc[0][1], 0x9A);
    EXPECT_EQ(W().m_nPowerUpProfile, 3);
}

// The job tells nothing of what it did (the write's report does); its outcome
// names the rows whose values the device did not take.
TEST_F(Jobs, RefusedValuesAreTheOutcomesMismatchRowsAndTheJobIsDone) {
    Start(sim::DeviceOptions{.country = "Cyprus"});
    ASSERT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    W().m_nX25PacketSize = 9;    // row 11: the device takes 4..7
    W().m_nFlashDuration = 150;  // row 15: the device takes 0..100
    W().m_bClir2 = 1;
    ScriptedJobWindow write_window;
    CCommProgress progress(write_window, app_);
    const WriteOutcome outcome = progress.DoModalWrite();
    ASSERT_EQ(outcome.Result(), JobResult::kDone);
    EXPECT_TRUE(write_window.prompts.messages.empty());
    EXPECT_EQ(outcome.RowsDone(), 24);
    EXPECT_EQ(outcome.rows[11], RowResult::kMismatch);
    EXPECT_EQ(outcome.LastFaultRow(), 15);
    EXPECT_EQ(write_window.positions.back(), 24);
    // The device copy holds what the device reported, the rows after the fault ran.
    EXPECT_EQ(D().m_nFlashDuration, 20);
    EXPECT_EQ(D().m_bClir2, 1);
    EXPECT_EQ(device_->Register(85) & 0x02, 0x02);
}

TEST_F(Jobs, CancelConfirmedDuringAQueryStopsAfterThatRowQuietly) {
    Start();
    window_.confirm_answers = {ScriptedJobWindow::Answer::kYes};
    CancelAt(5);
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kStopped);
    EXPECT_EQ(quiet_, 1);
    EXPECT_EQ(window_.confirmations, 1);
    EXPECT_TRUE(window_.prompts.messages.empty());
    // At most the row that was running when the answer came.
    EXPECT_LE(window_.positions.back(), 6);
    EXPECT_EQ(window_.cancel_enabled.back(), false);
    EXPECT_EQ(D().m_wModelVersion, CDeviceConfig::kVersionNotRead);
}

TEST_F(Jobs, CancelAnsweredNoChangesNothing) {
    Start();
    window_.confirm_answers = {ScriptedJobWindow::Answer::kNo};
    CancelAt(5);
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    EXPECT_EQ(quiet_, 0);
    EXPECT_EQ(window_.confirmations, 1);
    EXPECT_EQ(window_.positions.back(), 23);
    ASSERT_GE(window_.cancel_enabled.size(), 2u);
    EXPECT_EQ(window_.cancel_enabled.back(), true);
    EXPECT_EQ(window_.cancel_enabled[window_.cancel_enabled.size() - 2], false);
    EXPECT_TRUE(D().SameParameters(W()));
}

// Esc and the close box reach the job even where the Cancel button cannot:
// while the job keeps Cancel disabled, and once a stop has been confirmed.
TEST_F(Jobs, CancelCommandIsIgnoredWhileCancelIsDisabled) {
    Start();
    window_.confirm_answers = {ScriptedJobWindow::Answer::kYes, ScriptedJobWindow::Answer::kNo};
    int ignored = 0;
    window_.on_enable_cancel = [&](bool enable) {
        if (!enable && ignored == 0) {
            ++ignored;
            window_.Job().OnCancelCommand();  // the search has just disabled Cancel
        }
    };
    window_.on_progress_pos = [&](int pos) {
        if (pos == 5 || pos == 6) {
            window_.Job().OnCancelCommand();  // the second comes after a confirmed stop
        }
    };
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kStopped);
    EXPECT_EQ(ignored, 1);
    EXPECT_EQ(window_.confirmations, 1);
    EXPECT_EQ(quiet_, 1);
    EXPECT_EQ(window_.cancel_enabled.back(), false);
}

TEST_F(Jobs, JobEndingWhileTheConfirmationIsOpenEndsWithOne) {
    Start();
    window_.confirm_answers = {ScriptedJobWindow::Answer::kHold};
    CancelAt(20);
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    EXPECT_EQ(window_.confirmations, 1);
    EXPECT_EQ(window_.confirmations_closed, 1);
    EXPECT_EQ(quiet_, 0);
    EXPECT_EQ(window_.end_messages, 1);
}

TEST_F(Jobs, CancelConfirmedAfterTheLastCheckStillEndsWithOne) {
    Start();
    // "Yes" while the worker is in its very last progress step, after its last
    // look at the stop request: the job completes.
    window_.confirm_answers = {ScriptedJobWindow::Answer::kYes};
    window_.on_progress_pos = [this](int pos) {
        if (pos == 23) {
            window_.Job().OnCancelCommand();
        }
    };
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    EXPECT_EQ(quiet_, 1);
    EXPECT_TRUE(D().SameParameters(W()));

    // "Yes" after the worker has finished but before the end message is
    // served: the finished job's outcome stands.
    ScriptedJobWindow late;
    late.confirm_answers = {ScriptedJobWindow::Answer::kYes};
    late.on_end_posted = [&late] { late.PressCancel(); };
    CCommProgress progress(late, app_);
    EXPECT_EQ(progress.DoModalReadAll(), JobResult::kDone);
    EXPECT_EQ(late.confirmations, 1);
    EXPECT_EQ(progress.m_bQuietEnd, 0);
}

TEST_F(Jobs, FailedJobEndsWithTwoAndLeavesTheReportToTheCaller) {
    Start();
    ASSERT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kDone);
    CDeviceConfig before;
    before.CopyFrom(D());
    // The device goes away in the middle of the queries.
    ScriptedJobWindow failing;
    failing.on_progress_pos = [this](int pos) {
        if (pos == 8) {
            device_->Hangup();
        }
    };
    CCommProgress progress(failing, app_);
    EXPECT_EQ(progress.DoModalReadAll(), JobResult::kStopped);
    EXPECT_EQ(progress.m_bQuietEnd, 0);
    EXPECT_TRUE(failing.prompts.messages.empty());
    EXPECT_LT(failing.positions.back(), 23);
    EXPECT_TRUE(D().SameParameters(before));
}

TEST_F(Jobs, EmptyTablesStillIdentifyAndCopy) {
    Start();
    const std::span<const ParamRowSpec> empty;
    ScriptedJobView view;
    W().m_nFlashDuration = 42;
    EXPECT_EQ(ReadAllParameters(&view, &app_, empty), JobResult::kDone);
    EXPECT_EQ(view.progress.Upper(), 1);
    EXPECT_EQ(view.progress.GetPos(), 1);
    EXPECT_EQ(D().m_nFlashDuration, 42);
    EXPECT_EQ(D().m_wModelVersion, 0x0102);
    W().m_nFlashDuration = 43;
    EXPECT_EQ(WriteAllParameters(&view, &app_, empty).Result(), JobResult::kDone);
    EXPECT_EQ(D().m_nFlashDuration, 43);
}

TEST_F(Jobs, DeviceInItsLoaderIsNotReadAsSettings) {
    Start(sim::DeviceOptions{.start_in_loader = true});
    EXPECT_EQ(Run(CCommProgress::kJobReadAll), JobResult::kStopped);
    ASSERT_EQ(window_.prompts.messages.size(), 1u);
    EXPECT_EQ(window_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_EQ(D().m_wModelVersion, CDeviceConfig::kVersionNotRead);
}

}  // namespace
}  // namespace vardex::test
