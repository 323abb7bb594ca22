// SerialPort on a network port, against a port server on the loopback.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "fake_port_server.h"
#include "platform/net_line.h"
#include "platform/rfc2217_codec.h"
#include "platform/serial_port.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex {
namespace {

using test::FakePortServer;
using test::MsSince;
using test::ScopedTimeScale;

CommTimeouts Timeouts(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant,
                      std::uint32_t write_constant = 2000) {
    CommTimeouts t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutConstant = write_constant;
    return t;
}

std::string AllBytes(int rounds) {
    std::string all;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < 256; ++i) {
            all.push_back(static_cast<char>(i));
        }
    }
    return all;
}

std::shared_ptr<SerialPort> OpenOn(const FakePortServer& server) {
    SysError error;
    auto port = SerialPort::Open(server.Name(), &error);
    EXPECT_TRUE(port) << error.Message();
    return port;
}

// A port number on the loopback where nothing listens.
std::string DeadName() {
    FakePortServer server;
    return server.Name();  // the listener closes with the server
}

TEST(NetPortName, TakesHostAndPortWholeAndRefusesTheRest) {
    NetPortName name;
    ASSERT_TRUE(ParseNetPortName("rfc2217://cabinet:3001", &name));
    EXPECT_EQ(name.host, "cabinet");
    EXPECT_EQ(name.port, "3001");
    ASSERT_TRUE(ParseNetPortName("RFC2217://10.0.0.7:65535", &name));
    EXPECT_EQ(name.host, "10.0.0.7");
    ASSERT_TRUE(ParseNetPortName("rfc2217://[fe80::1:2]:007", &name));
    EXPECT_EQ(name.host, "fe80::1:2");
    EXPECT_EQ(name.port, "7");
    for (const char* bad :
         {"rfc2217://", "rfc2217://host", "rfc2217://host:", "rfc2217://:3001", "rfc2217://host:0",
          "rfc2217://host:65536", "rfc2217://host:30a", "rfc2217://host:3001/x",
          "rfc2217://fe80::1:3001", "rfc2217://[fe80::1]", "rfc2217://[fe80::1]3001",
          "rfc2217://[]:1", "rfc2217://[::1]:1]", "rfc2217://ho st:1", "rfc2217://h\nx:1",
          "rfc2217://-e:1:2", "/dev/ttyS0", "tcp://host:1"}) {
        EXPECT_FALSE(ParseNetPortName(bad, &name)) << bad;
    }
    EXPECT_TRUE(IsNetPortName("Rfc2217://whatever"));
    EXPECT_FALSE(IsNetPortName("/tmp/rfc2217://x:1"));
}

TEST(NetPortOpen, FailuresSayWhatHappened) {
    ScopedTimeScale scale(0.05);
    SysError error;
    EXPECT_FALSE(SerialPort::Open("rfc2217://cabinet:http", &error));
    EXPECT_EQ(error.code, EINVAL);

    // A name that no resolver knows: not found, or at worst the lookup's bound.
    auto start = Clock::now();
    EXPECT_FALSE(SerialPort::Open("rfc2217://no-such-cabinet.invalid:3001", &error));
    EXPECT_TRUE(error.code == ENOENT || error.code == EAGAIN || error.code == ETIMEDOUT)
        << error.Message();
    EXPECT_NE(error.Message().find("find the host no-such-cabinet.invalid"), std::string::npos);
    // In the resolver's words, not errno's ("No such file or directory").
    if (error.code == ENOENT) {
        EXPECT_EQ(error.Message().find(std::strerror(ENOENT)), std::string::npos)
            << error.Message();
    }
    EXPECT_LT(MsSince(start), 2500);

    EXPECT_FALSE(SerialPort::Open(DeadName(), &error));
    EXPECT_EQ(error.code, ECONNREFUSED);
    EXPECT_NE(error.Message().find("connect to 127.0.0.1 port "), std::string::npos)
        << error.Message();

    FakePortServer closing(FakePortServer::Answer::kClose);
    EXPECT_FALSE(SerialPort::Open(closing.Name(), &error));
    EXPECT_EQ(error.code, ECONNRESET);

    // Taken by another client of the server: busy, as a local port would be.
    FakePortServer busy(FakePortServer::Answer::kBusy);
    EXPECT_FALSE(SerialPort::Open(busy.Name(), &error));
    EXPECT_EQ(error.code, EBUSY);

    FakePortServer refusing(FakePortServer::Answer::kRefuse);
    EXPECT_FALSE(SerialPort::Open(refusing.Name(), &error));
    EXPECT_EQ(error.code, EPROTONOSUPPORT);

    // A server that never answers: bounded (3 s at this scale, but at least 0.5 s).
    FakePortServer silent(FakePortServer::Answer::kSilent);
    start = Clock::now();
    EXPECT_FALSE(SerialPort::Open(silent.Name(), &error));
    EXPECT_EQ(error.code, ETIMEDOUT);
    EXPECT_GE(MsSince(start), 500);
    EXPECT_LT(MsSince(start), 2500);
}

TEST(NetPortOpen, CancelEndsAConnectionInProgress) {
    ScopedTimeScale scale(1.0);  // the negotiation would wait 3 s
    FakePortServer silent(FakePortServer::Answer::kSilent);
    std::atomic<bool> cancel{false};
    SysError error;
    const auto start = Clock::now();
    std::thread canceller([&] {
        // Cancels once the connection stands, or at once if it never does.
        (void)silent.WaitUntil(
            [](const std::string& data, const std::vector<std::string>&) { return !data.empty(); },
            std::chrono::milliseconds(200));
        cancel.store(true);
    });
    EXPECT_FALSE(SerialPort::Open(silent.Name(), &error, &cancel));
    canceller.join();
    EXPECT_EQ(error.code, ECANCELED);
    EXPECT_LT(MsSince(start), 1500);
}

TEST(NetPortData, EveryByteValuePassesBothWaysHoweverTheSocketCutsIt) {
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetTimeouts(Timeouts(2000, 0, 5000)));
    const std::string all = AllBytes(40);  // more than one write piece
    std::size_t written = 0;
    ASSERT_TRUE(port->Write(all.data(), all.size(), &written));
    EXPECT_EQ(written, all.size());
    ASSERT_TRUE(server.WaitUntil(
        [&](const std::string& data, const auto&) { return data.size() >= all.size(); }));
    EXPECT_EQ(server.Data(), all);

    // One byte per send, so that escapes and commands are cut between reads,
    // with a notification in the middle of the data.
    std::string escaped;
    telnet::AppendEscaped(reinterpret_cast<const std::uint8_t*>(all.data()), 512, &escaped);
    escaped.insert(300, telnet::ComPortCommand(107, 0x30));
    std::thread sender([&] {
        for (const char c : escaped) {
            server.SendRaw(std::string(1, c));
        }
    });
    std::string got(512, '\0');
    std::size_t received = 0;
    ASSERT_TRUE(port->Read(got.data(), got.size(), &received));
    sender.join();
    EXPECT_EQ(received, 512u);
    EXPECT_EQ(got, all.substr(0, 512));
}

TEST(NetPortRead, KeepsTheTimeOutsStopBytesAndCancel) {
    ScopedTimeScale scale(1.0);
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    char buffer[64] = {};
    std::size_t got = 99;

    // Nothing comes (only a notification): the total deadline ends it, not earlier.
    ASSERT_TRUE(port->SetTimeouts(Timeouts(20, 0, 120)));
    server.SendModemState(0x30);
    auto start = Clock::now();
    ASSERT_TRUE(port->Read(buffer, 10, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(MsSince(start), 120);
    EXPECT_LT(MsSince(start), 2000);

    // Bytes then silence: the interval after the last byte, well before the total.
    ASSERT_TRUE(port->SetTimeouts(Timeouts(60, 0, 10000)));
    server.SendData("xyz");
    start = Clock::now();
    ASSERT_TRUE(port->Read(buffer, 50, &got));
    EXPECT_EQ(std::string(buffer, got), "xyz");
    EXPECT_GE(MsSince(start), 60);
    EXPECT_LT(MsSince(start), 5000);

    // A stop byte ends it at once; what follows stays for the next read.
    ASSERT_TRUE(port->SetTimeouts(Timeouts(10000, 0, 10000)));
    server.SendData("ab\x15rest");
    start = Clock::now();
    ASSERT_TRUE(port->Read(buffer, 10, &got, 0x15));
    EXPECT_EQ(std::string(buffer, got), "ab\x15");
    EXPECT_LT(MsSince(start), 5000);

    // This read's own total time-out, and the whatever-is-there combination.
    SerialPort::ReadStops stops;
    stops.total_ms = 80;
    start = Clock::now();
    ASSERT_TRUE(port->Read(buffer, 50, &got, stops));
    EXPECT_EQ(std::string(buffer, got), "rest");
    EXPECT_LT(MsSince(start), 5000);
    ASSERT_TRUE(port->SetTimeouts(Timeouts(kMaxDword, 0, 0)));
    ASSERT_TRUE(port->Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);

    // No time-outs: only Cancel ends the read, at once.
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 0)));
    start = Clock::now();
    std::thread reader([&] { EXPECT_TRUE(port->Read(buffer, 10, &got)); });
    port->Cancel();
    reader.join();
    EXPECT_LT(MsSince(start), 1000);
}

TEST(NetPortControl, SettingsDtrAndPurgeGoToTheServer) {
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    LineSettings settings;
    ASSERT_TRUE(port->GetState(&settings));
    settings.BaudRate = 115200;
    settings.ByteSize = 8;
    settings.Parity = 2;
    settings.StopBits = 1;
    ASSERT_TRUE(port->SetState(settings));
    settings.BaudRate = 12345;  // no such rate on a serial port
    EXPECT_FALSE(port->SetState(settings));
    EXPECT_EQ(port->LastError().code, EINVAL);
    ASSERT_TRUE(port->GetState(&settings));
    EXPECT_EQ(settings.BaudRate, 115200u);
    EXPECT_EQ(settings.Parity, 2);
    ASSERT_TRUE(port->SetDtr(false));

    // Input that has reached us goes with the purge.
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 2000)));
    server.SendData("stale input");
    char buffer[32] = {};
    std::size_t got = 0;
    ASSERT_TRUE(port->Read(buffer, 1, &got));
    ASSERT_EQ(got, 1u);
    ASSERT_TRUE(port->Purge(kPurgeRxClear | kPurgeTxClear));
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 100)));
    ASSERT_TRUE(port->Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);

    const auto expected = std::vector<std::string>{
        std::string("\x01\0\0\0\0", 5),          // the question for the rate at opening
        std::string("\x01\x00\x01\xC2\x00", 5),  // 115200
        "\x02\x08",                              // 8 data bits
        "\x03\x03",                              // even parity
        "\x04\x03",                              // one and a half stop bits
        "\x05\x09",                              // DTR off
        "\x0C\x03",                              // purge both
    };
    ASSERT_TRUE(server.WaitUntil([&](const auto&, const std::vector<std::string>& commands) {
        return commands.size() >= expected.size();
    }));
    EXPECT_EQ(server.Commands(), expected);
}

TEST(NetPortModem, LinesFollowNotificationsAndAClosedConnectionIsAVanishedDevice) {
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    std::uint32_t status = 0;
    ASSERT_TRUE(port->GetModemStatus(&status));
    EXPECT_EQ(status, kMsCtsOn | kMsDsrOn);  // nothing reported yet

    // DSR drops; the bytes sent with it are not lost to the status call.
    server.SendRaw(telnet::ComPortCommand(107, 0x12) + "after");
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 2000)));
    char buffer[16] = {};
    std::size_t got = 0;
    ASSERT_TRUE(port->Read(buffer, 5, &got));
    EXPECT_EQ(std::string(buffer, got), "after");
    ASSERT_TRUE(port->GetModemStatus(&status));
    EXPECT_EQ(status, kMsCtsOn);

    server.CloseConnection();
    EXPECT_FALSE(port->Read(buffer, 5, &got));
    EXPECT_EQ(port->LastError().code, EIO);
    EXPECT_FALSE(port->GetModemStatus(&status));
    std::size_t written = 0;
    EXPECT_FALSE(port->Write("AT\r", 3, &written));
    EXPECT_EQ(port->LastError().code, EIO);
    EXPECT_FALSE(port->SetDtr(true));
}

TEST(NetPortGarbage, BrokenTelnetNeitherHangsNorLosesTheDataAfterIt) {
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    std::string junk = telnet::ComPortCommand(107, 0x30);
    junk.insert(5, std::string(100000, '\x07'));  // a notification far too long
    for (int i = 0; i < 2000; ++i) {
        junk += telnet::Negotiation(telnet::kDo, static_cast<std::uint8_t>(100 + i % 50));
    }
    junk += "\xff\xfa\x2c\xff\xfd";  // a sub-negotiation cut by a command
    server.SendRaw(junk + "\x01" + "data\xff\xff");
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 5000)));
    char buffer[16] = {};
    std::size_t got = 0;
    ASSERT_TRUE(port->Read(buffer, 5, &got));
    EXPECT_EQ(std::string(buffer, got), "data\xff");
    std::uint32_t status = 0;
    ASSERT_TRUE(port->GetModemStatus(&status));
    EXPECT_EQ(status, kMsCtsOn | kMsDsrOn);  // the overlong one counted for nothing
}

TEST(NetPortWrite, DeadlineHoldsAgainstAServerThatStopsReading) {
    ScopedTimeScale scale(1.0);
    FakePortServer server;
    auto port = OpenOn(server);
    ASSERT_TRUE(port);
    server.StopReading();
    ASSERT_TRUE(port->SetTimeouts(Timeouts(0, 0, 0, 150)));
    const std::string big(64 * 1024 * 1024, '\xff');
    std::size_t written = 0;
    const auto start = Clock::now();
    ASSERT_TRUE(port->Write(big.data(), big.size(), &written));
    EXPECT_GE(MsSince(start), 150);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

// A server that floods telnet commands, between line bytes or not, or keeps
// turning an option off and on: each read still ends at its own deadline,
// total or interval, and Cancel ends one that has none, while the flood goes on.
TEST(NetPortFlood, ReadsKeepTheirDeadlinesAndCancelWhateverTheServerSends) {
    const std::string nops = FakePortServer::Nops();
    const std::string agreed_again = telnet::Negotiation(telnet::kDo, telnet::kOptBinary) +
                                     telnet::Negotiation(telnet::kWill, telnet::kOptBinary);
    const std::string turning = telnet::Negotiation(telnet::kWont, telnet::kOptBinary) +
                                telnet::Negotiation(telnet::kWill, telnet::kOptBinary);
    const std::string dripping = "x" + nops.substr(0, 2);
    // Refused once: the server hears the answer once the read takes the flood.
    const std::string asking = telnet::Negotiation(telnet::kWill, 1) + nops;
    struct Case {
        const char* what;
        std::string first;  // line bytes before the flood
        std::string unit;
        CommTimeouts timeouts;
        double scale;
        std::size_t least;  // line bytes, all "x"
        std::size_t most;
    };
    const Case cases[] = {
        {"commands only, total", "", nops, Timeouts(0, 0, 150), 1.0, 0, 0},
        {"agreed options again, total", "", agreed_again + nops, Timeouts(20, 0, 150), 1.0, 0, 0},
        {"an option turned off and on, total", "", turning, Timeouts(0, 0, 150), 1.0, 0, 0},
        {"commands after a byte, interval", "x", nops, Timeouts(50, 0, 0), 1.0, 1, 1},
        {"commands, no time-outs: Cancel", "", asking, Timeouts(0, 0, 0), 1.0, 0, 0},
        // The deadline has passed by the first byte: what one call took, no more.
        {"line bytes between commands, total", "", dripping, Timeouts(0, 0, 150), 1e-6, 1,
         NetLine::kMaxTakenAtOnce},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTimeScale scale(c.scale);
        FakePortServer server;
        auto port = OpenOn(server);
        ASSERT_TRUE(port);
        ASSERT_TRUE(port->SetTimeouts(c.timeouts));
        const std::uint64_t before = server.BytesSent();
        const std::uint64_t received = server.BytesReceived();
        server.SendData(c.first);
        server.Flood(c.unit);
        // The flood is under way, and waits in the socket for the read.
        ASSERT_TRUE(server.WaitForBytesSent(before + 16 * 1024));
        std::string buffer(1 << 20, '\0');
        std::size_t got = 0;
        bool read = false;
        std::thread reader([&] { read = port->Read(buffer.data(), buffer.size(), &got); });
        if (c.timeouts.ReadIntervalTimeout == 0 && c.timeouts.ReadTotalTimeoutConstant == 0) {
            EXPECT_TRUE(server.WaitForBytesReceived(received));
            port->Cancel();
        }
        reader.join();
        EXPECT_TRUE(read);
        EXPECT_GE(got, c.least);
        EXPECT_LE(got, c.most);
        EXPECT_EQ(buffer.substr(0, got), std::string(got, 'x'));
        EXPECT_FALSE(server.FloodRanOut()) << "the read waited for the flood to end";
    }
}

// However fast a server floods, one call takes a bounded piece of it off the
// socket, so that the read around it gets back to its deadline and Cancel.
TEST(NetLineFlood, EachCallTakesABoundedPieceOfTheFlood) {
    FakePortServer server;
    SysError error;
    auto line = NetLine::Connect(server.Name(), nullptr, &error);
    ASSERT_TRUE(line) << error.Message();
    const std::uint64_t before = server.BytesSent();
    server.Flood(FakePortServer::Nops());
    // Many times the bound waits for the first call.
    ASSERT_TRUE(server.WaitForBytesSent(before + 16 * NetLine::kMaxTakenAtOnce));
    constexpr int kWaitMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(FakePortServer::kFloodLimit).count();
    std::uint8_t byte = 0;
    for (int call = 0; call < 64 && !server.FloodRanOut(); ++call) {
        pollfd readable{line->Socket(), POLLIN, 0};
        ASSERT_EQ(::poll(&readable, 1, kWaitMs), 1);
        ASSERT_EQ(line->Take(&byte, 1), -1);
    }
    EXPECT_GT(line->MostTakenAtOnce(), 0u);
    EXPECT_LE(line->MostTakenAtOnce(), NetLine::kMaxTakenAtOnce);
}

}  // namespace
}  // namespace vardex
