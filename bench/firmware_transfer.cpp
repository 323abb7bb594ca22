// The firmware transfer's throughput beside lrzsz's sx: both send the same
// image to the same receiver (lrzsz's rx behind socat's pseudo-terminal), one
// after the other in this run. Prints bytes per second and their ratio.
//
// Both are timed from the first block to the moment the receiver has the whole
// file and exits: ours from its first progress text (shown just before block
// 1; the device-specific wake-up exchange before it is left out), sx from its
// start. The receiver's own pause after EOT counts for both.
//
//   bench_firmware_transfer [BYTES]     (default 100000)
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/firmware_upgrade.h"
#include "link/tapi_line.h"
#include "platform/unique_fd.h"
#include "platform/vtime.h"
#include "scripted_job_view.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

extern char** environ;

namespace {

struct Child {
    pid_t pid = -1;
    vardex::platform::UniqueFd err;  // the read end of its standard error
};

Child Spawn(const std::vector<std::string>& argv, const std::string& dir, int in = -1,
            int out = -1) {
    vardex::platform::UniqueFd pipe_fds[2];
    Child child;
    if (!vardex::platform::OpenPipe(pipe_fds, O_CLOEXEC)) {
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1].get(), 2);
    if (in >= 0) {
        posix_spawn_file_actions_adddup2(&actions, in, 0);
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    }
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    if (::posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    pipe_fds[1].reset();  // the child's copy is its own
    child.err = std::move(pipe_fds[0]);
    return child;
}

// The pseudo-terminal socat reports on standard error ("PTY is /dev/pts/N").
std::string PtyOf(const Child& socat) {
    std::string text;
    for (;;) {
        const auto at = text.find("PTY is ");
        const auto eol = at == std::string::npos ? at : text.find('\n', at);
        if (eol != std::string::npos) {
            return text.substr(at + 7, eol - at - 7);
        }
        pollfd fd{socat.err.get(), POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (::poll(&fd, 1, 10000) <= 0 ||
            (n = ::read(socat.err.get(), buffer, sizeof buffer)) <= 0) {
            return {};
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WaitExit(pid_t pid, int limit_ms) {
    const vardex::platform::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (pidfd) {
        pollfd fd{pidfd.get(), POLLIN, 0};
        ::poll(&fd, 1, limit_ms);
    }
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

double Seconds(vardex::platform::Clock::time_point start, vardex::platform::Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

// Notes when the first progress text appears: the first block follows at once.
class TimedView : public vardex::test::ScriptedJobView {
public:
    void SetStatusText(const std::string& text) override {
        if (status_texts.empty()) {
            first = vardex::platform::Clock::now();
        }
        ScriptedJobView::SetStatusText(text);
    }
    vardex::platform::Clock::time_point first{};
};

std::size_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::size_t>(in.tellg()) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    vardex::platform::SetTimeScale(1.0);  // the receiver keeps real time
    char dir_template[] = "/tmp/vardex-bench-XXXXXX";
    const std::string dir = ::mkdtemp(dir_template);
    const std::string image = dir + "/image.img";
    {
        std::ofstream out(image, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) {
            out.put(static_cast<char>((i * 13 + 5) & 0xFF));
        }
    }
    const std::size_t expected = size + (128 - size % 128);

    // Ours: the transfer phase alone, timed from the wake-up bytes to the
    // answer to EOT.
    Child socat = Spawn({"socat", "-d", "-d", "pty,raw,echo=0", "EXEC:rx -b -q ours.bin"}, dir);
    const std::string pty = PtyOf(socat);
    CDeviceConfig port;
    if (pty.empty() || port.Line().OpenPort(pty, kLineBaud) != OpenResult::kOk) {
        std::fprintf(stderr, "cannot open the receiver's pseudo-terminal\n");
        return 1;
    }
    TimedView view;
    vardex::platform::Clock::time_point received{};
    std::thread watcher([&] {
        WaitExit(socat.pid, 120000);
        received = vardex::platform::Clock::now();
    });
    const auto bytes = LoadFirmwareImage(image);
    if (!bytes) {
        std::fprintf(stderr, "%s\n", bytes.error().c_str());
        return 1;
    }
    const bool sent = SendFirmwareImage(&view, port, *bytes) == UpgradeResult::kDone;
    watcher.join();
    port.Close();
    const double ours = Seconds(view.first, received);

    // sx on the same kind of pair, timed from its start to its end.
    Child socat2 = Spawn({"socat", "-d", "-d", "pty,raw,echo=0", "EXEC:rx -b -q sx.bin"}, dir);
    const std::string pty2 = PtyOf(socat2);
    vardex::platform::UniqueFd fd(::open(pty2.c_str(), O_RDWR | O_NOCTTY));
    const auto start = vardex::platform::Clock::now();
    Child sx = Spawn({"sx", "-b", "-q", image}, dir, fd.get(), fd.get());
    WaitExit(socat2.pid, 120000);
    const double theirs = Seconds(start, vardex::platform::Clock::now());
    WaitExit(sx.pid, 20000);
    fd.reset();

    const std::size_t got_ours = FileSize(dir + "/ours.bin");
    const std::size_t got_sx = FileSize(dir + "/sx.bin");
    const double ours_bps = static_cast<double>(size) / ours;
    const double sx_bps = static_cast<double>(size) / theirs;
    std::printf("image %zu bytes; receiver rx (checksum) behind socat pty\n", size);
    std::printf("ours  %8.3f s %10.0f bytes/s  %s, received %zu of %zu\n", ours, ours_bps,
                sent ? "sent" : "not sent", got_ours, expected);
    std::printf("sx    %8.3f s %10.0f bytes/s  received %zu\n", theirs, sx_bps, got_sx);
    std::printf("ratio ours/sx bytes per second: %.3f (goal >= 1.0)\n", ours_bps / sx_bps);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
