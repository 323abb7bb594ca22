// The exchange against the simulated varDex: when a reply ends, in both timings,
// and identification and the search with the early end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "device_fixture.h"
#include "exchange_timing.h"
#include "link/protocol_waits.h"
#include "link/reply_assembly.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scoped_env.h"

using namespace vardex::platform;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

constexpr ExchangeTiming kBothTimings[] = {ExchangeTiming::kFinalResult, ExchangeTiming::kSilence};

const char* Name(ExchangeTiming timing) {
    return timing == ExchangeTiming::kSilence ? "silence timing" : "final-result timing";
}

// A quarter of the protocol's time: the guard is 25 ms, a silent period 62 ms,
// wide enough apart for a loaded machine.
class SimulatedExchange : public ::testing::Test {
protected:
    SimulatedExchange() : scale_(0.25) {}

    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
        ASSERT_EQ(port_.Line().OpenPort(device_.Path(), 115200), OpenResult::kOk);
        ASSERT_EQ(port_.SetReadTimeout(kExchangeReadMs), 1);
    }

    std::string Send(const char* command) {
        const char* reply = port_.SendCommand(command);
        return reply == nullptr ? "<null>" : std::string(reply, port_.GetReplyLength());
    }

    ScopedTimeScale scale_;
    sim::PtyDevice device_;
    CDevicePort port_;
};

const std::string kModel = "Calvetra VarDex V1.2\r\n\r\nOK\r\n";
const std::string kHardware = "Hardware Version V3.0\r\n\r\nOK\r\n";

TEST_F(SimulatedExchange, BytesWithinTheGuardOrAPauseBeforeTheResultCodeStayInTheReply) {
    for (const ExchangeTiming timing : kBothTimings) {
        const ScopedExchangeTiming scoped(timing);
        // More lines 50 ms behind "OK": inside the guard, so the reply goes on.
        device_.SendLineAfterNextReply("NO CARRIER", 50);
        EXPECT_EQ(Send("ATI4"), kModel + "\r\nNO CARRIER\r\n") << Name(timing);
        // A pause of 150 ms in the middle of the text, before any result code.
        device_.PauseNextReply(10, 150);
        EXPECT_EQ(Send("ATI0"), kHardware) << Name(timing);
        // The same pause just before "OK" (behind the text's own line break).
        device_.PauseNextReply(static_cast<int>(kHardware.size()) - 4, 150);
        EXPECT_EQ(Send("ATI0"), kHardware) << Name(timing);
        // With echo the reply is the same text.
        EXPECT_EQ(Send("ATE1"), "OK\r\n") << Name(timing);
        device_.SendLineAfterNextReply("NO CARRIER", 50);
        EXPECT_EQ(Send("ATI4"), kModel + "\r\nNO CARRIER\r\n") << Name(timing);
        EXPECT_EQ(Send("ATE0"), "OK\r\n") << Name(timing);
    }
}

TEST_F(SimulatedExchange, ALineAfterTheGuardIsNotTakenForTheNextAnswer) {
    for (const ExchangeTiming timing : kBothTimings) {
        const ScopedExchangeTiming scoped(timing);
        // 200 ms behind "OK": after the guard, within one silent period. First it
        // waits on the line when the next command goes.
        device_.SendLineAfterNextReply("RING", 200);
        EXPECT_EQ(Send("ATI4").substr(0, kModel.size()), kModel) << Name(timing);
        ASSERT_TRUE(device_.WaitForOutputSent(std::chrono::seconds(5)));
        EXPECT_EQ(Send("ATI0"), kHardware) << Name(timing);
        // Then, with echo on, it comes while the next command goes, ahead of its echo.
        EXPECT_EQ(Send("ATE1"), "OK\r\n") << Name(timing);
        device_.SendLineAfterNextReply("RING", 200);
        EXPECT_EQ(Send("ATI4").substr(0, kModel.size()), kModel) << Name(timing);
        EXPECT_EQ(Send("ATI0"), kHardware) << Name(timing);
        EXPECT_EQ(Send("ATI0"), kHardware) << Name(timing);
        EXPECT_EQ(Send("ATE0"), "OK\r\n") << Name(timing);
    }
}

// The set-up lines of an opening end on their final result code in the early
// timing, ATZ's too; whatever the device says later (a restart's banner) must
// still be gone before the first command, and echo must be off.
TEST_F(SimulatedExchange, AnOpeningLeavesNothingLateForTheFirstCommand) {
    for (const ExchangeTiming timing : kBothTimings) {
        const ScopedExchangeTiming scoped(timing);
        sim::PtyDevice device;
        SysError error;
        ASSERT_TRUE(device.Start(&error)) << error.Message();
        CDevicePort port;
        // Behind the answer to the opening's first line and, echo on, to "ATZ".
        device.SendLineAfterNextReply("READY", 150);
        ASSERT_EQ(port.Line().OpenPort(device.Path(), 115200), OpenResult::kOk) << Name(timing);
        ASSERT_EQ(port.SetReadTimeout(kExchangeReadMs), 1);
        const char* reply = port.SendCommand("ATI4");
        ASSERT_NE(reply, nullptr) << Name(timing);
        EXPECT_EQ(std::string(reply, port.GetReplyLength()), kModel) << Name(timing);
    }
}

TEST_F(SimulatedExchange, CommandsThatRestartOrStoreWaitOutTheSilence) {
    const ScopedExchangeTiming scoped(ExchangeTiming::kFinalResult);
    // A line 150 ms behind "OK" is only heard by an exchange that waits for silence.
    device_.SendLineAfterNextReply("READY", 150);
    EXPECT_EQ(Send("ATI4"), kModel);
    port_.PurgeInput();
    for (const char* command : {"ATZ", "ATZ4", "AT&F", "AT&W0", "AT/HOOKSTATE 0", "ATCD0"}) {
        device_.SendLineAfterNextReply("READY", 150);
        EXPECT_NE(Send(command).find("READY"), std::string::npos) << command;
    }
    EXPECT_TRUE(NeedsSilentEnd("atupx"));
    EXPECT_TRUE(NeedsSilentEnd("ATCD0CD2CD4CD6CD8CD10"));
    for (const char* command : {"ATI4", "ATCH0", "AT&ZI?", "ATS84=3", "ATE0", "AT", "ZAT",
                                "AT/CLIPLEVEL", "at/cliplevel 7"}) {
        EXPECT_FALSE(NeedsSilentEnd(command)) << command;
    }
}

class SimulatedIdentify : public DeviceTest {
protected:
    void Open(sim::PtyDevice& device) {
        SysError error;
        ASSERT_TRUE(device.Start(&error)) << error.Message();
        ASSERT_EQ(Record().Line().OpenPort(device.Path(), 115200), OpenResult::kOk);
        Record().Line().SelectDirectPort(device.Path());
    }

    const ScopedExchangeTiming timing_{ExchangeTiming::kFinalResult};
};

TEST_F(SimulatedIdentify, ALoaderIsRecognisedOnAnOpenChannelAndByTheSearch) {
    sim::PtyDevice device(sim::DeviceOptions{.start_in_loader = true});
    Open(device);
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kInLoader);
    EXPECT_EQ(view_.m_bInLoader, 1);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    Record().Close();

    ScopedEnv env;
    env.Set("VARDEX_LINES", std::nullopt);
    env.Set("VARDEX_PORTS", device.Path());
    ScriptedJobView view;
    EXPECT_EQ(IdentifyDevice(&view, &app_), IdentifyResult::kInLoader);
    EXPECT_EQ(view.m_bInLoader, 1);
    EXPECT_EQ(view.prompts.messages.size(), 1u);
    EXPECT_TRUE(Record().IsOpen());
}

TEST_F(SimulatedIdentify, ADeviceThatNamesItselfSkipsTheLoaderProbe) {
    sim::PtyDevice device;
    Open(device);
    const auto start = Clock::now();
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    // The probe alone would take longer than the whole identification.
    EXPECT_LT(MsSince(start), ScaledMs(kLoaderProbeMs).count() / 1000);
    EXPECT_EQ(Record().m_wModelVersion, 0x0102);
    EXPECT_EQ(Record().m_strCountry, "Hungary");
}

}  // namespace
}  // namespace vardex::test
