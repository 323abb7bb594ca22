// Writing to a descriptor as every caller wants it: all of it, or a failure.
#pragma once

#include <string_view>

namespace vardex::platform {

// Writes the whole of bytes to fd. Goes on after a signal, after a short write
// and, on a descriptor that does not block, after a full buffer (waiting for
// room). A socket is written with MSG_NOSIGNAL, so that a peer gone is a
// failure rather than SIGPIPE. False with errno set when a write fails.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes);

}  // namespace vardex::platform
