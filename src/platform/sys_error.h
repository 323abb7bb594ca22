// One place that turns an OS error into the program's words: the failed step and
// the system's own message travel together.
#pragma once

#include <string>
#include <utility>

namespace vardex::platform {

struct SysError {
    SysError() = default;
    SysError(int error_code, std::string failed_step, std::string words = {})
        : code(error_code), step(std::move(failed_step)), detail(std::move(words)) {}

    int code = 0;      // errno of the failed call, 0 when none
    std::string step;  // what was being done, e.g. "open", "read line settings"
    // The system's own words when they are not errno's (a name lookup's), else empty.
    std::string detail;

    bool Failed() const { return code != 0; }
    // "<step>: <strerror(code)>" (or the detail instead of strerror), or "" when
    // nothing failed.
    std::string Message() const;
    static SysError FromErrno(std::string step);
};

}  // namespace vardex::platform
