// WriteAll as its callers lean on it: a trace printer on a non-blocking pipe,
// the simulator answering a control client that may have gone.
#include "platform/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

using namespace vardex::platform;

namespace vardex {
namespace {

TEST(WriteAll, AFullNonBlockingPipeIsWaitedForAndEveryByteArrivesInOrder) {
    UniqueFd ends[2];
    ASSERT_TRUE(OpenPipe(ends, O_CLOEXEC));
    ASSERT_EQ(::fcntl(ends[1].get(), F_SETFL, O_NONBLOCK), 0);
    // Many times what the pipe holds: writes come back short, then with EAGAIN.
    const int capacity = ::fcntl(ends[1].get(), F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    std::string sent(static_cast<std::size_t>(capacity) * 8 + 123, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>(i % 251);
    }
    std::string received;
    std::thread reader([&] {
        char buffer[1000];
        ssize_t n = 0;
        while ((n = ::read(ends[0].get(), buffer, sizeof buffer)) > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const bool written = WriteAll(ends[1].get(), sent);
    ends[1].reset();
    reader.join();
    EXPECT_TRUE(written);
    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
}

TEST(WriteAll, ASocketWhosePeerWentFailsWithoutSigpipe) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    const UniqueFd ours(fds[0]);
    ::close(fds[1]);
    // SIGPIPE would end this test program here.
    EXPECT_FALSE(WriteAll(ours.get(), "ok\n"));
    EXPECT_EQ(errno, EPIPE);
}

}  // namespace
}  // namespace vardex
