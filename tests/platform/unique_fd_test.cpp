#include "platform/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace vardex {
namespace {

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, MoveHandsOverAndTheLastOwnerClosesOnce) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd write_end(fds[1]);
    int read_fd = -1;
    {
        UniqueFd first(fds[0]);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(first.get(), -1);
        UniqueFd third;
        third = std::move(second);
        EXPECT_FALSE(second.valid());
        ASSERT_TRUE(third);
        read_fd = third.get();
        EXPECT_EQ(read_fd, fds[0]);
        // The emptied owners go first; they must not touch the descriptor.
    }
    EXPECT_FALSE(IsOpen(read_fd));
    // The write end, never moved, is still open: nothing above closed it twice.
    EXPECT_TRUE(IsOpen(write_end.get()));
    const int kept = write_end.release();
    EXPECT_FALSE(write_end);
    EXPECT_TRUE(IsOpen(kept));
    write_end.reset(kept);
}

TEST(UniqueFd, ResetAndCloseCloseTheDescriptorHeld) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd owner(fds[0]);
    owner.reset(fds[1]);
    EXPECT_FALSE(IsOpen(fds[0]));
    EXPECT_EQ(owner.get(), fds[1]);
    EXPECT_TRUE(IsOpen(fds[1]));
    EXPECT_TRUE(owner.close());
    EXPECT_FALSE(IsOpen(fds[1]));
    EXPECT_FALSE(owner);
    EXPECT_TRUE(owner.close());  // nothing left to close
}

}  // namespace
}  // namespace vardex
