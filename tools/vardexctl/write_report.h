// How vardexctl tells a write's report (settings/write_path.h): a line per
// value on standard error, and the same as JSON for --json.
#pragma once

#include <cstdio>
#include <string>

#include "failure.h"
#include "settings/write_path.h"

namespace vardex::ctl {

// One line: "m_bClip=1: refused, the device holds 0", "m_nTei=9: not sent (why)".
std::string DescribeResult(const settings::FieldResult& result,
                           const settings::WriteReport& report);

// The report on err, each line behind "vardexctl COMMAND: ": the failure's
// reason, then the values (after a complete write only those not applied),
// then the summary of a write that went through.
void PrintReport(const settings::WriteReport& report, const char* command, std::FILE* err);

// The report's members for a JSON object (no braces): "fields" (one object per
// value: name, readable, before, wanted, held, fate, why), "stored", "profile",
// "power_up", "backup" and "error".
std::string ReportJsonMembers(const settings::WriteReport& report);

// What a write that was not done failed of, as its "error" says it, and its kind.
std::string ReportError(const settings::WriteReport& report);
Reason ReportReason(const settings::WriteReport& report);

}  // namespace vardex::ctl
