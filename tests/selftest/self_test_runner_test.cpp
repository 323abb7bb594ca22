// The runner's hand-over with the person: Cancel and Close at a question and
// in a polling phase, the reset sequence on the channel, the port-less tests
// that run to their end, a worker that cannot start, and the bounded texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/strings.h"
#include "self_test_fixture.h"

using namespace vardex::platform;
using namespace vardex::selftest;
using namespace vardex::link;

namespace vardex::test {
namespace {

using Lines = std::vector<std::string>;

class SelfTestRunner : public SelfTestSim {
protected:
    // Every received line is one whole command of the tests or the reset,
    // and the reset sequence arrived in one piece; returns where it begins.
    std::size_t ExpectWholeResetSequence() {
        const Lines received = Received();
        static const Lines kKnown{
            "AT/DISCPOTS",   "AT/CONPOTS",    "AT/HOOKSTATE 0", "AT/HOOKSTATE 1", "AT/HOOKSTATE 2",
            "AT/RING 0",     "AT/RING 1",     "AT/NORING 0",    "AT/NORING 1",    "AT/NORING 2",
            "AT/STOPTONE 2", "AT/NOCHARGE 0", "AT/NOCHARGE 1",  "AT/DLOOP",       "AT/SPICOMTEST",
        };
        for (const std::string& line : received) {
            EXPECT_NE(std::find(kKnown.begin(), kKnown.end(), line), kKnown.end()) << line;
        }
        const Lines& reset = CSelfTestRunner::ResetSequence();
        const auto at = std::search(received.begin(), received.end(), reset.begin(), reset.end());
        EXPECT_NE(at, received.end()) << "no whole reset sequence";
        return static_cast<std::size_t>(at - received.begin());
    }
    Lines ReceivedFrom(std::size_t at) const {
        const Lines received = Received();
        return Lines(received.begin() + static_cast<std::ptrdiff_t>(std::min(at, received.size())),
                     received.end());
    }
    // A fresh simulated device on the channel.
    void NewDevice() {
        app_.m_workingRecord.Close();
        device_ = std::make_unique<sim::PtyDevice>();
        SysError error;
        ASSERT_TRUE(device_->Start(&error)) << error.Message();
        ASSERT_EQ(app_.m_workingRecord.Line().OpenPort(device_->Path(), 115200), OpenResult::kOk);
        device_->KeepReceivedBytes(true);
    }
    static Lines ResetThenReconnect() {
        Lines lines = CSelfTestRunner::ResetSequence();
        lines.push_back("AT/CONPOTS");
        return lines;
    }
};

TEST_F(SelfTestRunner, CancelAtAQuestionInterruptsWithNoFaultsAndResetsTheDevice) {
    // The first port fails first: its fault must not survive the interruption.
    Control("fault ring1 on");
    ASSERT_TRUE(runner_.Start(kTestRing, kPortsBoth));
    ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
    runner_.Answer(false);
    ASSERT_TRUE(view_.WaitForEvent("prompt:Is the telephone ringing?", 2));
    ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
    runner_.Cancel();
    runner_.Wait();
    EXPECT_EQ(CSelfTestRunner::Translate(runner_.Result()), TEST_INTERRUPTED);
    EXPECT_EQ(runner_.Errors(), "");
    EXPECT_EQ(view_.Events().back(), "ended:-1");
    // The reset, then the worker's own reconnect; "AT/NORING 1" never comes.
    const std::size_t at = ExpectWholeResetSequence();
    EXPECT_EQ(ReceivedFrom(at), ResetThenReconnect());
    EXPECT_EQ(Received()[at - 1], "AT/RING 1");
}

TEST_F(SelfTestRunner, CancelWhilePollingForTheHandsetInterruptsWithinAPoll) {
    ASSERT_TRUE(runner_.Start(kTestDialing, kPortsBoth));
    ASSERT_TRUE(view_.WaitForEvent("prompt:Pickup the handset."));
    // Let it poll a few times first, so Cancel meets the loop mid-way.
    const std::uint64_t poll = std::string("AT/HOOKSTATE 0\r").size();
    ASSERT_TRUE(device_->WaitForBytesReceived(device_->BytesReceived() + 3 * poll,
                                              std::chrono::seconds(10)));
    const auto start = Clock::now();
    runner_.Cancel();
    runner_.Wait();
    // Seven exchanges and one pause of the loop at most, in real time.
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(CSelfTestRunner::Translate(runner_.Result()), TEST_INTERRUPTED);
    EXPECT_EQ(runner_.Errors(), "");
    // A poll that waited for the channel during the reset still goes out,
    // then the loop's check ends the test.
    const std::size_t at = ExpectWholeResetSequence();
    Lines after = ReceivedFrom(at + CSelfTestRunner::ResetSequence().size());
    if (!after.empty() && after.front() == "AT/HOOKSTATE 0") {
        after.erase(after.begin());
    }
    EXPECT_EQ(after, Lines{"AT/CONPOTS"});
}

TEST_F(SelfTestRunner, CloseInterruptsAQuestionButNotAPollingPhase) {
    // Closing while the tone test waits for the handset: nothing happens.
    HandleTelephones();
    view_.on_prompt = nullptr;
    ASSERT_TRUE(runner_.Start(kTestTone, kPortFirst));
    ASSERT_TRUE(view_.WaitForEvent("prompt:Pickup the handset."));
    runner_.Close();
    Control("lift 1");
    ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
    EXPECT_EQ(view_.Prompt(), "Do you hear the tone?");
    runner_.Answer(true);
    runner_.Wait();
    EXPECT_EQ(runner_.Result(), TestEnd::kPass);

    // Closing at a question ends the test as interrupted, without the reset.
    view_.Clear();
    ForgetReceived();
    ASSERT_TRUE(runner_.Start(kTestCharging, kPortFirst));
    ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
    runner_.Close();
    runner_.Wait();
    EXPECT_EQ(CSelfTestRunner::Translate(runner_.Result()), TEST_INTERRUPTED);
    EXPECT_EQ(runner_.Errors(), "");
    EXPECT_EQ(Received(), (Lines{"AT/DISCPOTS", "AT/CHARGE 0 10000", "AT/CONPOTS"}));
}

TEST_F(SelfTestRunner, CancelDuringThePortlessTestsStillGivesPassOrFail) {
    for (const bool faulty : {false, true}) {
        SCOPED_TRACE(faulty ? "faulty" : "sound");
        Control(std::string("fault dchannel ") + (faulty ? "on" : "off"));
        view_.Clear();
        ForgetReceived();
        ASSERT_TRUE(runner_.Start(kTestHardwareInterface, kPortsBoth));
        ASSERT_TRUE(view_.WaitForEvent("prompt:Verifying data transfer of D channel."));
        runner_.Cancel();
        runner_.Wait();
        EXPECT_EQ(CSelfTestRunner::Translate(runner_.Result()), faulty ? TEST_FAIL : TEST_PASS);
        EXPECT_EQ(runner_.Errors(), faulty ? "D channel fault" : "");
        ExpectWholeResetSequence();
        EXPECT_EQ(Received().back(), "AT/CONPOTS");
    }
}

TEST_F(SelfTestRunner, AVanishedDeviceEndsAQuestionOrAPollAsInterrupted) {
    // Nobody answers or lifts a handset: the device going away alone must end
    // the test, at a question and in the handset poll alike.
    for (const int test : {kTestRing, kTestDialing}) {
        SCOPED_TRACE(test);
        if (test != kTestRing) {
            NewDevice();  // a hang-up is final for the first
        }
        view_.Clear();
        ASSERT_TRUE(runner_.Start(test, kPortsBoth));
        if (test == kTestRing) {
            ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
        } else {
            ASSERT_TRUE(view_.WaitForEvent("prompt:Pickup the handset."));
        }
        device_->Hangup();
        ASSERT_TRUE(view_.WaitForEvent("ended:-1"));
        runner_.Wait();
        EXPECT_TRUE(runner_.LinkLost());
        EXPECT_EQ(runner_.Errors(), "");
        EXPECT_EQ(view_.EventsOf("alarm:"), Lines{});
    }
    // A test that ends on its own knows nothing of a lost link.
    NewDevice();
    EXPECT_EQ(runner_.RunTest(kTestInterboard, kPortsBoth), TEST_PASS);
    EXPECT_FALSE(runner_.LinkLost());
}

TEST_F(SelfTestRunner, ARunnerDestroyedMidTestStopsItInsteadOfWaitingForever) {
    {
        CSelfTestRunner runner(view_, app_.m_workingRecord);
        ASSERT_TRUE(runner.Start(kTestRing, kPortFirst));
        ASSERT_TRUE(runner.WaitForQuestion(std::chrono::seconds(10)));
    }
    EXPECT_EQ(view_.Events().back(), "ended:-1");
    EXPECT_EQ(Received().back(), "AT/CONPOTS");
}

class UnstartableRunner : public CSelfTestRunner {
public:
    using CSelfTestRunner::CSelfTestRunner;

protected:
    bool LaunchWorker(std::function<void()>) override { return false; }
};

TEST_F(SelfTestRunner, AWorkerThatCannotStartIsInterrupted) {
    UnstartableRunner runner(view_, app_.m_workingRecord);
    EXPECT_EQ(runner.RunTest(kTestRing, kPortsBoth), TEST_INTERRUPTED);
    EXPECT_EQ(runner.Result(), TestEnd::kInterrupted);
    EXPECT_EQ(runner_.RunTest(kTestCount, kPortsBoth), TEST_INTERRUPTED);
    EXPECT_EQ(Received(), Lines{});
    EXPECT_EQ(view_.Events(), Lines{});
}

TEST_F(SelfTestRunner, TextsAreFormattedIntoABoundedBuffer) {
    const std::string path(2000, 'x');
    runner_.SetNameText(res::IDS_LOG_OPEN_FAILED, path.c_str());
    runner_.SetPromptText(res::IDS_PROMPT_PRESS_KEY, static_cast<int>('*'));
    const Lines names = view_.EventsOf("name:");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].size(), std::string("name:").size() + 511);
    EXPECT_EQ(names[0].substr(0, 40), "name:Unable to open log file xxxxxxxxxxx");
    EXPECT_EQ(view_.Prompt(), "Press the '*' key on the telephone.");

    runner_.AddFault(res::IDS_FAULT_RING1);
    runner_.AddFault(res::IDS_FAULT_RING2);
    EXPECT_EQ(runner_.m_strErrors, "Ring generator #1 fault, Ring generator #2 fault");
}

TEST(SelfTestList, NumbersNamesAndModels) {
    EXPECT_EQ(TestFromText("4"), kTestDialing);
    EXPECT_EQ(TestFromText("charging"), kTestCharging);
    EXPECT_EQ(TestFromText("7"), -1);
    EXPECT_EQ(TestFromText("ring "), -1);
    EXPECT_EQ(TestFromText(""), -1);
    EXPECT_EQ(TestsForModel(0x0300), (std::vector<int>{0, 1, 2, 3, 5, 6}));
    EXPECT_EQ(TestsForModel(0x0401), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(TestsForModel(0x0003).size(), 7u);
    EXPECT_EQ(res::LoadString(TestNameId(kTestInterboard)), "Interboard Communications test");
}

}  // namespace
}  // namespace vardex::test
