// SerialPort through a real port server: ser2net in front of a scripted device
// on a pseudo-terminal, on the loopback.
#include <gtest/gtest.h>

#include <string>

#include "platform/serial_port.h"
#include "port_server.h"
#include "scripted_peer.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex {
namespace {

using test::MsSince;
using test::ScriptedPeer;

TEST(NetPortSer2net, DataBothWaysIntactAndTheLineDroppingEndsTheJob) {
    ScriptedPeer peer([](const std::string& line) { return "\r\nOK " + line + "\r\n"; });
    test::PortServer server;
    const auto started = server.Start(peer.SlavePath());
    ASSERT_TRUE(started) << started.error();
    SysError error;
    auto port = SerialPort::Open(server.Url(), &error);
    ASSERT_TRUE(port) << error.Message() << "\n" << server.Log();

    // Held by us: a second client is told the port is busy.
    SysError second;
    EXPECT_FALSE(SerialPort::Open(server.Url(), &second));
    EXPECT_EQ(second.code, EBUSY) << second.Message();

    LineSettings settings;
    ASSERT_TRUE(port->GetState(&settings));
    EXPECT_EQ(settings.BaudRate, 115200u);  // as the server's configuration says
    settings.BaudRate = 115200;
    ASSERT_TRUE(port->SetState(settings));
    std::uint32_t status = 0;
    ASSERT_TRUE(port->GetModemStatus(&status));
    EXPECT_EQ(status & (kMsCtsOn | kMsDsrOn), kMsCtsOn | kMsDsrOn);
    CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 1000;
    timeouts.ReadTotalTimeoutConstant = 5000;
    timeouts.WriteTotalTimeoutConstant = 5000;
    ASSERT_TRUE(port->SetTimeouts(timeouts));

    // A command and its reply.
    std::size_t written = 0;
    ASSERT_TRUE(port->Write("ATI3\r", 5, &written));
    char reply[64] = {};
    std::size_t got = 0;
    ASSERT_TRUE(port->Read(reply, sizeof reply, &got, '\n'));
    ASSERT_TRUE(port->Read(reply, sizeof reply, &got, '\n'));
    EXPECT_EQ(std::string(reply, got), "OK ATI3\r\n");

    // Every byte value, 0xFF among them, both ways.
    std::string all;
    for (int round = 0; round < 8; ++round) {
        for (int i = 0; i < 256; ++i) {
            all.push_back(static_cast<char>(i == '\r' ? 0xFF : i));  // no line end for the peer
        }
    }
    ASSERT_TRUE(port->Write(all.data(), all.size(), &written));
    EXPECT_EQ(written, all.size());
    ASSERT_TRUE(peer.WaitForReceived(all));
    peer.Send(all);
    std::string back(all.size(), '\0');
    ASSERT_TRUE(port->Read(back.data(), back.size(), &got));
    EXPECT_EQ(got, all.size());
    EXPECT_EQ(back, all);

    // The device goes: the server ends the connection, the read fails as on a
    // vanished device, and nothing waits for its time-out.
    peer.Hangup();
    const auto start = Clock::now();
    EXPECT_FALSE(port->Read(reply, sizeof reply, &got));
    EXPECT_EQ(port->LastError().code, EIO);
    EXPECT_LT(MsSince(start), 4000);
}

}  // namespace
}  // namespace vardex
