// Time stamps to the millisecond, as backups name themselves and traces mark
// their lines.
#pragma once

#include <chrono>
#include <string>

namespace vardex::platform {

enum class StampZone { kUtc, kLocal };

// strftime's format of when, read in zone, then "." and the milliseconds in
// three digits: "%H:%M:%S" gives "05:28:22.123".
std::string TimeStamp(std::chrono::system_clock::time_point when, const char* format,
                      StampZone zone);

}  // namespace vardex::platform
