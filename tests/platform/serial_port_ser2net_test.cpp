// SerialPort through a real port server: ser2net in front of a scripted device
// on a pseudo-terminal, on the loopback.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/serial_port.h"
#include "scripted_peer.h"
#include "time_scale.h"

extern char** environ;

namespace vardex {
namespace {

using test::MsSince;
using test::ScriptedPeer;

std::string FindSer2net() {
    std::string path_list = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path_list += ":/usr/sbin:/usr/local/sbin";
    std::size_t start = 0;
    while (start <= path_list.size()) {
        const std::size_t end = std::min(path_list.find(':', start), path_list.size());
        const std::filesystem::path candidate =
            std::filesystem::path(path_list.substr(start, end - start)) / "ser2net";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    (void)::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    (void)::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// ser2net serving one pseudo-terminal on a loopback port, in the foreground,
// with its own configuration; stopped with the object.
class Ser2net {
public:
    explicit Ser2net(const std::string& device) {
        const std::string program = FindSer2net();
        if (program.empty()) {
            return;
        }
        dir_ = std::filesystem::temp_directory_path() /
               ("vardex-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(++count_));
        std::filesystem::create_directories(dir_);
        port_ = FreeLoopbackPort();
        const std::string config = dir_ / "ser2net.yaml";
        std::ofstream(config) << "connection: &port\n"
                              << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
                              << "  connector: serialdev," << device << ",115200n81,local\n";
        const std::string pidfile = dir_ / "ser2net.pid";
        const char* argv[] = {program.c_str(), "-n",   "-c", config.c_str(), "-P",
                              pidfile.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv),
                          environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Ser2net() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }
    bool Started() const { return pid_ > 0; }
    std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

    // Opens the port once the server listens (it starts in a moment; bounded).
    std::shared_ptr<SerialPort> Open(SysError* error) const {
        const auto start = Clock::now();
        for (;;) {
            auto port = SerialPort::Open(Name(), error);
            if (port || error->code != ECONNREFUSED || MsSince(start) > 10000) {
                return port;
            }
            (void)::poll(nullptr, 0, 10);  // retry the connection, not a sleep to sync
        }
    }

private:
    static inline int count_ = 0;
    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

TEST(NetPortSer2net, DataBothWaysIntactAndTheLineDroppingEndsTheJob) {
    ScriptedPeer peer([](const std::string& line) { return "\r\nOK " + line + "\r\n"; });
    Ser2net server(peer.SlavePath());
    ASSERT_TRUE(server.Started()) << "ser2net not found on PATH or in /usr/sbin";
    SysError error;
    auto port = server.Open(&error);
    ASSERT_TRUE(port) << error.Message();

    // Held by us: a second client is told the port is busy.
    SysError second;
    EXPECT_FALSE(SerialPort::Open(server.Name(), &second));
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
