#include "link/tapi_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "link/device_port.h"
#include "link_fixture.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::test {
namespace {

TEST(OpenPort, SendsTheInitialisationLinesAndRaisesTheChannel) {
    ScopedTimeScale scale(kAnswerScale);
    ScriptedPeer peer(ModemReply, true);
    CTapiLine line;
    ASSERT_EQ(line.OpenPort(peer.SlavePath(), 115200), OpenResult::kOk)
        << line.LastOpenError().Message();
    ASSERT_TRUE(line.GetHandle());
    const std::vector<std::string> expected = {"AT/SETRI", "ATZ", "ATE0"};
    EXPECT_EQ(peer.Lines(), expected);

    CommTimeouts t;
    ASSERT_TRUE(line.GetHandle()->GetTimeouts(&t));
    EXPECT_EQ(t.ReadIntervalTimeout, 250u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 5000u);

    ASSERT_EQ(line.SetReadTimeout(1234), 1);
    ASSERT_TRUE(line.GetHandle()->GetTimeouts(&t));
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1234u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadIntervalTimeout, 250u);

    // Opening again closes the first channel, then takes the port anew.
    ASSERT_EQ(line.OpenPort(peer.SlavePath(), 115200), OpenResult::kOk);
    line.ClosePort();
    EXPECT_FALSE(line.GetHandle());
    line.ClosePort();  // closing a closed channel does nothing
    EXPECT_EQ(line.SetReadTimeout(250), 0);
}

TEST(OpenPort, FailureCodesLeaveTheChannelClosed) {
    ScopedTimeScale scale(kAnswerScale);
    CTapiLine line;
    EXPECT_EQ(line.OpenPort("/dev/no-such-port-vardex", 115200), OpenResult::kFailed);
    EXPECT_EQ(line.LastOpenError().code, ENOENT);
    EXPECT_EQ(line.OpenPort("/tmp", 115200), OpenResult::kFailed);
    EXPECT_EQ(line.LastOpenError().code, EISDIR);
    EXPECT_EQ(line.OpenPort("/dev/null", 115200), OpenResult::kGetSettingsFailed);
    EXPECT_EQ(line.LastOpenError().code, ENOTTY);
    EXPECT_FALSE(line.GetHandle());

    ScriptedPeer peer(ModemReply, true);
    EXPECT_EQ(line.OpenPort(peer.SlavePath(), 12345), OpenResult::kSetSettingsFailed);
    EXPECT_FALSE(line.GetHandle());

    CTapiLine holder;
    ASSERT_EQ(holder.OpenPort(peer.SlavePath(), 115200), OpenResult::kOk);
    EXPECT_EQ(line.OpenPort(peer.SlavePath(), 115200), OpenResult::kFailed);
    EXPECT_EQ(line.LastOpenError().code, EBUSY);
}

TEST(OpenPort, ComNamesResolveThroughThePortMap) {
    ScopedTimeScale scale(kAnswerScale);
    ScriptedPeer peer(ModemReply, true);
    ::setenv("VARDEX_PORTS", (":" + peer.SlavePath()).c_str(), 1);
    CTapiLine line;
    EXPECT_EQ(line.OpenPort("COM1", 115200), OpenResult::kFailed);  // unmapped
    EXPECT_EQ(line.OpenPort("COM2", 115200), OpenResult::kOk);
    EXPECT_EQ(line.OpenedPath(), peer.SlavePath());
    ::unsetenv("VARDEX_PORTS");
}

TEST(OpenPort, DeviceGoneDuringTheSettleDelayGivesMinusSix) {
    ScopedTimeScale scale(1.0);  // a full second of settle delay for the hang-up to land in
    ScriptedPeer peer(ModemReply, true);
    CTapiLine line;
    std::thread hangup([&] {
        if (peer.WaitForLines(3)) {
            peer.Hangup();
        }
    });
    EXPECT_EQ(line.OpenPort(peer.SlavePath(), 115200), OpenResult::kNotReady);
    hangup.join();
    EXPECT_FALSE(line.GetHandle());
}

TEST_F(OpenLink, ReadEndsRightAfterNak) {
    ASSERT_EQ(port_.SetReadTimeout(10000), 1);
    peer_.Send("C\x15");
    char buffer[64];
    std::size_t got = 0;
    const auto start = Clock::now();
    port_.Line().Read(buffer, 60, &got);
    EXPECT_EQ(std::string(buffer, got), "C\x15");
    EXPECT_EQ(buffer[got], '\0');
    // Far below one silent period of 10 s (scaled to 2 s).
    EXPECT_LT(MsSince(start), 1500);

    peer_.Send("xx\x15yy\x15");
    const char* text = port_.ReadPending();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "xx\x15yy\x15");
}

TEST_F(OpenLink, ReadUntilNakGivesNullWhenSilentAndNeverOverruns) {
    EXPECT_EQ(port_.ReadPending(), nullptr);
    EXPECT_EQ(port_.GetReplyLength(), 0u);

    std::string flood(10000, 'z');
    peer_.Send(flood);
    const char* text = port_.ReadPending();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(port_.GetReplyLength(), 4095u);
    EXPECT_EQ(std::string(text).size(), 4095u);
    for (int i = 0; i < 10 && port_.ReadPending() != nullptr; ++i) {
    }

    char small[8];
    peer_.Send("abcdefghij");
    char* got = port_.Line().ReadUntilNak(small, sizeof small);
    ASSERT_EQ(got, small);
    EXPECT_STREQ(small, "abcdefg");
    EXPECT_EQ(port_.Line().ReadUntilNak(small, 0), nullptr);
}

TEST_F(OpenLink, RawOperations) {
    peer_.SetEcho(false);
    peer_.SetResponder({});
    EXPECT_EQ(port_.WriteRaw("", 0), 0u);
    EXPECT_EQ(port_.WriteRaw("QUIT\r", 5), 5u);
    ASSERT_TRUE(peer_.WaitForLines(4));
    EXPECT_EQ(peer_.Lines().back(), "QUIT");

    ASSERT_EQ(port_.SetReadIntervalTimeout(40), 1);
    peer_.Send("raw");
    char buffer[16];
    EXPECT_EQ(port_.ReadRaw(buffer, 10), 3u);
    EXPECT_STREQ(buffer, "raw");
    port_.PurgeInput();
}

TEST_F(OpenLink, HangUpFailsGuardedCallsButKeepsTheChannel) {
    peer_.Hangup();
    EXPECT_EQ(port_.SendCommand("AT"), nullptr);
    EXPECT_EQ(port_.WriteRaw("x", 1), 0u);
    char buffer[4];
    EXPECT_EQ(port_.ReadRaw(buffer, 3), 0u);
    EXPECT_EQ(port_.ReadPending(), nullptr);
    EXPECT_TRUE(port_.IsOpen());
    port_.Close();
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(port_.SendCommand("AT"), nullptr);
    EXPECT_EQ(port_.SetReadTimeout(250), 0);
    EXPECT_EQ(port_.SetReadIntervalTimeout(250), 0);
}

TEST_F(OpenLink, CloseFromAnotherThreadEndsAPendingRead) {
    ASSERT_EQ(port_.SetReadTimeout(60000), 1);
    std::atomic<bool> done{false};
    std::size_t got = 99;
    std::thread reader([&] {
        char buffer[16];
        got = port_.ReadRaw(buffer, 8);
        done = true;
    });
    // The reader is either in its read or about to start it; both end at once.
    port_.Close();
    reader.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace vardex::test
