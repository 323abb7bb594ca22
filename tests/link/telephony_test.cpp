// The telephony side of the link: callbacks, waits and the variable-size blocks,
// and the provider through the run-time binding.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "link/tapi_line.h"
#include "platform/message_queue.h"
#include "platform/tapi_binding.h"
#include "platform/trace.h"
#include "scoped_env.h"
#include "scripted_peer.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::test {
namespace {

class Telephony : public ::testing::Test {
protected:
    Telephony() : scale_(kAnswerScale) {
        env_.Set("VARDEX_TAPI_PROVIDER", std::nullopt);
        tapi::ResetBindingForTests();
        CaptureTraces(true);
    }
    ~Telephony() override {
        CaptureTraces(false);
        tapi::ResetBindingForTests();
    }
    // Queues a callback for the line, as the provider would.
    static void Queue(CTapiLine& line, DWORD device, DWORD message, DWORD_PTR p1,
                      DWORD_PTR p2 = 0) {
        line.CallbackQueue().Post(
            [=] { CTapiLine::lineCallbackFunc(device, message, 0, p1, p2, 0); });
    }

    ScopedTimeScale scale_;
    ScopedEnv env_;
};

TEST_F(Telephony, ReplyForTheAwaitedRequestEndsTheWaitWithItsResult) {
    CTapiLine line;  // the callback serves the line constructed last
    Queue(line, 0, LINE_REPLY, 7,
          static_cast<DWORD_PTR>(static_cast<DWORD>(LINEERR_OPERATIONFAILED)));
    EXPECT_EQ(line.WaitForReply(7), LINEERR_OPERATIONFAILED);
    EXPECT_NE(CapturedTraces().find("LINE_REPLY error (80000048)"), std::string::npos);

    Queue(line, 0, LINE_REPLY, 8, 0);
    EXPECT_EQ(line.WaitForReply(8), 1);
    EXPECT_NE(CapturedTraces().find("LINE_REPLY: successfully replied."), std::string::npos);
}

TEST_F(Telephony, ARecordMadeWhileAServiceRunsLeavesItsCallbacksAlone) {
    ScriptedPeer peer;
    ScopedEnv lines("VARDEX_LINES", peer.SlavePath());
    CTapiLine line;
    ASSERT_EQ(line.Initialize(nullptr), 1);
    {
        CTapiLine passing;  // a copy of a record's values, made and gone during a job
    }
    Queue(line, 0, LINE_REPLY, 9, static_cast<DWORD_PTR>(static_cast<DWORD>(LINEERR_NOMEM)));
    EXPECT_EQ(line.WaitForReply(9), LINEERR_NOMEM);
    line.Shutdown();
}

TEST_F(Telephony, StaleReplyDoesNotEndALaterWait) {
    CTapiLine line;
    Queue(line, 0, LINE_REPLY, 3, 0);  // left over from an earlier request
    const auto start = Clock::now();
    EXPECT_EQ(line.WaitForReply(4), 1);  // ends only at the five-second limit
    EXPECT_GE(MsSince(start), 250);
}

TEST_F(Telephony, SynchronousResultsReturnAtOnce) {
    CTapiLine line;
    EXPECT_EQ(line.WaitForReply(0), 0);
    EXPECT_EQ(line.WaitForReply(LINEERR_NOMEM), LINEERR_NOMEM);
}

TEST_F(Telephony, LineCreateRaisesTheDeviceCount) {
    ScriptedPeer peer;
    ScopedEnv lines("VARDEX_LINES", peer.SlavePath());
    CTapiLine line;
    ASSERT_EQ(line.Initialize(nullptr), 1);
    ASSERT_EQ(line.LineDeviceCount(), 1u);
    CTapiLine::lineCallbackFunc(0, LINE_CREATE, 0, 7, 0, 0);
    EXPECT_EQ(line.LineDeviceCount(), 8u);
    CTapiLine::lineCallbackFunc(0, LINE_CREATE, 0, 3, 0, 0);
    EXPECT_EQ(line.LineDeviceCount(), 8u);
    CTapiLine::lineCallbackFunc(0, 99, 0, 0, 0, 0);
    EXPECT_NE(CapturedTraces().find("lineCallbackFunc message ignored"), std::string::npos);
    CTapiLine::lineCallbackFunc(12345, LINE_CALLSTATE, 0, LINECALLSTATE_CONNECTED, 0, 0);
    EXPECT_NE(CapturedTraces().find("LINE_CALLSTATE: Unknown device ID"), std::string::npos);
    EXPECT_EQ(line.Shutdown(), 1);
    EXPECT_FALSE(line.TelephonyInitialised());
    EXPECT_EQ(line.Shutdown(), 1);  // again: nothing to do
}

TEST_F(Telephony, WithoutLinesOrProviderInitialisationFailsQuietly) {
    {
        ScopedEnv lines("VARDEX_LINES", "");
        CTapiLine line;
        // No ttyACM devices on a build machine is assumed; skip where there are.
        if (line.Initialize(nullptr) == 1) {
            GTEST_SKIP() << "this machine has USB modem lines";
        }
        EXPECT_EQ(line.LineDeviceCount(), 0u);
        EXPECT_GE(line.Devices().size(), kMinDeviceRows);
    }
    env_.Set("VARDEX_TAPI_PROVIDER", "/nonexistent/libvardex-tapi.so");
    tapi::ResetBindingForTests();
    CTapiLine line;
    EXPECT_EQ(line.Initialize(nullptr), 0);
    EXPECT_EQ(tapi::lineShutdown(1), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::LoadedProviderPath(), "");
}

TEST_F(Telephony, HandleLineErrorTracesAndSortsResults) {
    CTapiLine line;
    EXPECT_EQ(line.HandleLineError(0), 1);
    EXPECT_EQ(line.HandleLineError(5), 0);
    EXPECT_EQ(line.HandleLineError(LINEERR_INVALLINEHANDLE), 0);
    EXPECT_EQ(line.HandleLineError(LINEERR_INVALCARD), 0);
    EXPECT_EQ(line.HandleLineError(LINEERR_ALLOCATED), 0);
    const std::string traces = CapturedTraces();
    EXPECT_NE(traces.find("Invalid Line Handle.\n"), std::string::npos);
    EXPECT_NE(traces.find("The values in the INI file are invalid.\n"), std::string::npos);
}

TEST_F(Telephony, BlocksGrowAndAreZeroedWithTheirSize) {
    void* block = CTapiLine::CheckAndReAllocBuffer(nullptr, 24);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(*static_cast<DWORD*>(block), 24u);
    std::memset(static_cast<char*>(block) + 4, 0x5A, 20);
    block = CTapiLine::CheckAndReAllocBuffer(block, 16);  // fits: reused, zeroed
    ASSERT_NE(block, nullptr);
    EXPECT_GE(*static_cast<DWORD*>(block), 24u);
    EXPECT_EQ(static_cast<unsigned char*>(block)[10], 0);
    block = CTapiLine::CheckAndReAllocBuffer(block, 4000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(*static_cast<DWORD*>(block), 4000u);
    CTapiLine::FreeBuffer(block);

    CTapiLine line;
    LINECALLPARAMS* params = line.CreateCallParams(nullptr, "123");
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(sizeof(LINECALLPARAMS), 176u);
    EXPECT_EQ(params->dwTotalSize, 176u + 4);
    EXPECT_EQ(params->dwBearerMode, 0x40u);
    EXPECT_EQ(params->dwMediaMode, 0x4u);
    EXPECT_EQ(params->dwCallParamFlags, 0x2u);
    EXPECT_EQ(params->dwAddressMode, 0x1u);
    EXPECT_EQ(params->dwDisplayableAddressSize, 4u);
    EXPECT_EQ(params->dwDisplayableAddressOffset, 176u);
    EXPECT_STREQ(reinterpret_cast<char*>(params) + 176, "123");
    CTapiLine::FreeBuffer(params);
}

TEST_F(Telephony, ProviderReportsNeededSizesAndHandsOutTheChannel) {
    ScriptedPeer peer;
    ScopedEnv lines("VARDEX_LINES", peer.SlavePath());
    CTapiLine line;
    ASSERT_EQ(line.Initialize(nullptr), 1);
    EXPECT_NE(tapi::LoadedProviderPath(), "");

    // A block too small for the name: the provider says how much it needs.
    LINEDEVCAPS small{};
    small.dwTotalSize = sizeof small;
    HLINEAPP app = 0;
    DWORD count = 0;
    ASSERT_EQ(tapi::lineInitialize(&app, line.HostServices(), &CTapiLine::lineCallbackFunc, nullptr,
                                   &count),
              0);
    ASSERT_EQ(tapi::lineGetDevCaps(app, 0, 0x00010004, 0, &small), 0);
    EXPECT_GT(small.dwNeededSize, small.dwTotalSize);
    EXPECT_EQ(small.dwLineNameSize, 0u);
    LINEDEVCAPS* caps = line.GetDevCaps(nullptr, 0, 0x00010004);
    ASSERT_NE(caps, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(caps) + caps->dwLineNameOffset),
              "varDex USB Modem");
    EXPECT_NE(caps->dwLineFeatures & LINEFEATURE_MAKECALL, 0u);
    CTapiLine::FreeBuffer(caps);
    DWORD version = 0;
    EXPECT_EQ(tapi::lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00010004, &version, nullptr), 0);
    EXPECT_EQ(version, 0x00010004u);
    EXPECT_EQ(tapi::lineNegotiateAPIVersion(app, 0, 0x00030000, 0x00030001, &version, nullptr),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(tapi::lineNegotiateAPIVersion(app, 5, 0x00010003, 0x00010004, &version, nullptr),
              LINEERR_BADDEVICEID);
    // Only the opened line has a channel.
    VARSTRING id{};
    id.dwTotalSize = sizeof id;
    EXPECT_EQ(tapi::lineGetID(999, 0, 0, LINECALLSELECT_LINE, &id, "comm/datamodem"),
              LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(tapi::lineShutdown(app), 0);
    EXPECT_EQ(tapi::lineShutdown(app), LINEERR_INVALAPPHANDLE);
}

// A look-up whose answer does not fit the first block grows the block and asks
// again; one the provider refuses gives nothing and says which call failed.
TEST_F(Telephony, LookUpsGrowTheirBlockOrGiveUpOnARefusal) {
    ScriptedPeer peer;
    namespace fs = std::filesystem;
    fs::path dir = fs::path(TempPath("vardex-long"));
    const fs::path top = dir;
    for (int i = 0; i < 8; ++i) {
        dir /= std::string(200, static_cast<char>('a' + i));
    }
    fs::create_directories(dir);
    const fs::path link = dir / "line";
    fs::create_symlink(peer.SlavePath(), link);
    ScopedEnv lines("VARDEX_LINES", link.string());
    CTapiLine line;
    ASSERT_EQ(line.Initialize(nullptr), 1);

    LINEADDRESSCAPS* caps = line.GetAddressCaps(nullptr, 0, 0, 0x00010004, 0);
    ASSERT_NE(caps, nullptr);
    EXPECT_GT(caps->dwTotalSize, 1252u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(caps) + caps->dwAddressOffset), link.string());
    CTapiLine::FreeBuffer(caps);

    EXPECT_EQ(line.GetAddressCaps(nullptr, 5, 0, 0x00010004, 0), nullptr);
    EXPECT_EQ(line.GetDevCaps(nullptr, 5, 0x00010004), nullptr);
    const std::string traces = CapturedTraces();
    EXPECT_NE(traces.find("lineGetAddressCaps unhandled error\n"), std::string::npos);
    EXPECT_NE(traces.find("lineGetDevCaps unhandled error"), std::string::npos);
    line.Shutdown();
    fs::remove_all(top);
}

struct Message {
    DWORD device, message;
    DWORD_PTR p1, p2;
};
std::vector<Message> g_messages;
void Record(DWORD device, DWORD message, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR) {
    g_messages.push_back({device, message, p1, p2});
}

TEST_F(Telephony, ProviderReportsALineWhoseDeviceVanished) {
    ScriptedPeer peer;
    const std::string name = TempPath("vardex-acm");
    std::filesystem::remove(name);
    std::filesystem::create_symlink(peer.SlavePath(), name);
    ScopedEnv lines("VARDEX_LINES", name);
    HostServices host(std::make_shared<MessageQueue>());
    HLINEAPP app = 0;
    DWORD count = 0;
    ASSERT_EQ(tapi::lineInitialize(&app, host.Get(), &Record, nullptr, &count), 0);
    ASSERT_EQ(count, 1u);
    HLINE line = 0;
    ASSERT_EQ(tapi::lineOpen(app, 0, &line, 0x00010004, 0, 0, LINECALLPRIVILEGE_MONITOR,
                             LINEMEDIAMODE_DATAMODEM, nullptr),
              0);
    HCALL call = 0;
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    ASSERT_GT(tapi::lineMakeCall(line, &call, nullptr, 0, &params), 0);
    while (host.Queue().DispatchOne()) {
    }
    g_messages.clear();

    // Unplugged: the name goes and the line hangs up.
    std::filesystem::remove(name);
    peer.Hangup();
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    EXPECT_EQ(tapi::lineGetCallStatus(call, &status), LINEERR_INVALCALLHANDLE);
    while (host.Queue().DispatchOne()) {
    }
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0].message, static_cast<DWORD>(LINE_CALLSTATE));
    EXPECT_EQ(g_messages[0].device, call);
    EXPECT_EQ(g_messages[0].p1, static_cast<DWORD_PTR>(LINECALLSTATE_DISCONNECTED));
    EXPECT_EQ(g_messages[0].p2, static_cast<DWORD_PTR>(LINEDISCONNECTMODE_UNAVAIL));
    EXPECT_EQ(g_messages[1].message, static_cast<DWORD>(LINE_CLOSE));
    EXPECT_EQ(g_messages[1].device, line);
    // Its handles are forgotten, and the line is no device any more.
    EXPECT_EQ(tapi::lineClose(line), LINEERR_INVALLINEHANDLE);
    DWORD version = 0;
    EXPECT_EQ(tapi::lineNegotiateAPIVersion(app, 0, 0x00010003, 0x00010004, &version, nullptr),
              LINEERR_NODEVICE);
    EXPECT_EQ(tapi::lineShutdown(app), 0);
}

}  // namespace
}  // namespace vardex::test
