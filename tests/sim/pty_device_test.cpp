#include "pty_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex::sim {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 5s;  // bounds every wait; a healthy run needs milliseconds

// The program's side of the port, with plain POSIX calls.
class Port {
public:
    explicit Port(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

    bool IsOpen() const { return fd_.valid(); }

    bool Write(std::string_view bytes) {
        return ::write(fd_.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Writes everything, waiting (bounded) while the port's output queue is full.
    bool WriteAll(std::string_view bytes) {
        const auto deadline = Clock::now() + kLimit;
        while (!bytes.empty() && Clock::now() < deadline) {
            pollfd fds{fd_.get(), POLLOUT, 0};
            if (::poll(&fds, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            }
        }
        return bytes.empty();
    }

    // Reads until the text received ends with `end`, or the limit passes.
    std::string ReadUntil(std::string_view end) {
        std::string text;
        const auto deadline = Clock::now() + kLimit;
        while (!text.ends_with(end) && Clock::now() < deadline) {
            pollfd fds{fd_.get(), POLLIN, 0};
            if (::poll(&fds, 1, 100) <= 0 || (fds.revents & POLLIN) == 0) {
                continue;
            }
            char buffer[256];
            const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
            if (n > 0) {
                text.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return text;
    }

    // Waits (bounded) for the other side to hang up.
    bool WaitForHangup() {
        pollfd fds{fd_.get(), POLLIN, 0};
        const int ms = static_cast<int>(std::chrono::milliseconds(kLimit).count());
        return ::poll(&fds, 1, ms) == 1 && (fds.revents & POLLHUP) != 0;
    }

private:
    UniqueFd fd_;
};

class SimPtyDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
        ASSERT_FALSE(device_.Path().empty());
    }

    PtyDevice device_;
};

TEST_F(SimPtyDeviceTest, AnswersIdentityOverThePort) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.Write("ATI4\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "ATI4\r\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n");

    ASSERT_TRUE(port.Write("ATE0\rATS56=33\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n\r\nOK\r\n"), "ATE0\r\r\nOK\r\n\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 33);
    EXPECT_FALSE(device_.Echo());

    // A second start of the same simulator is refused.
    SysError error;
    EXPECT_FALSE(device_.Start(&error));
}

TEST_F(SimPtyDeviceTest, SilentDeviceDropsWhatItReads) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    device_.SetSilent(true);
    ASSERT_TRUE(port.Write("ATS56=99\r"));
    ASSERT_TRUE(device_.WaitForBytesReceived(9, kLimit));
    device_.SetSilent(false);

    // Neither echo nor reply of the dropped line comes before this reply.
    ASSERT_TRUE(port.Write("ATS56?\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "ATS56?\r\r\n20\r\n\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 20);
}

TEST_F(SimPtyDeviceTest, DelaysHoldBackTheReplyButNotTheEcho) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    device_.SetReplyDelayMs(60);
    device_.SetByteDelayMs(10);
    const auto start = Clock::now();
    ASSERT_TRUE(port.Write("AT\r"));
    EXPECT_EQ(port.ReadUntil("AT\r"), "AT\r");
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "\r\nOK\r\n");
    // 60 before the reply, then five gaps between its six bytes.
    EXPECT_GE(Clock::now() - start, ScaledMs(60 + 5 * 10));
}

TEST_F(SimPtyDeviceTest, HangupClosesThePortsOtherSide) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.Write("AT\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "AT\r\r\nOK\r\n");
    device_.Hangup();
    EXPECT_TRUE(port.WaitForHangup());
    device_.Stop();
}

TEST(SimPtyDeviceLifetime, KeepsReadingAndStopsWhileNobodyReadsItsOutput) {
    PtyDevice device;
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    Port port(device.Path());
    ASSERT_TRUE(port.IsOpen());
    // Far more output than the port's input queue holds: the worker must not
    // block on it, or it would stop taking commands and never see the stop.
    constexpr int kCommands = 3000;
    std::string lines;
    for (int i = 0; i < kCommands; ++i) {
        lines += "ATI4\r";
    }
    ASSERT_TRUE(port.WriteAll(lines));
    ASSERT_TRUE(device.WaitForBytesReceived(lines.size(), kLimit));
    EXPECT_EQ(device.CommandCount(), static_cast<std::uint64_t>(kCommands));

    // A reply held back for a long time does not hold up the stop either.
    device.SetReplyDelayMs(100000);
    ASSERT_TRUE(port.Write("AT\r"));
    ASSERT_TRUE(device.WaitForBytesReceived(lines.size() + 3, kLimit));
    device.Stop();
}

TEST_F(SimPtyDeviceTest, SilenceForOneCommandThenAnswersAgain) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    device_.SilenceNextCommand();
    ASSERT_TRUE(port.Write("ATS56=30\r"));
    ASSERT_TRUE(device_.WaitForBytesReceived(9, kLimit));
    ASSERT_TRUE(port.Write("ATS56?\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "ATS56?\r\r\n20\r\n\r\nOK\r\n");
}

TEST_F(SimPtyDeviceTest, CutAndGarbledRepliesAffectOnlyTheNextReply) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.Write("ATE0\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "ATE0\r\r\nOK\r\n");

    device_.CutNextReply();
    ASSERT_TRUE(port.Write("ATI4\r"));
    const std::string full = "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n";
    EXPECT_EQ(port.ReadUntil(full.substr(0, full.size() / 2)), full.substr(0, full.size() / 2));
    ASSERT_TRUE(port.Write("ATI4\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), full);

    device_.GarbleNextReply(5);
    ASSERT_TRUE(port.Write("AT\r"));
    const std::string noisy = port.ReadUntil("OK\r\n");
    ASSERT_EQ(noisy.size(), 11u) << noisy;
    for (int i = 0; i < 5; ++i) {
        EXPECT_GE(static_cast<unsigned char>(noisy[static_cast<std::size_t>(i)]), 0x80u);
    }
    EXPECT_EQ(noisy.substr(5), "\r\nOK\r\n");
}

TEST_F(SimPtyDeviceTest, RefusedWritesAndTheDroppedLine) {
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    device_.SetRefuseWrites(true);
    ASSERT_TRUE(port.Write("ATS56=30\r"));
    EXPECT_EQ(port.ReadUntil("ERROR\r\n"), "ATS56=30\r\r\nERROR\r\n");
    EXPECT_EQ(device_.Register(56), 20);
    EXPECT_FALSE(device_.HungUp());
    device_.Hangup();
    EXPECT_TRUE(device_.HungUp());
    EXPECT_TRUE(port.WaitForHangup());
}

TEST_F(SimPtyDeviceTest, TraceLinesArriveUnaskedOnTheDevicesClock) {
    vardex::test::ScopedTimeScale fast(0.05);
    Port port(device_.Path());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.Write("ATCD3CD9\r"));
    EXPECT_EQ(port.ReadUntil("OK\r\n"), "ATCD3CD9\r\r\nOK\r\n");
    const std::string lines = port.ReadUntil("\r\n");
    EXPECT_NE(lines.find(" L2 "), std::string::npos) << lines;
    EXPECT_EQ(lines.front(), '[');
}

// Idle, the worker sleeps in ppoll(): with nothing to do, and also while timers
// run (a loader waiting with its NAK, a trace), it uses almost no CPU time.
TEST(SimPtyDeviceCpu, IdleWorkerUsesAlmostNoCpuAndAnswersQuickly) {
    vardex::test::ScopedTimeScale fast(0.1);  // a NAK every 100 ms
    PtyDevice device;
    device.Modify([](Device& d) { d.EnterLoader(); });
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    Port port(device.Path());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_EQ(port.ReadUntil("\x15"), "\x15");

    const auto before = device.WorkerCpuTime();
    const auto start = Clock::now();
    // Nothing will arrive: this is a bounded idle period, not a handshake.
    EXPECT_FALSE(device.WaitForBytesReceived(1, std::chrono::milliseconds(500)));
    const auto wall = Clock::now() - start;
    const auto used = device.WorkerCpuTime() - before;
    EXPECT_GT(before.count(), 0);
    EXPECT_LT(used * 20, wall) << "worker used " << used.count() << " ns of CPU in " << wall.count()
                               << " ns";

    // Out of the loader, an exchange takes a few milliseconds at most.
    device.Modify([](Device& d) {
        // The loader's memory says the firmware is gone; give it one back.
        NvState nv = d.Nv();
        nv.firmware_valid = true;
        d.LoadNv(nv);
    });
    const auto exchanges_start = Clock::now();
    constexpr int kExchanges = 20;
    for (int i = 0; i < kExchanges; ++i) {
        ASSERT_TRUE(port.Write("AT\r"));
        ASSERT_TRUE(port.ReadUntil("OK\r\n").ends_with("OK\r\n"));
    }
    EXPECT_LT(Clock::now() - exchanges_start, kExchanges * std::chrono::milliseconds(10));
}

}  // namespace
}  // namespace vardex::sim
