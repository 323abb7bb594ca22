#include "platform/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

using namespace vardex::platform;

namespace vardex {
namespace {

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, MoveHandsOverAndTheLastOwnerClosesOnce) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd write_end(fds[1]);
    UniqueFd assigned;
    {
        UniqueFd source(fds[0]);
        assigned = std::move(source);
        EXPECT_FALSE(source);  // NOLINT(clang-analyzer-cplusplus.Move): what is tested
    }
    // The emptied source went first; what it handed on is still open.
    ASSERT_TRUE(IsOpen(assigned.get()));
    const int read_fd = assigned.get();
    {
        const UniqueFd constructed(std::move(assigned));
        EXPECT_EQ(assigned.get(), -1);  // NOLINT(clang-analyzer-cplusplus.Move): what is tested
        EXPECT_EQ(constructed.get(), read_fd);
    }
    EXPECT_FALSE(IsOpen(read_fd));
    // The number is free again and likely reused at once: the emptied owner
    // must not close the descriptor that now has it.
    int again[2];
    ASSERT_EQ(::pipe(again), 0);
    const UniqueFd again_read(again[0]);
    const UniqueFd again_write(again[1]);
    assigned.reset();
    EXPECT_TRUE(IsOpen(again[0]));
    EXPECT_TRUE(IsOpen(again[1]));

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
