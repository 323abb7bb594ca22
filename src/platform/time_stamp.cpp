#include "time_stamp.h"

#include <cstdio>
#include <ctime>

namespace vardex::platform {

std::string TimeStamp(std::chrono::system_clock::time_point when, const char* format,
                      StampZone zone) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
        1000;
    std::tm parts{};
    if (zone == StampZone::kUtc) {
        ::gmtime_r(&seconds, &parts);
    } else {
        ::localtime_r(&seconds, &parts);
    }
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &parts);
    char with_millis[16];
    std::snprintf(with_millis, sizeof with_millis, ".%03d", static_cast<int>(millis));
    return std::string(text, length) + with_millis;
}

}  // namespace vardex::platform
