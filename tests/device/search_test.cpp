// The device search over pseudo-terminals: COM ports mapped with VARDEX_PORTS,
// modem lines offered by the telephony provider through VARDEX_LINES.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "device_fixture.h"
#include "platform/serial_port.h"
#include "platform/tapi_binding.h"
#include "platform/trace.h"
#include "port_holder.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scoped_env.h"
#include "temp_files.h"

using namespace vardex::platform;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

std::string PortList(const std::vector<std::string>& paths) {
    std::string list;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        list += (i == 0 ? "" : ":") + paths[i];
    }
    return list;
}

class Search : public DeviceTest {
protected:
    void SetUp() override {
        // No modem lines unless a test offers some; the provider of this build.
        env_.Set("VARDEX_LINES", std::nullopt);
        env_.Set("VARDEX_TAPI_PROVIDER", std::nullopt);
        vardex::platform::tapi::ResetBindingForTests();
    }
    void TearDown() override { vardex::platform::tapi::ResetBindingForTests(); }

    ConnectResult Connect() { return Record().Connect(&view_.progress, &view_.prompts, 115200); }

    ScopedEnv env_;
};

TEST_F(Search, TwoDevicesAreListedInPortOrderAndOneIsChosen) {
    ScriptedPeer com2(VarDexReplies());
    ScriptedPeer com5(VarDexReplies());
    env_.Set("VARDEX_PORTS", PortList({"", com2.SlavePath(), "", "", com5.SlavePath()}));
    // OK without a selection first: with two items that is refused.
    view_.prompts.answers = {{Choice::kMade, -1}, {Choice::kMade, 1}};
    ASSERT_TRUE(Connect().Ok());
    ASSERT_EQ(view_.prompts.lists.size(), 2u);
    EXPECT_EQ(view_.prompts.lists[0],
              (std::vector<std::string>{"Direct to COM2 (" + com2.SlavePath() + ")",
                                        "Direct to COM5 (" + com5.SlavePath() + ")"}));
    EXPECT_EQ(view_.prompts.list_caption, "varDex list");
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_SELECT_DEVICE));
    std::string name;
    Record().GetDeviceName(&name);
    EXPECT_EQ(name, "Direct to COM5");
    EXPECT_EQ(Record().Line().OpenedPath(), com5.SlavePath());
    EXPECT_EQ(view_.progress.Upper(), 10);
}

TEST_F(Search, ASingleDeviceIsTakenWithoutASelection) {
    ScriptedPeer com1(VarDexReplies());
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    view_.prompts.answers = {{Choice::kMade, -1}};
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(view_.prompts.lists.size(), 1u);
    EXPECT_TRUE(view_.prompts.messages.empty());
    EXPECT_EQ(Record().m_wFirmwareVersion, 0x020A);
}

TEST_F(Search, CancellingTheListLeavesNothingOpen) {
    ScriptedPeer com1(VarDexReplies());
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    view_.prompts.answers = {{Choice::kCancelled, 0}};
    EXPECT_EQ(Connect().search, SearchResult::kCancelled);
    EXPECT_FALSE(Record().IsOpen());
}

// The ports are probed at once: the varDex behind COM4 was asked too, but the
// loader on COM3 comes first in port order and ends the search there.
TEST_F(Search, ALoaderEndsTheScanWhereItIs) {
    ScriptedPeer com3([](const std::string&) { return std::string("\x15"); });
    com3.SetIdleChatter("\x15", std::chrono::milliseconds(50));
    ScriptedPeer com4(VarDexReplies());
    env_.Set("VARDEX_PORTS", PortList({"", "", com3.SlavePath(), com4.SlavePath()}));
    EXPECT_EQ(Connect().search, SearchResult::kLoaderAnswered);
    EXPECT_FALSE(com4.Lines().empty());        // probed beside COM3, not one after the other
    EXPECT_TRUE(view_.prompts.lists.empty());  // and not offered
    EXPECT_TRUE(Record().IsOpen());            // the loader's port stays open
    EXPECT_EQ(Record().Line().SelectedIndex(), 3u);
}

// A port that answers nothing listens for a loader for half a minute; once the
// varDex on another port has answered it is let go: the search ends with that
// varDex alone, and the silent port is neither a failure nor a loader.
TEST_F(Search, ASilentPortIsLetGoOnceTheVarDexHasAnswered) {
    ScriptedPeer com1([](const std::string&) { return std::string(); });
    ScriptedPeer com3(VarDexReplies());
    env_.Set("VARDEX_PORTS", PortList({com1.SlavePath(), "", com3.SlavePath()}));
    view_.prompts.answers = {{Choice::kMade, -1}};
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    ASSERT_EQ(view_.prompts.lists.size(), 1u);
    EXPECT_EQ(view_.prompts.lists[0],
              (std::vector<std::string>{"Direct to COM3 (" + com3.SlavePath() + ")"}));
    EXPECT_TRUE(Record().Line().PortFailures().empty());
    EXPECT_EQ(Record().Line().OpenedPath(), com3.SlavePath());
    EXPECT_FALSE(com1.Lines().empty());  // it was asked
}

TEST_F(Search, ALoaderFoundByTheScanIsReportedAndKeptForTheUpgrade) {
    ScriptedPeer com2([](const std::string&) { return std::string("\x15"); });
    com2.SetIdleChatter("\x15", std::chrono::milliseconds(50));
    env_.Set("VARDEX_PORTS", PortList({"", com2.SlavePath()}));
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kInLoader);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_EQ(view_.m_bInLoader, 1);
    EXPECT_EQ(view_.m_bQuietEnd, 1);
    EXPECT_EQ(view_.close_requests, 0);  // nothing says "not found", nothing closes
    EXPECT_TRUE(Record().IsOpen());
}

TEST_F(Search, APortSayingErrorAfterTheLoaderWaitGivesMinusFive) {
    ScriptedPeer com1([](const std::string&) { return std::string("\r\nERROR\r\n"); });
    // Endless chatter: each read of the loader wait fills its buffer and ends.
    std::string errors;
    for (int i = 0; i < 20; ++i) {
        errors += "\r\nerror 17\r\n";
    }
    com1.SetIdleChatter(errors, std::chrono::milliseconds(10));
    ScriptedPeer com2(VarDexReplies());
    env_.Set("VARDEX_PORTS", PortList({com1.SlavePath(), com2.SlavePath()}));
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_PREVIOUS_UPGRADE_FAILED));
    EXPECT_EQ(view_.m_bQuietEnd, 1);
    EXPECT_TRUE(view_.prompts.lists.empty());  // COM2's varDex is not offered
}

// The chosen port's device goes while the port settles, as a USB device
// unplugged then: its modem status cannot be read. That is said as a device
// that went away, never as a loader whose upgrade failed (the two results once
// shared a number) nor as a port status that could not be read.
TEST_F(Search, AChosenPortWhoseStatusCannotBeReadIsNamedNotTakenForALoader) {
    ScriptedPeer com1;
    const ScopedTempDir dir;
    const std::string link = dir.File("ttyACM0");
    ASSERT_EQ(::symlink(com1.SlavePath().c_str(), link.c_str()), 0);
    int opened = 0;
    com1.SetResponder([&com1, &opened, &link](const std::string& line) {
        if (line == "ATE0" && ++opened == 2) {
            ::unlink(link.c_str());
            com1.HangUpAfterThisReply();
        }
        return VarDexReplies()(line);
    });
    env_.Set("VARDEX_PORTS", link);
    view_.prompts.answers = {{Choice::kMade, -1}};
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::kTextJobDeviceVanished);
    EXPECT_EQ(view_.m_bQuietEnd, 1);
}

// A port named by path (vardexctl --port) whose channel went is opened again
// by that path: a job never goes on with another varDex the search would find.
TEST_F(Search, APortNamedByPathIsOpenedAgainNeverSwappedForAnother) {
    ScriptedPeer com1(VarDexReplies());
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    auto named = std::make_unique<ScriptedPeer>(VarDexReplies());
    const std::string path = named->SlavePath();
    ASSERT_EQ(Record().Line().OpenPort(path, kLineBaud), OpenResult::kOk);
    Record().Line().SelectDirectPort(path);
    Record().Close();
    ASSERT_TRUE(Connect().Ok());
    EXPECT_EQ(Record().Line().OpenedPath(), path);
    Record().Close();
    named.reset();  // the adapter pulled: its node goes
    const ConnectResult gone = Connect();
    EXPECT_NE(gone.open, OpenResult::kOk);
    EXPECT_FALSE(Record().IsOpen());
    EXPECT_TRUE(com1.Lines().empty()) << "the other varDex was never asked";
}

TEST_F(Search, NothingFoundTellsThePersonAndClosesTheOwner) {
    env_.Set("VARDEX_PORTS", "/dev/no-such-port-1:/dev/no-such-port-2");
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_NOT_FOUND));
    EXPECT_EQ(view_.close_requests, 1);
    EXPECT_EQ(view_.m_bQuietEnd, 1);
}

TEST_F(Search, ABusyPortIsNamedWithTheProgramHoldingIt) {
    ScriptedPeer com1(VarDexReplies());
    PortHolder holder(com1.SlavePath(), "vdx-term");
    ASSERT_TRUE(holder.Held());
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    const std::string& text = view_.prompts.messages[0].first;
    EXPECT_EQ(text.rfind(res::LoadString(res::IDS_DEVICE_NOT_FOUND), 0), 0u);
    EXPECT_NE(text.find("COM1 (" + com1.SlavePath() + "): " + com1.SlavePath() +
                        " is in use by vdx-term (process " + std::to_string(holder.Pid()) + ")"),
              std::string::npos)
        << text;
}

TEST_F(Search, ADeviceThatDroppedItsLineIsReportedNotReady) {
    // The port is still there but the device does not say it is ready (DSR off):
    // the job tells why instead of just ending.
    ScriptedPeer peer(VarDexReplies());
    const std::string link = TempPath("vardex-rs232");
    std::filesystem::remove(link);
    std::filesystem::create_symlink(peer.SlavePath(), link);
    ASSERT_EQ(Record().Line().OpenPort(link, 115200), OpenResult::kOk);
    Record().Line().SelectDirectPort(link);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    peer.Hangup();
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    const std::string& text = view_.prompts.messages[0].first;
    EXPECT_NE(text.find("Direct to " + link), std::string::npos) << text;
    EXPECT_NE(text.find("CTS or DSR stayed off"), std::string::npos) << text;
    EXPECT_EQ(view_.m_bQuietEnd, 1);
    std::filesystem::remove(link);
}

TEST_F(Search, AMissingProviderStillLetsTheSerialScanFindTheDevice) {
    env_.Set("VARDEX_TAPI_PROVIDER", "/nonexistent/libvardex-tapi.so");
    vardex::platform::tapi::ResetBindingForTests();
    ScriptedPeer com1(VarDexReplies());
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    view_.prompts.answers = {{Choice::kMade, 0}};
    ASSERT_TRUE(Connect().Ok());
    EXPECT_FALSE(Record().Line().TelephonyInitialised());
    EXPECT_TRUE(view_.prompts.messages.empty());  // nothing said about telephony
}

TEST_F(Search, TheUsbFlagFollowsWhatThePortIsNotItsName) {
    // A port opened by a path that says USB is still an RS-232 port unless it is
    // a USB modem device; a pseudo-terminal never is.
    ScriptedPeer adapter(VarDexReplies());
    const std::string path = TempPath("ttyUSB-vardex");
    std::filesystem::remove(path);
    std::filesystem::create_symlink(adapter.SlavePath(), path);
    ASSERT_EQ(Record().Line().OpenPort(path, 115200), OpenResult::kOk);
    Record().Line().SelectDirectPort(path);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    std::string name;
    Record().GetDeviceName(&name);
    EXPECT_EQ(name, "Direct to " + path);
    EXPECT_EQ(Record().m_bUsbConnection, 0);
    Record().Close();
    std::filesystem::remove(path);
    Record().Line().SelectDirectPort("");  // no port named: the search chooses

    // The same device found on a COM port by the search.
    env_.Set("VARDEX_PORTS", adapter.SlavePath());
    view_.prompts.answers = {{Choice::kMade, 0}};
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(Record().m_bUsbConnection, 0);
}

// ---- modem lines ----

TEST_F(Search, AUsbLineIsFoundNamedChosenAndMarksTheConnection) {
    ScriptedPeer line(VarDexReplies());
    env_.Set("VARDEX_LINES", line.SlavePath());
    env_.Set("VARDEX_PORTS", "");
    view_.prompts.answers = {{Choice::kMade, 0}};
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    ASSERT_EQ(view_.prompts.lists.size(), 1u);
    const std::string name = "varDex USB Modem (" + line.SlavePath() + ")";
    EXPECT_EQ(view_.prompts.lists[0], std::vector<std::string>{name});
    EXPECT_EQ(Record().m_bUsbConnection, 1);
    EXPECT_EQ(Record().m_wModelVersion, 0x0102);
    EXPECT_TRUE(Record().Line().CallInProgress());
    std::string shown;
    Record().GetDeviceName(&shown);
    EXPECT_EQ(shown, name);

    // Closing the channel ends the call and gives the device back.
    Record().Close();
    EXPECT_FALSE(Record().Line().TelephonyInitialised());
    SysError error;
    EXPECT_TRUE(SerialPort::Open(line.SlavePath(), &error)) << error.Message();
}

TEST_F(Search, AServiceStartedOnAnEndedThreadIsShutDownWithoutWaiting) {
    // Each job runs on a worker of its own; the service outlives the worker that
    // started it, and its callbacks must still reach whoever waits for them.
    ScriptedPeer line(VarDexReplies());
    env_.Set("VARDEX_LINES", line.SlavePath());
    env_.Set("VARDEX_PORTS", "");
    view_.prompts.answers = {{Choice::kMade, 0}};
    std::thread job([this] { EXPECT_TRUE(Connect().Ok()); });
    job.join();
    ASSERT_TRUE(Record().Line().CallInProgress());

    CaptureTraces(true);
    Record().Close();
    const std::string traces = CapturedTraces();
    CaptureTraces(false);
    // The drop was answered, not given up after the reply wait.
    EXPECT_NE(traces.find("LINE_REPLY: successfully replied."), std::string::npos) << traces;
    EXPECT_NE(traces.find("TAPI uninitialized."), std::string::npos);
    EXPECT_FALSE(Record().Line().TelephonyInitialised());
}

// The simulator itself offered as a USB modem line, and a second one on a COM
// port: the line answers, so the ports are not searched.
TEST_F(Search, ASimulatorOnAModemLineIsTakenBeforeThePorts) {
    sim::DeviceOptions usb_options;
    usb_options.country = "Brasil USB";
    sim::PtyDevice usb(usb_options);
    sim::PtyDevice serial;
    SysError error;
    ASSERT_TRUE(usb.Start(&error)) << error.Message();
    ASSERT_TRUE(serial.Start(&error)) << error.Message();
    env_.Set("VARDEX_LINES", usb.Path());
    env_.Set("VARDEX_PORTS", serial.Path());
    view_.prompts.answers = {{Choice::kMade, 0}};
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    // The modem lines answered, so the list offers the line; the COM ports are
    // searched only when no line answers.
    ASSERT_EQ(view_.prompts.lists.size(), 1u);
    EXPECT_EQ(view_.prompts.lists[0],
              std::vector<std::string>{"varDex USB Modem (" + usb.Path() + ")"});
    EXPECT_EQ(Record().m_strCountry, "Brasil USB");
    EXPECT_EQ(Record().m_bUsbConnection, 1);
    EXPECT_EQ(Record().m_bFskLevelAvailable, 0);
}

TEST_F(Search, UnavailableAndBusyLinesAreSkipped) {
    ScriptedPeer busy(VarDexReplies());
    ScriptedPeer good(VarDexReplies());
    SysError error;
    auto holder = SerialPort::Open(busy.SlavePath(), &error);  // another program has it
    ASSERT_TRUE(holder);
    env_.Set("VARDEX_LINES", "/dev/vardex-gone:" + busy.SlavePath() + ":" + good.SlavePath());
    env_.Set("VARDEX_PORTS", "");
    view_.prompts.answers = {{Choice::kMade, -1}};
    ASSERT_TRUE(Connect().Ok());
    const auto& rows = Record().Line().Devices();
    EXPECT_EQ(rows[0].name, "Line Unavailable");
    EXPECT_EQ(rows[0].reply, "");
    EXPECT_EQ(rows[1].reply, "");
    EXPECT_TRUE(busy.Lines().empty());
    ASSERT_EQ(view_.prompts.lists.size(), 1u);
    EXPECT_EQ(view_.prompts.lists[0],
              std::vector<std::string>{"varDex USB Modem (" + good.SlavePath() + ")"});
}

TEST_F(Search, ABusyLineIsNamedWithTheProgramHoldingIt) {
    ScriptedPeer line(VarDexReplies());
    PortHolder holder(line.SlavePath(), "vdx-term");
    ASSERT_TRUE(holder.Held());
    env_.Set("VARDEX_LINES", line.SlavePath());
    env_.Set("VARDEX_PORTS", "");
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    const std::string& text = view_.prompts.messages[0].first;
    EXPECT_NE(text.find("varDex USB Modem (" + line.SlavePath() + "): " + line.SlavePath() +
                        " is in use by vdx-term"),
              std::string::npos)
        << text;
}

TEST_F(Search, ACallThatNeverConnectsIsGivenUpAfterFiveSeconds) {
    // A line whose device never raises its carrier: not a terminal at all.
    const std::string path = TempPath("vardex-no-carrier");
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ::close(fd);
    }
    env_.Set("VARDEX_LINES", path);
    env_.Set("VARDEX_PORTS", "");
    const auto start = Clock::now();
    EXPECT_EQ(Connect().search, SearchResult::kNothingFound);
    EXPECT_GE(MsSince(start), 500);  // 5000 ms at this scale
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_FALSE(Record().Line().CallInProgress());
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace vardex::test
