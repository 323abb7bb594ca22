#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/environment.h"

namespace vardex::platform {
namespace {

struct TraceSink {
    std::mutex mutex;
    FILE* file = nullptr;
    bool owns_file = false;
    bool capture = false;
    std::string captured;

    TraceSink() {
        const char* target = std::getenv(vardex::platform::env::kTrace);
        if (target == nullptr || *target == '\0' || std::strcmp(target, "0") == 0) {
            return;
        }
        if (std::strcmp(target, "1") == 0 || std::strcmp(target, "stderr") == 0) {
            file = stderr;
        } else {
            file = std::fopen(target, "ae");
            owns_file = file != nullptr;
        }
    }
    ~TraceSink() {
        if (owns_file) {
            std::fclose(file);
        }
    }
};

TraceSink& Sink() {
    static TraceSink sink;
    return sink;
}

}  // namespace

bool TraceEnabled() {
    TraceSink& sink = Sink();
    std::lock_guard lock(sink.mutex);
    return sink.file != nullptr || sink.capture;
}

void Trace(const char* format, ...) {
    TraceSink& sink = Sink();
    std::lock_guard lock(sink.mutex);
    if (sink.file == nullptr && !sink.capture) {
        return;
    }
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (sink.capture) {
        sink.captured += text;
        return;
    }
    std::fputs(text, sink.file);
    std::fflush(sink.file);
}

void CaptureTraces(bool on) {
    TraceSink& sink = Sink();
    std::lock_guard lock(sink.mutex);
    sink.capture = on;
    sink.captured.clear();
}

std::string CapturedTraces() {
    TraceSink& sink = Sink();
    std::lock_guard lock(sink.mutex);
    return sink.captured;
}

}  // namespace vardex::platform
