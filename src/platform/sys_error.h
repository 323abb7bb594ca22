// One place that turns an OS error into the program's words: the failed step and
// the system's own message travel together.
#pragma once

#include <string>

namespace vardex {

struct SysError {
    int code = 0;      // errno of the failed call, 0 when none
    std::string step;  // what was being done, e.g. "open", "read line settings"

    bool Failed() const { return code != 0; }
    // "<step>: <strerror(code)>", or "" when nothing failed.
    std::string Message() const;
    static SysError FromErrno(std::string step);
};

}  // namespace vardex
