#include "stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

using namespace vardex::platform;

namespace vardex::ctl {
namespace {

// What the handler may touch: lock-free atomics only.
std::atomic<int> g_write_fd{-1};
std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnSessionStopSignal(int signal_number) {
    const int saved_errno = errno;
    int none = 0;
    g_caught.compare_exchange_strong(none, signal_number);
    const int fd = g_write_fd.load();
    if (fd >= 0) {
        // Non-blocking: a full pipe already says all there is to say.
        const char byte = static_cast<char>(signal_number);
        (void)!::write(fd, &byte, 1);
    }
    errno = saved_errno;
}

}  // namespace

StopSignals::StopSignals() {
    if (!OpenPipe(pipe_, O_CLOEXEC | O_NONBLOCK)) {
        return;
    }
    g_caught.store(0);
    g_write_fd.store(pipe_[1].get());
    struct sigaction action {};
    action.sa_handler = OnSessionStopSignal;
    // Interrupted calls go on: the loop learns of the signal from the pipe.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kCaught); ++i) {
        ::sigaction(kCaught[i], &action, &previous_[i]);
    }
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &action, &previous_pipe_);
}

StopSignals::~StopSignals() {
    if (!Ok()) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kCaught); ++i) {
        ::sigaction(kCaught[i], &previous_[i], nullptr);
    }
    ::sigaction(SIGPIPE, &previous_pipe_, nullptr);
    g_write_fd.store(-1);  // before the pipe closes, after the body
}

int StopSignals::Caught() {
    return g_caught.load();
}

void StopSignals::Drain() const {
    char bytes[16];
    while (Ok() && ::read(pipe_[0].get(), bytes, sizeof bytes) > 0) {
    }
}

}  // namespace vardex::ctl
