#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/pty.h"
#include "scripted_peer.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex {
namespace {

using test::MsSince;
using test::ScopedTimeScale;
using test::ScriptedPeer;

CommTimeouts ReadTimeouts(std::uint32_t interval, std::uint32_t multiplier,
                          std::uint32_t constant) {
    CommTimeouts t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutConstant = 1000;
    return t;
}

struct OpenedPeer {
    ScriptedPeer peer;
    std::shared_ptr<SerialPort> port;
    OpenedPeer() {
        SysError error;
        port = SerialPort::Open(peer.SlavePath(), &error);
        EXPECT_TRUE(port) << error.Message();
        LineSettings settings;
        EXPECT_TRUE(port->GetState(&settings));
        settings.BaudRate = 115200;
        EXPECT_TRUE(port->SetState(settings));
    }
};

TEST(SerialPortOpen, RefusesMissingDirectoryAndBusyPorts) {
    SysError error;
    EXPECT_FALSE(SerialPort::Open("/dev/does-not-exist-vardex", &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_NE(error.Message().find("open"), std::string::npos);

    EXPECT_FALSE(SerialPort::Open("/tmp", &error));
    EXPECT_EQ(error.code, EISDIR);

    EXPECT_FALSE(SerialPort::Open("", &error));
    EXPECT_EQ(error.code, ENOENT);

    OpenedPeer opened;
    // A second open of a port in use fails, also within one process and as root.
    EXPECT_FALSE(SerialPort::Open(opened.peer.SlavePath(), &error));
    EXPECT_EQ(error.code, EBUSY);
    opened.port.reset();
    EXPECT_TRUE(SerialPort::Open(opened.peer.SlavePath(), &error)) << error.Message();
}

TEST(SerialPortOpen, FileThatIsNoTtyHasNoLineSettings) {
    const std::string path = test::TempPath("vardex-not-a-tty");
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ::close(fd);
    }
    SysError error;
    auto port = SerialPort::Open(path, &error);
    ASSERT_TRUE(port) << error.Message();
    LineSettings settings;
    EXPECT_FALSE(port->GetState(&settings));
    EXPECT_EQ(port->LastError().code, ENOTTY);
    std::filesystem::remove(path);
}

TEST(SerialPortSettings, BaudAndFramingRoundTrip) {
    OpenedPeer opened;
    LineSettings settings;
    ASSERT_TRUE(opened.port->GetState(&settings));
    EXPECT_EQ(settings.BaudRate, 115200u);
    EXPECT_EQ(settings.ByteSize, 8);
    EXPECT_EQ(settings.Parity, 0);
    EXPECT_EQ(settings.StopBits, 0);
    settings.BaudRate = 12345;  // no such rate
    EXPECT_FALSE(opened.port->SetState(settings));
}

// Reads from the master side until count bytes came or the limit passed.
std::string ReadMaster(int master, std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto deadline = Clock::now() + limit;
    while (got.size() < count && Clock::now() < deadline) {
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) {
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(SerialPortSettings, EveryByteValuePassesBothWaysThoughTheTtyHadXonXoff) {
    // A fresh Linux tty has software flow control on; the port must turn it off,
    // or 0x11 and 0x13 vanish and a 0x13 from the device stalls our writes.
    PtyPair pair;
    SysError error;
    ASSERT_TRUE(PtyPair::Create(&pair, &error)) << error.Message();
    {
        const int fd = ::open(pair.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        tio.c_iflag |= IXON | IXOFF | IXANY;
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
        ::close(fd);
    }
    auto port = SerialPort::Open(pair.SlavePath(), &error);
    ASSERT_TRUE(port) << error.Message();
    LineSettings settings;
    ASSERT_TRUE(port->GetState(&settings));
    settings.BaudRate = 115200;
    ASSERT_TRUE(port->SetState(settings));
    ASSERT_TRUE(port->SetTimeouts(ReadTimeouts(2000, 0, 5000)));

    std::string all;
    for (int value = 0; value < 256; ++value) {
        all.push_back(static_cast<char>(value));
    }
    // Device to program: 0x13 first, so that flow control left on would also
    // stop the program's output below.
    const std::string in = "\x13" + all;
    ASSERT_EQ(::write(pair.Master(), in.data(), in.size()), static_cast<ssize_t>(in.size()));
    std::string received(in.size(), '\0');
    std::size_t got = 0;
    ASSERT_TRUE(port->Read(received.data(), received.size(), &got));
    received.resize(got);
    EXPECT_EQ(received, in);

    // Program to device.
    std::size_t written = 0;
    ASSERT_TRUE(port->Write(all.data(), all.size(), &written));
    EXPECT_EQ(written, all.size());
    EXPECT_EQ(ReadMaster(pair.Master(), all.size(), std::chrono::seconds(5)), all);
}

TEST(SerialPortRead, EndsAtCountDeadlineOrInterval) {
    ScopedTimeScale scale(1.0);
    OpenedPeer opened;
    SerialPort& port = *opened.port;
    char buffer[64] = {};
    std::size_t got = 99;

    // Nothing arrives: the total deadline ends the read, never earlier.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(20, 0, 120)));
    auto start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 10, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MsSince(start), 120);
    EXPECT_LT(MsSince(start), 2000);

    // The count is reached: no waiting for any time-out.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(5000, 0, 5000)));
    opened.peer.Send("abcdef");
    start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 6, &got));
    EXPECT_EQ(std::string(buffer, got), "abcdef");
    EXPECT_LT(MsSince(start), 2500);

    // Bytes then silence: the interval after the last byte ends it before the total.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(60, 0, 10000)));
    opened.peer.Send("xyz");
    start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 50, &got));
    EXPECT_EQ(std::string(buffer, got), "xyz");
    EXPECT_GE(MsSince(start), 60);
    EXPECT_LT(MsSince(start), 5000);

    // The multiplier counts per byte asked for.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(0, 10, 0)));
    start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 12, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MsSince(start), 120);
}

// A scale shortens the protocol's waits, never a device's time to answer: the
// first read after a write waits at least the real time-out (up to the floor),
// and an answer later than the scaled time-out is read.
TEST(SerialPortRead, AnAnswerGetsItsRealTimeHoweverFastTheWaitsRun) {
    ScopedTimeScale scale(0.01);
    OpenedPeer opened;
    SerialPort& port = *opened.port;
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(20, 0, 250)));
    char buffer[16] = {};
    std::size_t got = 99;
    std::size_t written = 0;
    ASSERT_TRUE(port.Write("AT\r", 3, &written));
    auto start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MsSince(start), 250);

    // The answer comes long after the scaled total (2.5 ms) and is read.
    std::thread late([&opened] {
        const auto at = Clock::now() + std::chrono::milliseconds(30);
        while (Clock::now() < at) {
            std::this_thread::yield();
        }
        opened.peer.Send("late answer");
    });
    ASSERT_TRUE(port.Read(buffer, 11, &got));
    late.join();
    EXPECT_EQ(std::string(buffer, got), "late answer");
}

TEST(SerialPortRead, SpecialTimeoutCombinations) {
    OpenedPeer opened;
    SerialPort& port = *opened.port;
    char buffer[16] = {};
    std::size_t got = 0;
    // MAXDWORD interval and no totals: whatever is there, at once.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(kMaxDword, 0, 0)));
    auto start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_LT(MsSince(start), 1000);
    // MAXDWORD interval and multiplier: returns with the first bytes.
    ASSERT_TRUE(port.SetTimeouts(ReadTimeouts(kMaxDword, kMaxDword, 10000)));
    opened.peer.Send("q");
    start = Clock::now();
    ASSERT_TRUE(port.Read(buffer, 8, &got));
    EXPECT_EQ(std::string(buffer, got), "q");
    EXPECT_LT(MsSince(start), 5000);
}

TEST(SerialPortRead, StopByteEndsReadAtOnce) {
    OpenedPeer opened;
    ASSERT_TRUE(opened.port->SetTimeouts(ReadTimeouts(10000, 0, 10000)));
    opened.peer.Send("ab\x15");
    char buffer[16] = {};
    std::size_t got = 0;
    const auto start = Clock::now();
    ASSERT_TRUE(opened.port->Read(buffer, 10, &got, 0x15));
    EXPECT_EQ(std::string(buffer, got), "ab\x15");
    EXPECT_LT(MsSince(start), 5000);
}

TEST(SerialPortModem, PseudoTerminalLinesFollowTheOtherSide) {
    OpenedPeer opened;
    std::uint32_t status = 0;
    ASSERT_TRUE(opened.port->GetModemStatus(&status));
    EXPECT_EQ(status & (kMsCtsOn | kMsDsrOn), kMsCtsOn | kMsDsrOn);
    EXPECT_TRUE(opened.port->SetDtr(true));
    EXPECT_TRUE(opened.port->Purge(kPurgeRxAbort | kPurgeRxClear | kPurgeTxAbort | kPurgeTxClear));

    opened.peer.Hangup();
    ASSERT_TRUE(opened.port->GetModemStatus(&status));
    EXPECT_EQ(status & kMsDsrOn, 0u);
    // A hung-up line reads like a silent one: it waits out the time-out, no error.
    ASSERT_TRUE(opened.port->SetTimeouts(ReadTimeouts(10, 0, 50)));
    char buffer[8];
    std::size_t got = 7;
    const auto start = Clock::now();
    EXPECT_TRUE(opened.port->Read(buffer, 4, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MsSince(start), 50);
}

// A name for the peer's port outside /dev/pts, as a USB node or the simulator's
// link would be.
struct LinkedPeer {
    ScriptedPeer peer;
    std::string link;
    std::shared_ptr<SerialPort> port;
    explicit LinkedPeer(const std::string& name) : link(test::TempPath(name)) {
        std::filesystem::remove(link);
        std::filesystem::create_symlink(peer.SlavePath(), link);
        SysError error;
        port = SerialPort::Open(link, &error);
        EXPECT_TRUE(port) << error.Message();
        EXPECT_TRUE(port->SetTimeouts(ReadTimeouts(10, 0, 50)));
    }
    ~LinkedPeer() { std::filesystem::remove(link); }
};

TEST(SerialPortModem, AHangUpIsDsrOffWhileTheNameStaysAndAnErrorOnceItWent) {
    std::uint32_t status = 0;
    char buffer[8];
    std::size_t got = 0;
    {
        // The line dropped, the device is still there: DSR off, silence.
        LinkedPeer dropped("vardex-dropped");
        dropped.peer.Hangup();
        ASSERT_TRUE(dropped.port->GetModemStatus(&status));
        EXPECT_EQ(status & kMsDsrOn, 0u);
        EXPECT_TRUE(dropped.port->Read(buffer, 4, &got));
        EXPECT_EQ(got, 0u);
    }
    {
        // Unplugged: the name went with the device, so every call fails.
        LinkedPeer unplugged("vardex-unplugged");
        std::filesystem::remove(unplugged.link);
        unplugged.peer.Hangup();
        EXPECT_FALSE(unplugged.port->GetModemStatus(&status));
        EXPECT_EQ(unplugged.port->LastError().code, ENODEV);
        EXPECT_FALSE(unplugged.port->Read(buffer, 4, &got));
        EXPECT_EQ(unplugged.port->LastError().code, EIO);
    }
}

TEST(SerialPortThreads, ReadAndWriteRunTogether) {
    // The peer echoes everything: one thread writes while another reads it back.
    ScriptedPeer peer({}, true);
    SysError error;
    auto port = SerialPort::Open(peer.SlavePath(), &error);
    ASSERT_TRUE(port);
    LineSettings settings;
    ASSERT_TRUE(port->GetState(&settings));
    settings.BaudRate = 115200;
    ASSERT_TRUE(port->SetState(settings));
    ASSERT_TRUE(port->SetTimeouts(ReadTimeouts(2000, 0, 10000)));

    std::string sent;
    for (int i = 0; i < 2000; ++i) {
        sent.push_back(static_cast<char>('a' + i % 26));
    }
    std::string echoed;
    std::thread reader([&] {
        char chunk[256];
        while (echoed.size() < sent.size()) {
            std::size_t got = 0;
            if (!port->Read(chunk, sizeof chunk, &got) || got == 0) {
                break;
            }
            echoed.append(chunk, got);
        }
    });
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < sent.size(); offset += 100) {
        ASSERT_TRUE(port->Write(sent.data() + offset, 100, &written));
        ASSERT_EQ(written, 100u);
    }
    reader.join();
    EXPECT_EQ(echoed, sent);
}

TEST(SerialPortThreads, CancelWakesAReadWithoutTimeouts) {
    OpenedPeer opened;
    ASSERT_TRUE(opened.port->SetTimeouts(CommTimeouts{}));  // would wait for ever
    std::atomic<bool> returned{false};
    std::thread reader([&] {
        char buffer[8];
        std::size_t got = 0;
        opened.port->Read(buffer, 4, &got);
        returned = true;
    });
    opened.port->Cancel();
    reader.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(opened.port->Cancelled());
}

}  // namespace
}  // namespace vardex
