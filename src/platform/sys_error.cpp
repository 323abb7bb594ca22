#include "sys_error.h"

#include <cerrno>
#include <cstring>

namespace vardex::platform {

std::string SysError::Message() const {
    if (code == 0) {
        return {};
    }
    std::string text = step;
    if (!text.empty()) {
        text += ": ";
    }
    if (!detail.empty()) {
        return text + detail;
    }
    char buffer[256] = {};
    // The GNU variant returns a pointer that may or may not be the buffer.
    const char* message = strerror_r(code, buffer, sizeof buffer);
    text += message;
    return text;
}

SysError SysError::FromErrno(std::string step) {
    return SysError{errno, std::move(step)};
}

}  // namespace vardex::platform
