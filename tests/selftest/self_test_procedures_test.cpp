// The seven hardware tests against the simulated varDex: each passes on both
// ports, each fault the device can show gives its texts in order, and the
// dialing test's command sequence and key handling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "self_test_fixture.h"

using namespace vardex::selftest;

namespace vardex::test {
namespace {

using Lines = std::vector<std::string>;

class SelfTestProcedures : public SelfTestSim {};

const char* const kNames[kTestCount] = {
    "Hardware Interface Test", "Interboard Communications test", "Telephone Ring Test",
    "Telephone Handset Test",  "Telephone Dialing Test",         "Telephone Tone Test",
    "Telephone Charging Test",
};

TEST_F(SelfTestProcedures, EveryTestPassesOnBothPortsAndFillsItsBar) {
    for (int test = 0; test < kTestCount; ++test) {
        SCOPED_TRACE(kNames[test]);
        Control("replace 1");
        Control("replace 2");
        view_.Clear();
        HandleTelephones();
        EXPECT_EQ(RunWithPerson(test), TEST_PASS);
        EXPECT_EQ(runner_.Errors(), "");
        const auto ranges = view_.EventsOf("range:");
        const auto positions = view_.EventsOf("pos:");
        ASSERT_EQ(ranges.size(), 1u);
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.back().substr(4), ranges[0].substr(6));
        EXPECT_EQ(view_.EventsOf("caption:"), Lines{std::string("caption:") + kNames[test]});
        // The common opening, in its order.
        Lines opening;
        for (const std::string& e : view_.Events()) {
            opening.push_back(e.substr(0, e.find(':')));
            if (opening.back() == "desc") {
                break;
            }
        }
        const bool relabelled = test == kTestHandset || test == kTestDialing;
        const Lines expected = relabelled
                                   ? Lines{"disable", "range", "show", "yes", "caption", "desc"}
                                   : Lines{"disable", "range", "show", "caption", "desc"};
        EXPECT_EQ(opening, expected);
        EXPECT_EQ(view_.EventsOf("alarm:"), Lines{});
        EXPECT_EQ(view_.Events().back(), "ended:1");
        const Lines received = Received();
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back(), "AT/CONPOTS");
        ForgetReceived();
    }
}

struct FaultCase {
    int test;
    std::vector<std::string> circuits;
    std::string errors;
};

class SelfTestFaults : public SelfTestSim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SelfTestFaults, GiveTheirTextsInOrder) {
    for (const std::string& circuit : GetParam().circuits) {
        Control("fault " + circuit + " on");
    }
    EXPECT_EQ(RunWithPerson(GetParam().test), GetParam().errors.empty() ? TEST_PASS : TEST_FAIL);
    EXPECT_EQ(runner_.Errors(), GetParam().errors);
    const Lines alarms = view_.EventsOf("alarm:");
    if (GetParam().test <= kTestInterboard) {
        // The port-less tests flash the whole list once.
        EXPECT_EQ(alarms,
                  GetParam().errors.empty() ? Lines{} : Lines{"alarm:" + GetParam().errors});
    } else {
        // The telephone tests flash each fault as it is found.
        std::string joined;
        for (const std::string& alarm : alarms) {
            joined += (joined.empty() ? "" : ", ") + alarm.substr(6);
        }
        EXPECT_EQ(joined, GetParam().errors);
    }
    EXPECT_EQ(view_.EventsOf("alarm-end").size(), alarms.size());
}

INSTANTIATE_TEST_SUITE_P(
    Circuits, SelfTestFaults,
    ::testing::Values(
        FaultCase{kTestHardwareInterface, {"dchannel"}, "D channel fault"},
        FaultCase{kTestInterboard, {"u", "s"}, "U interface fault, S interface fault"},
        FaultCase{kTestInterboard, {"u"}, "U interface fault"},
        FaultCase{kTestInterboard, {"s"}, "S interface fault"},
        FaultCase{kTestInterboard, {"dchannel"}, ""},
        FaultCase{
            kTestRing, {"ring1", "ring2"}, "Ring generator #1 fault, Ring generator #2 fault"},
        FaultCase{kTestRing, {"ring2"}, "Ring generator #2 fault"},
        FaultCase{kTestHandset, {"hook1"}, "Hook detector #1 fault"},
        FaultCase{kTestHandset, {"hook2"}, "Hook detector #2 fault"},
        FaultCase{
            kTestDialing, {"dtmf1", "dtmf2"}, "DTMF detector #1 fault, DTMF detector #2 fault"},
        FaultCase{
            kTestTone, {"tone1", "tone2"}, "Tone generator #1 fault, Tone generator #2 fault"},
        FaultCase{kTestCharging, {"charge2"}, "Charge generator #2 fault"}));

TEST_F(SelfTestProcedures, ASilentDeviceFailsEachTestWithItsOwnText) {
    Control("silence on");
    EXPECT_EQ(runner_.RunTest(kTestHardwareInterface, kPortsBoth), TEST_FAIL);
    EXPECT_EQ(runner_.Errors(), "D channel fault");
    EXPECT_EQ(runner_.RunTest(kTestInterboard, kPortsBoth), TEST_FAIL);
    EXPECT_EQ(runner_.Errors(), "No response from varDex-check cables.");

    // The handset test: the hook reading without a reply fails the port.
    Control("silence off");
    view_.on_prompt = [this](const std::string& prompt) {
        if (prompt == "Place the handset down and press 'Test'") {
            device_->SetSilent(true);
        }
    };
    ASSERT_TRUE(runner_.Start(kTestHandset, kPortFirst));
    ASSERT_TRUE(runner_.WaitForQuestion(std::chrono::seconds(10)));
    runner_.Answer(true);
    runner_.Wait();
    EXPECT_EQ(runner_.Result(), TestEnd::kFail);
    EXPECT_EQ(runner_.Errors(), "Hook detector #1 fault");
    // The second question is never asked.
    EXPECT_EQ(view_.EventsOf("prompt:Pickup the handset and press 'Test'"), Lines{});
}

TEST_F(SelfTestProcedures, HandsetAlreadyOffHookFailsAtTheFirstReading) {
    view_.on_prompt = [this](const std::string&) { Control("lift 1"); };
    ASSERT_TRUE(runner_.Start(kTestHandset, kPortFirst));
    {
        ScriptedPerson person(runner_, view_, [](const std::string&) { return 1; });
    }
    runner_.Wait();
    EXPECT_EQ(runner_.Result(), TestEnd::kFail);
    EXPECT_EQ(runner_.Errors(), "Hook detector #1 fault");
    EXPECT_EQ(view_.EventsOf("prompt:"), Lines{"prompt:Place the handset down and press 'Test'"});
    EXPECT_EQ(view_.EventsOf("pos:"), (Lines{"pos:1", "pos:2"}));
}

TEST_F(SelfTestProcedures, PortMaskZeroOnlyReconnectsThePorts) {
    for (int test = kTestRing; test < kTestCount; ++test) {
        SCOPED_TRACE(kNames[test]);
        ForgetReceived();
        EXPECT_EQ(runner_.RunTest(test, 0), TEST_PASS);
        EXPECT_EQ(runner_.Errors(), "");
        EXPECT_EQ(Received(), Lines{"AT/CONPOTS"});
        EXPECT_EQ(view_.EventsOf("range:").back(), "range:0");
    }
}

// Exactly one poll per phase: the person lifts and presses at each prompt.
TEST_F(SelfTestProcedures, DialingSendsExactlyItsCommandsOnBothPorts) {
    EXPECT_EQ(RunWithPerson(kTestDialing), TEST_PASS);
    Lines expected{"AT/DISCPOTS", "AT/HOOKSTATE 0"};
    for (int i = 0; i < 12; ++i) {
        expected.push_back("AT/DTMFREAD 0");
    }
    expected.insert(expected.end(), {"AT/DISCPOTS", "AT/HOOKSTATE 1"});
    for (int i = 0; i < 12; ++i) {
        expected.insert(expected.end(), {"AT/DTMFSTATE 1", "AT/DTMFREAD 1"});
    }
    expected.push_back("AT/CONPOTS");
    EXPECT_EQ(Received(), expected);

    Lines prompts;
    for (int port = 0; port < 2; ++port) {
        prompts.push_back("prompt:Pickup the handset.");
        for (char key : std::string("123456789*0#")) {
            prompts.push_back(std::string("prompt:Press the '") + key + "' key on the telephone.");
        }
    }
    EXPECT_EQ(view_.EventsOf("prompt:"), prompts);
    EXPECT_EQ(view_.EventsOf("range:"), Lines{"range:24"});
    EXPECT_EQ(view_.EventsOf("picture:"), (Lines{"picture:0", "picture:1"}));
    EXPECT_EQ(view_.EventsOf("show:"), Lines{"show:-,-"});
    EXPECT_EQ(view_.EventsOf("yes:"), Lines{"yes:&Test"});
}

TEST_F(SelfTestProcedures, DialingWrongKeyFailsAtOnceAndTheSecondPortStillRuns) {
    wrong_key_[0]['3'] = '4';
    EXPECT_EQ(RunWithPerson(kTestDialing), TEST_FAIL);
    EXPECT_EQ(runner_.Errors(), "DTMF detector #1 fault");
    const Lines events = view_.Events();
    // The fault comes right after the third key's prompt, then the bar jumps
    // to the end of the first port's share before the second port begins.
    Lines after_key3;
    bool seen = false;
    for (const std::string& e : events) {
        if (e == "prompt:Press the '3' key on the telephone.") {
            seen = true;
            continue;
        }
        if (seen && e.rfind("prompt:", 0) == 0) {
            break;
        }
        if (seen && (e.rfind("alarm", 0) == 0 || e.rfind("pos:", 0) == 0)) {
            after_key3.push_back(e);
        }
    }
    Lines expected{"alarm:DTMF detector #1 fault", "alarm-end"};
    for (int pos = 4; pos <= 12; ++pos) {
        expected.push_back("pos:" + std::to_string(pos));
    }
    EXPECT_EQ(after_key3, expected);
    EXPECT_EQ(view_.EventsOf("pos:").back(), "pos:24");
    // The first port read only three keys; the second all twelve.
    int reads0 = 0, reads1 = 0;
    for (const std::string& line : Received()) {
        reads0 += line == "AT/DTMFREAD 0" ? 1 : 0;
        reads1 += line == "AT/DTMFREAD 1" ? 1 : 0;
    }
    EXPECT_EQ(reads0, 3);
    EXPECT_EQ(reads1, 12);
}

TEST_F(SelfTestProcedures, DialingIgnoresThePreviousKeyReadAgain) {
    hold_key_[1] = '2';
    HandleTelephones();
    ASSERT_TRUE(runner_.Start(kTestDialing, kPortSecond));
    ASSERT_TRUE(view_.WaitForEvent("prompt:Press the '2' key on the telephone."));
    // The detector still holds '1': wait for three more readings of it.
    const std::uint64_t poll =
        std::string("AT/DTMFSTATE 1\r").size() + 3 * std::string("AT/DTMFREAD 1\r").size();
    ASSERT_TRUE(
        device_->WaitForBytesReceived(device_->BytesReceived() + poll, std::chrono::seconds(10)));
    Control("press 2 1");  // the previous key once more: still not a new key
    const std::uint64_t after_repeat = device_->BytesReceived();
    ASSERT_TRUE(device_->WaitForBytesReceived(
        after_repeat + 2 * std::string("AT/DTMFREAD 1\r").size(), std::chrono::seconds(10)));
    EXPECT_EQ(view_.Prompt(), "Press the '2' key on the telephone.");
    Control("press 2 2");
    runner_.Wait();
    EXPECT_EQ(runner_.Result(), TestEnd::kPass);
    EXPECT_EQ(runner_.Errors(), "");
}

TEST_F(SelfTestProcedures, AnswerBeforeTheQuestionIsLost) {
    // Yes pressed while the prompt is shown but before the question waits: the
    // question starts with no answer, so the person's later No counts.
    view_.on_prompt = [this](const std::string& prompt) {
        if (prompt == "Is the telephone ringing?") {
            runner_.Answer(true);
        }
    };
    ASSERT_TRUE(runner_.Start(kTestRing, kPortFirst));
    {
        ScriptedPerson person(runner_, view_, [](const std::string&) { return 0; });
    }
    runner_.Wait();
    EXPECT_EQ(runner_.Result(), TestEnd::kFail);
    EXPECT_EQ(runner_.Errors(), "Ring generator #1 fault");
}

}  // namespace
}  // namespace vardex::test
