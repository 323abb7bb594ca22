#include "file_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vardex::platform {

bool WriteAll(int fd, std::string_view bytes) {
    // send() first: it alone can keep SIGPIPE away, and it says when fd is no
    // socket.
    bool socket = true;
    while (!bytes.empty()) {
        const ssize_t n = socket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                 : ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && socket && errno == ENOTSOCK) {
            socket = false;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd room{fd, POLLOUT, 0};
            (void)::poll(&room, 1, -1);
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace vardex::platform
