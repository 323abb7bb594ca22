#include "platform/expected.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

using namespace vardex::platform;

namespace vardex {
namespace {

// A text and the reason for having none are both strings: neither may pass
// for the other.
TEST(Expected, AValueAndAReasonOfOneTypeStayApart) {
    const Expected<std::string> value = std::string("COM1");
    const Expected<std::string> failure = Unexpected{"no such port"};
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, "COM1");
    ASSERT_FALSE(failure);
    EXPECT_EQ(failure.error(), "no such port");
    EXPECT_EQ(failure.value_or("none"), "none");
    EXPECT_THROW((void)failure.value(), std::bad_variant_access);
}

TEST(Expected, NothingToReturnSucceedsUnlessGivenAReason) {
    const Expected<void> done;
    EXPECT_TRUE(done);
    const Expected<void> failed = Unexpected{"port busy"};
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "port busy");
}

}  // namespace
}  // namespace vardex
