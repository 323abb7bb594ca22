#include "port_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "temp_files.h"

using namespace vardex::platform;

namespace vardex::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kStopLimit = std::chrono::seconds(2);
constexpr int kWatchMs = 5;   // how often the socket table is looked at while starting
constexpr int kAttempts = 3;  // another program may take the free port first

bool Executable(const fs::path& path) {
    return ::access(path.c_str(), X_OK) == 0 && !fs::is_directory(path);
}

// A port on 127.0.0.1 that nothing listens on now. The socket is closed before
// the server binds it; Start tries again when someone else was quicker.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

int OpenPidFd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// Waits up to limit for the child to end; true once it was reaped.
bool Reap(pid_t pid, int pidfd, std::chrono::milliseconds limit) {
    pollfd fds{pidfd, POLLIN, 0};
    // Without a process descriptor (an old kernel), only the time passes.
    ::poll(pidfd >= 0 ? &fds : nullptr, pidfd >= 0 ? 1 : 0, static_cast<int>(limit.count()));
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

PortServer::~PortServer() {
    Stop();
}

std::string PortServer::FindProgram() {
    std::vector<fs::path> places;
    if (const char* path = ::getenv("PATH")) {
        std::istringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            if (!dir.empty()) {
                places.push_back(fs::path(dir) / "ser2net");
            }
        }
    }
    // Debian installs it under sbin, which an ordinary user's PATH leaves out.
    places.emplace_back("/usr/sbin/ser2net");
    places.emplace_back("/usr/local/sbin/ser2net");
    for (const fs::path& place : places) {
        if (Executable(place)) {
            return place.string();
        }
    }
    return {};
}

std::string PortServer::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(port_);
}

std::string PortServer::Log() const {
    std::ifstream in(fs::path(dir_) / "server.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Expected<void> PortServer::Start(const std::string& device, bool tuned) {
    Stop();
    const std::string program = FindProgram();
    if (program.empty()) {
        return Unexpected{"ser2net is not installed (looked on PATH and in /usr/sbin)"};
    }
    // In the test's own folder, so that it goes with the test even when the
    // process that started the server dies without stopping it.
    std::string pattern = TempPath("ser2net-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        return Unexpected{"cannot make a temporary directory"};
    }
    dir_ = pattern;
    const std::string config = dir_ + "/ser2net.yaml";
    const std::string pidfile = dir_ + "/ser2net.pid";
    const std::string log = dir_ + "/server.log";
    std::string why;  // the last attempt's failure

    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        port_ = FreePort();
        {
            // "local": a pseudo-terminal has no modem lines to wait for or set.
            // nodelay: a reply longer than the server's 64-byte buffer leaves in
            // two segments, and Nagle would hold the second until the first is
            // acknowledged (a delayed acknowledgement: up to 40 ms). chardelay
            // holds every chunk from the device for a millisecond or more, which
            // a transfer that waits for each block's answer pays every block.
            std::ofstream out(config);
            out << "connection: &vardex\n"
                << "  accepter: telnet(rfc2217)," << (tuned ? "tcp(nodelay=true)" : "tcp")
                << ",127.0.0.1," << port_ << "\n"
                << "  connector: serialdev," << device << ",115200n81,local\n"
                << "  options:\n"
                << "    mdns: false\n";
            if (tuned) {
                out << "    chardelay: false\n";
            }
        }
        // Everything the child needs is made before fork: after it, only calls
        // that are safe in a copy of a threaded process.
        std::vector<std::string> args = {program, "-n", "-u", "-c", config, "-P", pidfile};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid < 0) {
            return Unexpected{"cannot start ser2net"};
        }
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);
            }
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
                ::dup2(out, 2) < 0) {
                ::_exit(127);
            }
            // No descriptor of the test (a pseudo-terminal's master above all)
            // may live on in the server: a hang-up must reach it.
            ::syscall(SYS_close_range, 3u, ~0u, 0u);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        pid_ = pid;
        const int pidfd = OpenPidFd(pid);
        const auto deadline = Clock::now() + kStartLimit;
        bool exited = false;
        while (Clock::now() < deadline) {
            if (Listening()) {
                if (pidfd >= 0) {
                    ::close(pidfd);
                }
                return {};
            }
            if (Reap(pid, pidfd, std::chrono::milliseconds(kWatchMs))) {
                exited = true;
                break;
            }
        }
        if (pidfd >= 0) {
            ::close(pidfd);
        }
        if (exited) {
            pid_ = -1;
            why = "ser2net ended at once: " + Log();
            Stop();
            return Unexpected{why};
        }
        // It runs but does not listen: the port was taken in the meantime.
        why = "ser2net did not listen on 127.0.0.1: " + Log();
        Kill();
    }
    Stop();
    return Unexpected{why};
}

bool PortServer::Listening() const {
    // The listening socket's inode from the kernel's table, then whether the
    // server holds it (and not some other program that took the port).
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", static_cast<unsigned>(port_));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::string inode;
    while (std::getline(table, line)) {
        // "  0: 0100007F:80E9 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 12345
        // ..."
        std::istringstream words(line);
        std::string slot, address, remote, state, queues, timer, retransmits, uid, timeout, node;
        if (words >> slot >> address >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> node &&
            address == local && state == "0A") {
            inode = node;
            break;
        }
    }
    if (inode.empty()) {
        return false;
    }
    const std::string wanted = "socket:[" + inode + "]";
    std::error_code ec;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid_) + "/fd", ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code link_ec;
        if (fs::read_symlink(it->path(), link_ec).string() == wanted) {
            return true;
        }
    }
    return false;
}

void PortServer::Stop() {
    Kill();
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        dir_.clear();
    }
}

void PortServer::Kill() {
    if (pid_ > 0) {
        const int pidfd = OpenPidFd(pid_);
        ::kill(pid_, SIGTERM);
        if (!Reap(pid_, pidfd, kStopLimit)) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (pidfd >= 0) {
            ::close(pidfd);
        }
        pid_ = -1;
    }
}

}  // namespace vardex::test
