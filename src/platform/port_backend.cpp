#include "port_backend.h"

#include <cerrno>
#include <ctime>

namespace vardex::platform {

int PollUntil(pollfd* fds, nfds_t count, const PortTimePoint* deadline) {
    if (deadline == nullptr) {
        return ::ppoll(fds, count, nullptr, nullptr);
    }
    auto left = *deadline - Clock::now();
    if (left < Clock::duration::zero()) {
        left = Clock::duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ::ppoll(fds, count, &timeout, nullptr);
}

bool WaitReady(int fd, short events, int extra_fd, const PortCancel& cancel,
               const PortTimePoint* deadline, bool* stop, SysError* error) {
    *stop = false;
    if (deadline != nullptr && Clock::now() >= *deadline) {
        *stop = true;
        return true;
    }
    pollfd fds[3] = {{fd, events, 0}, {cancel.wake_fd, POLLIN, 0}, {extra_fd, POLLIN, 0}};
    if (PollUntil(fds, 3, deadline) < 0 && errno != EINTR) {
        *error = SysError::FromErrno("poll");
        return false;
    }
    *stop = cancel.cancelled->load();
    return true;
}

}  // namespace vardex::platform
