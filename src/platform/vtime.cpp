#include "vtime.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/environment.h"

namespace vardex::platform {
namespace {

double ReadScaleFromEnvironment() {
    const char* text = std::getenv(vardex::platform::env::kTimeScale);
    if (text == nullptr || *text == '\0') {
        return 1.0;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
        return 1.0;
    }
    return value;
}

std::atomic<double>& ScaleSlot() {
    static std::atomic<double> slot{ReadScaleFromEnvironment()};
    return slot;
}

}  // namespace

double TimeScale() {
    return ScaleSlot().load(std::memory_order_relaxed);
}

void SetTimeScale(double factor) {
    if (std::isfinite(factor) && factor > 0.0) {
        ScaleSlot().store(factor, std::memory_order_relaxed);
    }
}

std::chrono::microseconds ScaledMs(std::int64_t ms) {
    if (ms <= 0) {
        return std::chrono::microseconds(0);
    }
    const double us = static_cast<double>(ms) * 1000.0 * TimeScale();
    return std::chrono::microseconds(static_cast<std::int64_t>(std::llround(us)));
}

std::chrono::microseconds ScaledAnswerMs(std::int64_t ms) {
    const std::chrono::microseconds floor(std::chrono::milliseconds(std::min(ms, kAnswerFloorMs)));
    return std::max(ScaledMs(ms), floor);
}

void SleepMs(std::int64_t ms) {
    std::this_thread::sleep_for(ScaledMs(ms));
}

}  // namespace vardex::platform
