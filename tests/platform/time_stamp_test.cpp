#include "platform/time_stamp.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace vardex::platform;

namespace vardex {
namespace {

TEST(TimeStamp, MillisecondsAreCutNotRoundedAndAlwaysThreeDigits) {
    // 2026-12-10 05:28:22 UTC.
    const std::chrono::system_clock::time_point second{std::chrono::seconds(1796880502)};
    const std::chrono::milliseconds last{999};
    EXPECT_EQ(TimeStamp(second + last, "%Y%m%dT%H%M%S", StampZone::kUtc), "20261210T052822.999");
    EXPECT_EQ(TimeStamp(second + std::chrono::milliseconds(7), "%H:%M:%S", StampZone::kUtc),
              "05:28:22.007");
}

}  // namespace
}  // namespace vardex
