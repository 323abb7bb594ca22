// The reader against the simulator on a pseudo-terminal, through the
// program's own CDevicePort.
#include "terminal/terminal_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "link/device_port.h"
#include "link/tapi_line.h"
#include "pty_device.h"
#include "temp_files.h"
#include "terminal/terminal_keys.h"
#include "terminal/trace_switches.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::terminal {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 10s;  // bounds every wait; a healthy run needs far less

// Collects what the reader hands over, as the window would, and lets the test
// wait for a condition on it.
class RecordingSink : public ITerminalSink {
public:
    void OnScreenUpdate(const ScreenUpdate& update) override {
        std::lock_guard lock(mutex_);
        if (update.kind == ScreenUpdate::Kind::kReplace) {
            screen_ = update.text;
            ++replaced_;
        } else {
            for (std::size_t i = 0; i < update.erase; ++i) {
                while (!screen_.empty() && (screen_.back() & 0xC0) == 0x80) {
                    screen_.pop_back();
                }
                screen_.pop_back();
            }
            screen_ += update.text;
        }
        seen_ += update.text;
        changed_.notify_all();
    }
    void OnReceived(std::string_view bytes, const ConvertedChunk&) override {
        std::lock_guard lock(mutex_);
        chunks_ += bytes.empty() ? 0 : 1;
    }
    void OnLinkDown() override {
        std::lock_guard lock(mutex_);
        link_down_ = true;
        changed_.notify_all();
    }
    bool WaitForLinkDown() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kLimit, [&] { return link_down_; });
    }
    void OnLogFailed() override {
        std::lock_guard lock(mutex_);
        log_failed_ = true;
        changed_.notify_all();
    }
    bool WaitForLogFailed() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kLimit, [&] { return log_failed_; });
    }

    bool WaitFor(const std::function<bool(const std::string& seen)>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kLimit, [&] { return done(seen_); });
    }
    std::string Screen() {
        std::lock_guard lock(mutex_);
        return screen_;
    }
    std::size_t SeenSize() {
        std::lock_guard lock(mutex_);
        return seen_.size();
    }
    int Replaced() {
        std::lock_guard lock(mutex_);
        return replaced_;
    }
    int Chunks() {
        std::lock_guard lock(mutex_);
        return chunks_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string screen_;
    std::string seen_;  // every text appended or put in, in order
    int replaced_ = 0;
    int chunks_ = 0;
    bool log_failed_ = false;
    bool link_down_ = false;
};

using test::ReadFile;

// True when `log` is a piece of the simulator's flood: whole numbered lines in
// order with nothing missing, doubled or torn, except that the first and last
// line may be cut. *lines gets the count of whole lines.
bool IsFloodPiece(const std::string& log, int* lines) {
    *lines = 0;
    // The cut first line may be as short as the "\n" of its end.
    std::size_t at = log.find('\n');
    if (at == std::string::npos || at + 1 > sim::Device::kFloodLineBytes) {
        return log.size() < sim::Device::kFloodLineBytes;
    }
    at += 1;
    long long previous = -1;
    while (at + sim::Device::kFloodLineBytes <= log.size()) {
        const std::string line = log.substr(at, sim::Device::kFloodLineBytes);
        long long number = -1;
        if (std::sscanf(line.c_str(), "FLOOD %lld", &number) != 1 || !line.ends_with("\r\n") ||
            (previous >= 0 && number != previous + 1)) {
            return false;
        }
        previous = number;
        ++*lines;
        at += sim::Device::kFloodLineBytes;
    }
    // What is left is the start of the next line.
    const std::string rest = log.substr(at);
    const std::string_view head("FLOOD ");
    return rest.size() < sim::Device::kFloodLineBytes &&
           head.substr(0, std::min(head.size(), rest.size())) ==
               std::string_view(rest).substr(0, std::min(head.size(), rest.size()));
}

class TerminalReaderTest : public ::testing::Test {
protected:
    TerminalReaderTest() : scale_(vardex::test::kAnswerScale) {}

    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
        ASSERT_EQ(port_.Line().OpenPort(device_.Path(), 115200), OpenResult::kOk);
    }

    // Waits (bounded) until the device has sent every flood byte and the log
    // has caught up with them.
    bool WaitForFloodInLog(std::uint64_t bytes) {
        // The reader writes a chunk to the log before it hands it over.
        return sink_.WaitFor([&](const std::string&) {
            std::error_code error;
            return std::filesystem::file_size(log_path_, error) >= bytes;
        });
    }

    test::ScopedTimeScale scale_;
    test::ScopedTempDir temp_;
    sim::PtyDevice device_;
    CDevicePort port_;
    RecordingSink sink_;
    const std::string log_path_ = temp_.File("terminal.log");
};

TEST_F(TerminalReaderTest, TypedKeysReachTheDeviceAndItsAnswerTheScreen) {
    ASSERT_NE(port_.SendCommand("ATE1"), nullptr);  // the port was opened with echo off
    CTerminalReader reader(port_, sink_);
    reader.StartReader();
    device_.KeepReceivedBytes(true);
    for (const char c : std::string("ATX")) {
        ASSERT_EQ(SendKey(port_, TerminalKey::kCharacter, static_cast<unsigned char>(c)), 1u);
    }
    ASSERT_EQ(SendKey(port_, TerminalKey::kBackspace, 0), 1u);
    ASSERT_EQ(SendKey(port_, TerminalKey::kIgnored, U'\t'), 0u);
    ASSERT_EQ(SendKey(port_, TerminalKey::kCharacter, U'\u20AC'), 0u);
    ASSERT_EQ(SendKey(port_, TerminalKey::kEnter, 0), 1u);
    // The device echoes (the screen shows only what comes back): "ATX", the
    // backspace taking the X away, CR, then its reply.
    ASSERT_TRUE(sink_.WaitFor([](const std::string& seen) { return seen.ends_with("OK\n"); }));
    EXPECT_EQ(device_.ReceivedBytes(), "ATX\b\r");
    EXPECT_EQ(sink_.Screen(), "AT\nOK\n");
    EXPECT_EQ(reader.ScreenText(), sink_.Screen());
    EXPECT_TRUE(reader.StopReader());
    EXPECT_FALSE(reader.IsRunning());
}

TEST_F(TerminalReaderTest, LogHoldsExactlyTheBytesTheDeviceSent) {
    CTerminalReader reader(port_, sink_);
    ASSERT_FALSE(reader.OpenLog("/nonexistent-dir/x.txt"));
    // A FIFO nobody reads would block the open for good; a directory is no file.
    const std::string fifo = log_path_ + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(reader.OpenLog(fifo));
    ::unlink(fifo.c_str());
    EXPECT_FALSE(reader.OpenLog("/tmp"));
    EXPECT_FALSE(reader.IsLogOpen());
    ASSERT_TRUE(reader.OpenLog(log_path_));
    reader.StartReader();
    // One second of flood at 40 KB/s, device time.
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(40000, 1000); });
    const std::uint64_t sent = 40000;
    ASSERT_TRUE(WaitForFloodInLog(sent));
    ASSERT_TRUE(reader.StopReader());
    EXPECT_FALSE(reader.IsLogOpen());  // stopping closes the log
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.TraceFloodBytes(); }), sent);
    const std::string log = ReadFile(log_path_);
    ASSERT_EQ(log.size(), sent);
    int lines = 0;
    EXPECT_TRUE(log.starts_with("FLOOD 0000000000"));
    EXPECT_TRUE(IsFloodPiece(log, &lines));
    EXPECT_EQ(lines, static_cast<int>(sent / sim::Device::kFloodLineBytes) - 1);
    // The screen shows the last 24 lines of it, rebuilt rather than grown.
    std::string tail = log.substr(log.size() - 23 * sim::Device::kFloodLineBytes);
    std::erase(tail, '\r');
    EXPECT_EQ(sink_.Screen(), tail);
    EXPECT_EQ(reader.ScreenText(), tail);
    EXPECT_GT(sink_.Replaced(), 0);
}

TEST_F(TerminalReaderTest, ADeviceThatNeverFallsSilentIsShownAsItSends) {
    // A line every 32 ms, within the read time-out: a read that waited for
    // silence would hold all of it back until its buffer filled.
    CTerminalReader reader(port_, sink_);
    ASSERT_TRUE(reader.OpenLog(log_path_));
    reader.StartReader();
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(2000, 1500); });
    ASSERT_TRUE(WaitForFloodInLog(1500));
    EXPECT_GE(sink_.Chunks(), 4);
    EXPECT_TRUE(reader.StopReader());
}

TEST_F(TerminalReaderTest, ALogThatCannotBeWrittenIsClosedAndSaidSo) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    CTerminalReader reader(port_, sink_);
    ASSERT_TRUE(reader.OpenLog("/dev/full"));
    reader.StartReader();
    ASSERT_TRUE(WriteTraceSwitch(port_, TraceLayer::kL2, true, false));
    ASSERT_TRUE(sink_.WaitForLogFailed());
    EXPECT_FALSE(reader.IsLogOpen());
    // The screen goes on.
    ASSERT_TRUE(sink_.WaitFor(
        [](const std::string& seen) { return seen.find(" L2 ") != std::string::npos; }));
    EXPECT_TRUE(reader.StopReader());
}

// A closed channel (a vanished device) ends any reader; a hang-up ends one made
// to leave on it. Either way the sink hears it, and nothing spins on.
TEST_F(TerminalReaderTest, ALinkGoneDownEndsTheReader) {
    CTerminalReader reader(port_, sink_, HangUp::kEndsReader);
    reader.StartReader();
    device_.Hangup();
    ASSERT_TRUE(sink_.WaitForLinkDown());
    EXPECT_TRUE(reader.StopReader());
    EXPECT_TRUE(reader.LinkDown());

    test::ScopedTempDir dir;
    sim::PtyDevice usb;
    usb.SetUsbDirectory(dir.Path());
    SysError error;
    ASSERT_TRUE(usb.Start(&error)) << error.Message();
    CDevicePort port;
    ASSERT_EQ(port.Line().OpenPort(usb.UsbName(), 115200), OpenResult::kOk);
    RecordingSink sink;
    CTerminalReader window_reader(port, sink);
    window_reader.StartReader();
    usb.Unplug();
    ASSERT_TRUE(sink.WaitForLinkDown());
    EXPECT_TRUE(window_reader.StopReader());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(TerminalReaderTest, ClosingTheLogDuringHeavyOutputTearsNothing) {
    CTerminalReader reader(port_, sink_);
    reader.StartReader();
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(60000, 0); });
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(reader.OpenLog(log_path_));
        ASSERT_TRUE(WaitForFloodInLog(2000 + 700 * static_cast<std::uint64_t>(round)));
        reader.CloseLog();
        const std::string log = ReadFile(log_path_);
        int lines = 0;
        EXPECT_TRUE(IsFloodPiece(log, &lines)) << "round " << round;
        EXPECT_GE(lines, 20);
        // Nothing reaches the file after the close.
        const std::size_t seen = sink_.SeenSize();
        ASSERT_TRUE(
            sink_.WaitFor([&](const std::string& text) { return text.size() > seen + 1000; }));
        EXPECT_EQ(ReadFile(log_path_), log);
    }
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(0, 0); });
    EXPECT_TRUE(reader.StopReader());
}

TEST_F(TerminalReaderTest, RapidStopAndStartKeepsExactlyOneReader) {
    ASSERT_NE(port_.SendCommand("ATE1"), nullptr);
    CTerminalReader reader(port_, sink_);
    for (int i = 0; i < 200; ++i) {
        reader.StartReader();
        EXPECT_EQ(reader.ReadersAlive(), 1u);
        // Mostly stops that do not wait, as a page switch in quick succession
        // leaves them; now and then one that waits.
        reader.StopReader(i % 50 == 49 ? CTerminalReader::kStopWaitMs : 0);
        ASSERT_LE(reader.ReadersAlive(), 1u);
    }
    reader.StartReader();
    EXPECT_EQ(reader.ReadersAlive(), 1u);
    EXPECT_TRUE(reader.IsRunning());
    EXPECT_LE(reader.ThreadsStarted(), 201u);
    // The last start was not lost: the reader still reads.
    ASSERT_EQ(SendKey(port_, TerminalKey::kCharacter, U'A'), 1u);
    ASSERT_TRUE(sink_.WaitFor([](const std::string& seen) { return seen.ends_with("A"); }));
    EXPECT_EQ(reader.ReadersAlive(), 1u);

    // A stop that waits leaves the channel free at once for a page exchange.
    ASSERT_TRUE(reader.StopReader());
    EXPECT_EQ(reader.ReadersAlive(), 0u);
    EXPECT_TRUE(SendAllTracesOff(port_));
}

TEST_F(TerminalReaderTest, TraceSwitchesBesideTheReader) {
    CTerminalReader reader(port_, sink_);
    reader.StartReader();
    device_.KeepReceivedBytes(true);
    ASSERT_TRUE(WriteTraceSwitch(port_, TraceLayer::kL1, true, false));
    ASSERT_TRUE(WriteTraceSwitch(port_, TraceLayer::kU, true, true));
    ASSERT_TRUE(sink_.WaitFor([](const std::string& seen) {
        return seen.find(" L1 ") != std::string::npos && seen.find(" U ") != std::string::npos;
    }));
    EXPECT_EQ(device_.ReceivedBytes(), "ATCD1CD9\rATCD11CD26\r");
    ASSERT_TRUE(reader.StopReader());
    ASSERT_TRUE(SendAllTracesOff(port_));
    EXPECT_FALSE(device_.Inspect([](const sim::Device& d) {
        return d.TraceOutput() || d.Tracing(sim::TraceLayer::kL1) || d.Tracing(sim::TraceLayer::kU);
    }));
    // Started again after the exchange, the reader reads with its own time-out.
    reader.StartReader();
    ASSERT_EQ(SendKey(port_, TerminalKey::kEnter, 0), 1u);
    ASSERT_TRUE(sink_.WaitFor([](const std::string& seen) { return seen.ends_with("\n"); }));
}

}  // namespace
}  // namespace vardex::terminal
