#include "write_report.h"

#include <sstream>

#include "settings/json_text.h"

using namespace vardex::settings;
using namespace vardex::params;

namespace vardex::ctl {
namespace {

using settings::Fate;
using settings::FieldResult;
using settings::WriteReport;

// Applied now, but a reset brings back what the profile holds.
bool ActiveNotStored(const FieldResult& result, const WriteReport& report) {
    return result.fate == Fate::kApplied && report.failure == WriteReport::Failure::kNotStored &&
           result.field != nullptr && result.field->change == ChangeKind::kSetting;
}

std::string OrNull(const std::string& json) {
    return json.empty() ? "null" : json;
}

}  // namespace

std::string DescribeResult(const FieldResult& result, const WriteReport& report) {
    std::string line = result.name + "=" + result.wanted + ": ";
    line += ActiveNotStored(result, report) ? "active, not stored"
                                            : std::string(settings::FateWord(result.fate));
    if (!result.held.empty() && result.fate == Fate::kRefused) {
        line += ", the device holds " + result.held;
    }
    if (!result.why.empty()) {
        line += " (" + result.why + ")";
    }
    return line;
}

void PrintReport(const WriteReport& report, const char* command, std::FILE* err) {
    const auto say = [&](const std::string& text) {
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::fprintf(err, "vardexctl %s: %s\n", command, line.c_str());
        }
    };
    if (report.failure == WriteReport::Failure::kNotAllowed) {
        say(report.refused_field + ": " + report.reason);
    } else {
        say(settings::Headline(report));
    }
    for (const FieldResult& result : report.fields) {
        if (report.failure != WriteReport::Failure::kNone || result.fate != Fate::kApplied) {
            say(DescribeResult(result, report));
        }
    }
    if (report.NothingSent()) {
        say("nothing was written");
    } else if (report.failure == WriteReport::Failure::kNone) {
        say(settings::SummaryLine(report));
        if (report.store_profile < 0) {
            say("the next connection to the varDex (which resets it) brings back what its "
                "power-up profile holds");
        }
    }
}

std::string ReportJsonMembers(const WriteReport& report) {
    std::string json = "\"fields\":[";
    for (std::size_t i = 0; i < report.fields.size(); ++i) {
        const FieldResult& r = report.fields[i];
        json += std::string(i ? "," : "") + "{\"name\":" + JsonString(r.name) +
                ",\"readable\":" + JsonString(r.readable) + ",\"before\":" + r.before +
                ",\"wanted\":" + r.wanted + ",\"held\":" + OrNull(r.held) + ",\"fate\":" +
                JsonString(ActiveNotStored(r, report) ? "active, not stored"
                                                      : std::string(settings::FateWord(r.fate))) +
                ",\"why\":" + (r.why.empty() ? "null" : JsonString(r.why)) + "}";
    }
    json += "],\"stored\":" + std::string(report.stored ? "true" : "false");
    json += ",\"profile\":" +
            (report.store_profile >= 0 ? std::to_string(report.store_profile) : "null");
    json += ",\"power_up\":" + std::to_string(report.power_up_profile);
    json += ",\"backup\":" + (report.backup_path.empty() ? "null" : JsonString(report.backup_path));
    json += ",\"error\":" + (report.failure == WriteReport::Failure::kNone && report.Done()
                                 ? std::string("null")
                                 : JsonString(ReportError(report)));
    return json;
}

std::string ReportError(const WriteReport& report) {
    std::string error = report.failure == WriteReport::Failure::kNotAllowed
                            ? report.refused_field + ": " + report.reason
                            : report.reason;
    if (error.empty() && report.failure != WriteReport::Failure::kNone) {
        error = report.in_loader ? "the varDex waits in its firmware loader"
                                 : "no varDex was identified";
    }
    return error.empty() ? "the device did not take every value" : error;
}

Reason ReportReason(const WriteReport& report) {
    using F = WriteReport::Failure;
    switch (report.failure) {
        case F::kNone:  // values the device did not take
        case F::kNotAllowed:
            return Reason::kRefused;
        case F::kNoBackup:
            return Reason::kIo;
        case F::kNotIdentified:
            return report.in_loader ? Reason::kInLoader : Reason::kNoDevice;
        case F::kStopped:
            return Reason::kStopped;
        case F::kLinkLost:
            return Reason::kDeviceLost;
        case F::kUnreadable:
            return Reason::kBadReply;
        case F::kNoAnswer:
            return Reason::kTimeout;
        case F::kNotStored:
            return Reason::kNotStored;
    }
    return Reason::kRefused;
}

}  // namespace vardex::ctl
