// Runs a test's waits at another speed and puts the old factor back afterwards.
#pragma once

#include "platform/vtime.h"

namespace vardex::test {

// The fastest a test may run that waits for a device's answer within the
// protocol's read time-outs: the exchange's 250 ms become 50 ms, more than a
// loaded machine keeps a ready thread from running. At 1/20, under load, the
// pseudo-terminal's answer came after the time-out now and then; at 1/5 it
// still does now and then with every core kept busy besides and twice as many
// tests as cores (scripts/flake-check.sh), but twice as slow a scale doubles
// the design-timing pass, whose exchanges wait out their time-outs.
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
