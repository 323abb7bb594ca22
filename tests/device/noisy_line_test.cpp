// Whole read and write jobs over a line that misbehaves: noise before replies,
// replies cut short or late, a device that falls silent. Every outcome is the
// device's exact values or a failure the person is told of, never success with
// a wrong value.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "device/identify.h"
#include "device/transfer_jobs.h"
#include "job_fixture.h"
#include "pty_device.h"

using namespace vardex::params;
using namespace vardex::device;

namespace vardex::test {
namespace {

class NoisyLine : public SimJobTest {
protected:
    NoisyLine() : SimJobTest(kAnswerScale) {}

    // A device whose settings are not the defaults, read once over a clean line:
    // what every later read must give.
    void SetUp() override {
        Start();
        device_->Modify([](sim::Device& d) {
            d.SetRegister(56, 35);     // flash duration
            d.SetRegister(79, 0x0C);   // call waiting on both ports
            d.SetRegister(106, 5);     // X.25 packet size
            d.SetRegister(124, 40);    // bandwidth on demand: add time
            d.SetRegister(110, 0x9A);  // an LLC octet
            d.AddCall(sim::Line::kPhone2, 17);
        });
        ScriptedJobView clean;
        ASSERT_EQ(ReadAllParameters(&clean, &app_), JobResult::kDone);
        truth_.CopyFrom(W());
    }

    // A read whose outcome is either the truth or a failure, never a wrong value.
    void ExpectTruthOrFailure(JobResult result, const ScriptedJobView& view) {
        if (result == JobResult::kDone) {
            EXPECT_TRUE(W().SameParameters(truth_));
        } else {
            EXPECT_EQ(view.m_bQuietEnd, 1);  // and the person was told why
            EXPECT_FALSE(view.prompts.messages.empty());
        }
    }

    CDeviceConfig truth_;
};

TEST_F(NoisyLine, NoiseBeforeEveryThirdReplyStillReadsTheExactValues) {
    W().Reset();
    device_->GarbleEveryReply(3, 12);
    ScriptedJobView view;
    const JobResult result = ReadAllParameters(&view, &app_);
    EXPECT_EQ(result, JobResult::kDone);  // each garbled reply was asked again, cleanly
    ExpectTruthOrFailure(result, view);
    EXPECT_EQ(W().m_nFlashDuration, 35);
    EXPECT_EQ(W().m_nX25PacketSize, 5);
}

TEST_F(NoisyLine, RepliesCutShortAreAskedAgain) {
    W().Reset();
    device_->CutEveryReply(4);
    ScriptedJobView view;
    const JobResult result = ReadAllParameters(&view, &app_);
    EXPECT_EQ(result, JobResult::kDone);
    ExpectTruthOrFailure(result, view);
}

TEST_F(NoisyLine, ALateReplyIsNotTakenForTheNextQuestion) {
    // Two replies come late, each after its question was given up: the next
    // question must not take them for its own answer.
    for (int late = 0; late < 2; ++late) {
        W().Reset();
        const std::uint64_t commands = device_->CommandCount();
        std::thread delay([&] {
            // Late once the queries are under way.
            if (device_->WaitForBytesReceived(device_->BytesReceived() + 60 + 40 * late,
                                              std::chrono::seconds(30))) {
                device_->DelayNextReply(600);
            }
        });
        ScriptedJobView view;
        const JobResult result = ReadAllParameters(&view, &app_);
        delay.join();
        ExpectTruthOrFailure(result, view);
        EXPECT_GT(device_->CommandCount(), commands);
    }
}

TEST_F(NoisyLine, NoiseOnEveryReplyFailsTheReadAndKeepsTheRecord) {
    device_->GarbleEveryReply(1, 5);
    W().m_nFlashDuration = 77;  // what the record held before
    ScriptedJobView view;
    EXPECT_EQ(ReadAllParameters(&view, &app_), JobResult::kStopped);
    EXPECT_EQ(W().m_nFlashDuration, 77);
    ASSERT_EQ(view.prompts.messages.size(), 1u);
    EXPECT_EQ(view.m_bQuietEnd, 1);
}

TEST_F(NoisyLine, ADeviceThatFellSilentIsNeitherReadNorWritten) {
    device_->SetSilent(true);
    W().m_nFlashDuration = 77;
    ScriptedJobView read;
    EXPECT_EQ(ReadAllParameters(&read, &app_), JobResult::kStopped);
    EXPECT_EQ(W().m_nFlashDuration, 77);
    ASSERT_EQ(read.prompts.messages.size(), 1u);
    EXPECT_NE(read.prompts.messages[0].first.find("does not answer as a varDex"),
              std::string::npos);

    // A write: nothing reports success.
    W().m_nFlashDuration = 40;
    ScriptedJobView write;
    EXPECT_EQ(WriteAllParameters(&write, &app_).Result(), JobResult::kStopped);
    EXPECT_EQ(write.m_bQuietEnd, 1);
}

TEST_F(NoisyLine, AWriteVerifiesOverANoisyLineAndFailsOnlyWhenItMust) {
    W().m_nFlashDuration = 42;
    W().m_bCallWaiting1 = 0;
    device_->GarbleEveryReply(3, 9);
    ScriptedJobView view;
    EXPECT_EQ(WriteAllParameters(&view, &app_).Result(), JobResult::kDone);
    EXPECT_TRUE(view.prompts.messages.empty());  // no false "faults detected"
    EXPECT_EQ(device_->Register(56), 42);
    EXPECT_EQ(device_->Register(79) & 0x04, 0);
}

}  // namespace
}  // namespace vardex::test
