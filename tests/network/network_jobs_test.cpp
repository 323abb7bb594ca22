// vardexctl's jobs and the terminal through a port server (ser2net) in front of
// the simulated varDex: the same results as on the device's own port, every
// byte value intact both ways, and a dropped line ending the job.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "command_table.h"
#include "fake_port_server.h"
#include "firmware_image.h"
#include "job_commands.h"
#include "link/device_port.h"
#include "link/tapi_line.h"
#include "port_server.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scoped_env.h"
#include "temp_files.h"
#include "terminal/terminal_keys.h"
#include "terminal/terminal_reader.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::test {
namespace {

using namespace std::chrono_literals;

// A handler run on the test's streams, with the row it serves.
struct Command {
    std::string_view name;
    int (*run)(const ctl::CommandCall&, std::ostream&, std::FILE*, std::FILE*, ctl::JobHook);
};
constexpr Command kRead{"read", ctl::RunRead};
constexpr Command kWrite{"write", ctl::RunWrite};
constexpr Command kUpgrade{"upgrade", ctl::RunUpgrade};

class ThroughServer : public ::testing::Test {
protected:
    ThroughServer() : scale_(kAnswerScale), env_("VARDEX_LINES", "") {
        env_.Set("XDG_STATE_HOME", TempPath("state"));  // the backups of the writes
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
        const auto started = server_.Start(device_.Path());
        EXPECT_TRUE(started) << started.error();
        in_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    ~ThroughServer() override {
        std::fclose(in_);
        std::fclose(err_);
    }

    // The command on the port (none: the search), with standard error emptied first.
    int Run(const Command& command, const std::string& port, std::vector<std::string> args,
            ctl::JobHook hook = {}) {
        if (!port.empty()) {
            args.insert(args.begin(), {"--port", port});
        }
        out_.str("");
        std::fflush(err_);
        if (::ftruncate(::fileno(err_), 0) != 0) {
            ADD_FAILURE() << "cannot empty the error file";
        }
        std::rewind(err_);
        return command.run(ctl::CallOf(command.name, args), out_, in_, err_, hook);
    }
    std::string Err() { return Written(err_); }

    ScopedTimeScale scale_;
    ScopedEnv env_;
    sim::PtyDevice device_;
    PortServer server_;
    std::FILE* in_;
    std::FILE* err_;
    std::ostringstream out_;
};

TEST_F(ThroughServer, ReadGivesTheSameJsonAsTheDevicesOwnPortByNameAndBySearch) {
    ASSERT_EQ(Run(kRead, device_.Path(), {"--json"}), 0) << Err();
    const std::string direct = out_.str();
    ASSERT_NE(direct.find("\"m_strCountry\":\"Hungary\""), std::string::npos) << direct;

    ASSERT_EQ(Run(kRead, server_.Url(), {"--json"}), 0) << Err();
    EXPECT_EQ(out_.str(), direct);
    EXPECT_EQ(Err().find("/23"), std::string::npos) << "no progress bar off a terminal";

    // COM3 mapped to the server: the search lists it by name and address.
    env_.Set("VARDEX_PORTS", "/nonexistent/tty0::" + server_.Url());
    ASSERT_EQ(Run(kRead, "", {"--json"}), 0) << Err();
    EXPECT_EQ(out_.str(), direct);
    EXPECT_NE(Err().find("Direct to COM3 (" + server_.Url() + ")"), std::string::npos) << Err();
}

TEST_F(ThroughServer, WriteIsVerifiedAndReadsBack) {
    ASSERT_EQ(Run(kWrite, server_.Url(),
                  {"m_bCallWaiting1=0", "m_strDteMsn[2]=0777", "m_byModemLlc[0][1]=0xFF", "--store",
                   "0"}),
              0)
        << Err();
    EXPECT_EQ(device_.Register(79) & 4, 0);
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().msn[8]; }), "0777");
    // Opening the port again recalls profile 0, where the values were stored.
    ASSERT_EQ(Run(kRead, server_.Url(), {"--json"}), 0) << Err();
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"m_bCallWaiting1\":0,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"m_strDteMsn\":[\"\",\"\",\"0777\"]"), std::string::npos) << json;
    EXPECT_NE(json.find("\"m_byModemLlc\":[[0,255,0]"), std::string::npos) << json;
}

// The image's every byte value, 0xFF (the telnet escape) above all, reaches the
// loader as it is: the blocks on the line are the sender's blocks, byte for byte.
TEST_F(ThroughServer, AnUpgradeOf100KilobytesArrivesIntact) {
    const std::string image = sim::MakeFirmwareImage("V4.2", 100000);
    ASSERT_EQ(std::set<char>(image.begin(), image.end()).size(), 256u);
    const std::string path = TempPath("net.img");
    std::ofstream(path, std::ios::binary) << image;

    device_.KeepReceivedBytes(true);
    ASSERT_EQ(Run(kUpgrade, server_.Url(), {"--yes", path}), 0) << Err();
    EXPECT_EQ(out_.str(), "upgraded: software version 4.2\n");
    std::filesystem::remove(path);

    // Checksummed XMODEM blocks, the last one filled with 0xFF.
    std::string blocks;
    for (std::size_t at = 0, n = 1; at < image.size(); at += 128, ++n) {
        std::string data = image.substr(at, 128);
        data.resize(128, '\xFF');
        unsigned sum = 0;
        for (const char c : data) {
            sum += static_cast<unsigned char>(c);
        }
        blocks += '\x01';
        blocks += static_cast<char>(n & 0xFF);
        blocks += static_cast<char>(0xFF - (n & 0xFF));
        blocks += data;
        blocks += static_cast<char>(sum & 0xFF);
    }
    const std::string received = device_.ReceivedBytes();
    EXPECT_NE(received.find(blocks + '\x04'), std::string::npos)
        << "received " << received.size() << " bytes for " << blocks.size();
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().crc; }),
              sim::FirmwareCrcText(sim::Crc32(std::string_view(image).substr(52))));
}

// Collects what the reader shows, and waits (bounded) for a condition on it.
class RecordingSink : public terminal::ITerminalSink {
public:
    void OnScreenUpdate(const terminal::ScreenUpdate&) override {}
    void OnReceived(std::string_view bytes, const terminal::ConvertedChunk&) override {
        std::lock_guard lock(mutex_);
        received_.append(bytes);
        changed_.notify_all();
    }
    bool WaitForEnding(const std::string& end) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return received_.ends_with(end); });
    }
    std::string Received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string received_;
};

// Keys go out raw and the device's echo comes back raw, 0xFF included, into
// the screen's feed and the log alike.
TEST_F(ThroughServer, TheTerminalCarriesEveryByteBothWays) {
    CDevicePort port;
    ASSERT_EQ(port.Line().OpenPort(server_.Url(), 115200), OpenResult::kOk);
    ASSERT_NE(port.SendCommand("ATE1"), nullptr);
    RecordingSink sink;
    terminal::CTerminalReader reader(port, sink);
    const std::string log = TempPath("net-term.log");
    ASSERT_TRUE(reader.OpenLog(log));
    reader.StartReader();
    device_.KeepReceivedBytes(true);
    const std::u32string keys = U"AT\u00FF\u00E9";
    for (const char32_t key : keys) {
        ASSERT_EQ(terminal::SendKey(port, terminal::TerminalKey::kCharacter, key), 1u);
    }
    ASSERT_EQ(terminal::SendKey(port, terminal::TerminalKey::kEnter, 0), 1u);
    // Not a command the device knows: its echo, then ERROR.
    ASSERT_TRUE(sink.WaitForEnding("ERROR\r\n")) << sink.Received();
    EXPECT_TRUE(reader.StopReader());
    EXPECT_EQ(device_.ReceivedBytes(), "AT\xFF\xE9\r");
    EXPECT_TRUE(sink.Received().starts_with("AT\xFF\xE9\r")) << sink.Received();
    EXPECT_EQ(ReadFile(log), sink.Received());
    std::filesystem::remove(log);
}

// The simulator drops its line part-way through a read: the server closes the
// connection and the job ends, in bounded time, as it does when the device's
// own port hangs up.
TEST_F(ThroughServer, ADroppedLineEndsTheJobAsOnTheDevicesOwnPort) {
    const auto read_dropping = [this](sim::PtyDevice& device, const std::string& port) {
        EXPECT_EQ(Run(kRead, port, {"--json"}), 0) << Err();
        const std::uint64_t one_read = device.BytesReceived();
        std::thread dropper([&] {
            if (device.WaitForBytesReceived(one_read + one_read * 3 / 4, 30s)) {
                device.Hangup();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Run(kRead, port, {"--json"}), 1);
        dropper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_TRUE(device.HungUp());
        EXPECT_EQ(out_.str(), "");
        std::string err = Err();
        // The same words, whichever name the port has.
        for (std::size_t at; (at = err.find(port)) != std::string::npos;) {
            err.replace(at, port.size(), "PORT");
        }
        // What the job said after the identity (how far the read got varies,
        // and off a terminal no progress is drawn).
        const auto identity = err.find("Software Version:");
        const auto next = identity == std::string::npos ? identity : err.find('\n', identity);
        return next == std::string::npos ? err : err.substr(next + 1);
    };
    sim::PtyDevice direct;
    SysError error;
    ASSERT_TRUE(direct.Start(&error)) << error.Message();
    const std::string said_direct = read_dropping(direct, direct.Path());
    const std::string said = read_dropping(device_, server_.Url());
    EXPECT_EQ(said, said_direct);
    EXPECT_TRUE(said.starts_with(res::LoadString(res::IDS_DEVICE_NOT_FOUND))) << said;

    // The server still listens but has no device behind it any more.
    EXPECT_EQ(Run(kRead, server_.Url(), {"--json"}), 1);
    EXPECT_NE(Err().find(server_.Url()), std::string::npos) << Err();
}

// The server serves one client at a time and turns a second one away.
TEST_F(ThroughServer, ASecondClientHearsThatThePortIsInUse) {
    CDevicePort first;
    ASSERT_EQ(first.Line().OpenPort(server_.Url(), 115200), OpenResult::kOk);
    EXPECT_EQ(Run(kRead, server_.Url(), {}), 1);
    EXPECT_NE(Err().find(server_.Url() + " is in use by another program: its port server"),
              std::string::npos)
        << Err();
    EXPECT_NE(first.SendCommand("ATI4"), nullptr);  // the first one is still served
}

// Nothing listens, or the name does not resolve: said in the words of the other
// failures to open a port, for a port given by name and for a mapped COM port.
TEST_F(ThroughServer, AServerThatCannotBeReachedIsSaidSo) {
    const int port = server_.Port();
    server_.Stop();
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(Run(kRead, refused, {}), 1);
    EXPECT_NE(Err().find("Cannot open " + refused + " ("), std::string::npos) << Err();

    env_.Set("VARDEX_PORTS", refused + ":rfc2217://no-such-host.invalid:3001");
    EXPECT_EQ(Run(kRead, "", {}), 1);
    const std::string err = Err();
    EXPECT_NE(err.find("COM1 (" + refused + "): Cannot open " + refused), std::string::npos) << err;
    EXPECT_NE(err.find("COM2 (rfc2217://no-such-host.invalid:3001): "), std::string::npos) << err;
}

// A port server that floods telnet commands from the moment the options are
// agreed: the read ends with its own failure (nothing answers as a varDex), not
// when the flood ends.
TEST(FloodingServer, TheJobEndsWithItsOwnFailure) {
    ScopedTimeScale scale(kAnswerScale);
    ScopedEnv lines("VARDEX_LINES", "");
    FakePortServer server;
    server.Flood(FakePortServer::Nops());
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::ostringstream out;
    EXPECT_EQ(ctl::RunRead(ctl::CallOf("read", {"--port", server.Name()}), out, in, err), 1);
    EXPECT_FALSE(server.FloodRanOut()) << "the job waited for the flood to end";
    EXPECT_EQ(out.str(), "");
    const std::string said = Written(err);
    EXPECT_NE(said.find("does not answer as a varDex"), std::string::npos) << said;
    std::fclose(in);
    std::fclose(err);
}

}  // namespace
}  // namespace vardex::test
