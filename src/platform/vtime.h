// The one place where waits are measured. VARDEX_TIME_SCALE (default 1) multiplies
// every sleep and time-out of the program so that tests and demonstrations can run
// the device's long waits faster; nothing else reads it.
#pragma once

#include <chrono>
#include <cstdint>

namespace vardex::platform {

using Clock = std::chrono::steady_clock;

// The factor read once from VARDEX_TIME_SCALE; values that are not a positive
// number fall back to 1.
double TimeScale();

// Overrides the factor for the rest of the process (tests set it before any wait).
void SetTimeScale(double factor);

// A design-time duration in milliseconds, scaled.
std::chrono::microseconds ScaledMs(std::int64_t ms);

// A wait for the other side's answer (its first byte, or the rest of an answer
// a caller is owed): scaled like any time-out, but never shorter in real time
// than the unscaled wait or kAnswerFloorMs, whichever is less. A scale shortens
// the protocol's waits, not the time a simulated device or a busy machine takes
// to answer.
inline constexpr std::int64_t kAnswerFloorMs = 250;
std::chrono::microseconds ScaledAnswerMs(std::int64_t ms);

// Sleeps for a design-time duration. Blocks for ms * TimeScale().
void SleepMs(std::int64_t ms);

}  // namespace vardex::platform
