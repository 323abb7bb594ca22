// Runs a test's waits at another speed and puts the old factor back afterwards.
#pragma once

#include "platform/vtime.h"

namespace vardex::test {

// The scale of the tests that talk to a device: the exchange's 250 ms become
// 50 ms. The wait for an answer's first byte keeps its real length (see
// ScaledAnswerMs), so a loaded machine only slows such a test down; a slower
// scale would double the design-timing pass, whose exchanges wait out their
// time-outs.
inline constexpr double kAnswerScale = 0.2;

class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double factor) : old_(platform::TimeScale()) {
        platform::SetTimeScale(factor);
    }
    ~ScopedTimeScale() { platform::SetTimeScale(old_); }
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    double old_;
};

// Milliseconds since a time point, for bounds that catch hangs and early returns.
inline long long MsSince(platform::Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(platform::Clock::now() - start)
        .count();
}

}  // namespace vardex::test
