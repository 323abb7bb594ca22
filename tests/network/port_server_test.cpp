// The port server harness: the simulator answers through it, and a stopped
// server leaves no process and no listening port behind.
#include "port_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <chrono>
#include <string>

#include "fd_text.h"
#include "pty_device.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex::test {
namespace {

using namespace std::chrono_literals;

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(PortServer, ServesTheSimulatorAndLeavesNothingBehind) {
    ScopedTimeScale scale(0.1);
    sim::PtyDevice device;
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    PortServer server;
    const auto started = server.Start(device.Path());
    ASSERT_TRUE(started) << started.error();
    EXPECT_EQ(server.Url(), "rfc2217://127.0.0.1:" + std::to_string(server.Port()));

    // Raw bytes: the server's telnet negotiation first, then the device's reply.
    const int fd = Connect(server.Port());
    ASSERT_GE(fd, 0);
    const std::string command = "ATI4\r";
    ASSERT_EQ(::write(fd, command.data(), command.size()), static_cast<ssize_t>(command.size()));
    const std::string reply = ReadUntil(fd, "OK\r\n");
    EXPECT_EQ(static_cast<unsigned char>(reply.at(0)), 0xFFu) << reply;
    EXPECT_NE(reply.find("VarDex"), std::string::npos) << reply;
    ::close(fd);

    const int port = server.Port();
    server.Stop();
    EXPECT_LT(Connect(port), 0);  // nobody listens any more
    // A second Stop, and the destructor after it, are harmless.
    server.Stop();
}

// A test process that dies without stopping its server takes the server along.
TEST(PortServer, DiesWithTheProcessThatStartedIt) {
    sim::PtyDevice device;
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    // Made here, so that the child's server files land in the folder this
    // process removes.
    TestTempDir::Path();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PortServer server;
        const pid_t pid = server.Start(device.Path()) ? server.Pid() : -1;
        (void)!::write(pipe_fds[1], &pid, sizeof pid);
        ::_exit(0);  // no destructor runs
    }
    ::close(pipe_fds[1]);
    pid_t server = -1;
    ASSERT_EQ(::read(pipe_fds[0], &server, sizeof server), static_cast<ssize_t>(sizeof server));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_GT(server, 0);
    // The server's process descriptor turns readable once it has ended.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, server, 0));
    if (pidfd < 0) {
        EXPECT_EQ(errno, ESRCH);  // already gone
        return;
    }
    pollfd fds{pidfd, POLLIN, 0};
    EXPECT_EQ(::poll(&fds, 1, 5000), 1) << "ser2net " << server << " outlived its test";
    ::close(pidfd);
}

}  // namespace
}  // namespace vardex::test
