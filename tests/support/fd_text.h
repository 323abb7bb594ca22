// Reading a descriptor in a test: what a child process or a peer writes.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace vardex::test {

// Reads from fd until text ends with `end`, EOF, or the limit.
inline std::string ReadUntil(int fd, std::string_view end,
                             std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!text.ends_with(end)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fds{fd, POLLIN, 0};
        if (::poll(&fds, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace vardex::test
