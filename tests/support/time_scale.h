// Runs a test's waits at another speed and puts the old factor back afterwards.
#pragma once

#include "platform/vtime.h"

namespace vardex::test {

class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double factor) : old_(TimeScale()) { SetTimeScale(factor); }
    ~ScopedTimeScale() { SetTimeScale(old_); }
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    double old_;
};

// Milliseconds since a time point, for bounds that catch hangs and early returns.
inline long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace vardex::test
