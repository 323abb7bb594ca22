// Diagnostic traces of the device link and the telephony code. Off by default:
// VARDEX_TRACE=1 (or "stderr") writes them to standard error, any other value
// names a file to append them to.
#pragma once

#include <string>

namespace vardex::platform {

bool TraceEnabled();
// printf-style; the text is written as one piece, prefixed with a time stamp.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// For tests: collect the traces in memory instead (empty target: back to the
// environment's choice).
void CaptureTraces(bool on);
std::string CapturedTraces();

}  // namespace vardex::platform
