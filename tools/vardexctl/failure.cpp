#include "failure.h"

#include <algorithm>
#include <iostream>

#include "at_command.h"
#include "command_line.h"
#include "device/identify.h"
#include "link/device_list.h"
#include "link/port_problems.h"
#include "link/tapi_line.h"
#include "params/device_config.h"
#include "params/running_job.h"
#include "res/strings.h"
#include "settings/json_text.h"

using namespace vardex::settings;
using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::ctl {
namespace {

struct ReasonName {
    Reason reason;
    std::string_view word;
};

constexpr ReasonName kReasonWords[] = {
    {Reason::kUsage, "usage"},
    {Reason::kUnknownField, "unknown-field"},
    {Reason::kOutOfRange, "out-of-range"},
    {Reason::kRefused, "refused"},
    {Reason::kNoDevice, "no-device"},
    {Reason::kInLoader, "in-loader"},
    {Reason::kDeviceLost, "device-lost"},
    {Reason::kTimeout, "timeout"},
    {Reason::kBadReply, "bad-reply"},
    {Reason::kNotStored, "not-stored"},
    {Reason::kStopped, "stopped"},
    {Reason::kIo, "io"},
    {Reason::kTestFailed, "test-failed"},
};

// The running command's failure: commands run one at a time, on the main thread.
Failure g_failure;

// Every port the search or --port tried on which nothing named itself a
// varDex, and the ports it could not open: "no varDex answered on PATH".
std::string NoVarDexOn(CDeviceConfig& record) {
    const std::vector<PortFailure>& failures = record.Line().PortFailures();
    std::vector<std::string> silent;
    for (const DeviceEntry& row : record.Line().Devices()) {
        const bool failed =
            std::any_of(failures.begin(), failures.end(),
                        [&row](const PortFailure& f) { return f.path == row.path; });
        if (!row.path.empty() && !failed && !ReplyNamesVarDex(row.reply) &&
            std::find(silent.begin(), silent.end(), row.path) == silent.end()) {
            silent.push_back(row.path);
        }
    }
    std::string text;
    for (const std::string& path : silent) {
        text += (text.empty() ? "no varDex answered on " : ", ") + path;
    }
    std::string problems = DescribePortFailures(failures);
    for (std::size_t at; (at = problems.find("\n\n")) != std::string::npos;) {
        problems.replace(at, 2, "; ");
    }
    if (!problems.empty()) {
        text += (text.empty() ? "" : "; ") + problems;
    }
    return text;
}

}  // namespace

std::string_view ReasonWord(Reason reason) {
    for (const ReasonName& name : kReasonWords) {
        if (name.reason == reason) {
            return name.word;
        }
    }
    return "usage";
}

void KeepFailure(Reason reason, std::string error) {
    if (!g_failure.kept) {
        g_failure.reason = reason;
        g_failure.error = std::move(error);
        g_failure.kept = true;
    }
}

void TellFailure(Reason reason, std::string_view command, const std::string& error,
                 std::FILE* err) {
    std::fprintf(err, "vardexctl %.*s: %s\n", static_cast<int>(command.size()), command.data(),
                 error.c_str());
    KeepFailure(reason, error);
}

void TellFailure(Reason reason, std::string_view command, const std::string& error,
                 std::ostream& err) {
    err << "vardexctl " << command << ": " << error << "\n";
    KeepFailure(reason, error);
}

void KeepFailureReport(std::string members) {
    g_failure.report = std::move(members);
}

void FailureInOutput() {
    g_failure.in_output = true;
}

Failure TakeFailure() {
    return std::exchange(g_failure, Failure{});
}

std::string FailureJson(const Failure& failure, int status) {
    const std::string tail = "\"reason\":" + JsonString(ReasonWord(failure.reason)) +
                             ",\"status\":" + std::to_string(status) + "}\n";
    if (!failure.report.empty()) {
        return "{" + failure.report + "," + tail;
    }
    return "{\"error\":" + JsonString(failure.error) + "," + tail;
}

Failure JobFailure(CDeviceConfig& record, const CRunningJob& job, bool stopped,
                   const std::string& last_message) {
    Failure failure;
    failure.kept = true;
    const auto as = [&failure](Reason reason, std::string error) {
        failure.reason = reason;
        failure.error = std::move(error);
        return failure;
    };
    if (job.m_bInLoader != 0) {
        return as(Reason::kInLoader, kLoaderAdvice);
    }
    if (stopped) {
        return as(Reason::kStopped, "the job was stopped");
    }
    if (record.Line().LinkLost()) {
        return as(Reason::kDeviceLost,
                  last_message.empty() ? std::string(res::kTextJobDeviceVanished) : last_message);
    }
    if (!job.m_strUnreadCommand.empty()) {
        return as(Reason::kBadReply,
                  last_message.empty() ? UnreadableMessage(job.m_strUnreadCommand) : last_message);
    }
    // A row that got no answer at all leaves the telling to the caller; the
    // identity shows that the device had answered before.
    if (job.m_bQuietEnd == 0 && record.m_wModelVersion != 0) {
        return as(Reason::kTimeout, "the varDex stopped answering");
    }
    // The search's own message lists what to check, not where it looked.
    if (last_message.empty() || last_message == NotFoundMessage(record.Line().PortFailures())) {
        const std::string silent = NoVarDexOn(record);
        return as(Reason::kNoDevice, silent.empty() ? "no varDex was found" : silent);
    }
    return as(Reason::kNoDevice, last_message);
}

void TellJobFailure(const Failure& failure, std::string_view command,
                    const std::string& last_message, std::FILE* err) {
    if (failure.error == last_message) {
        KeepFailure(failure.reason, failure.error);
    } else {
        TellFailure(failure.reason, command, failure.error, err);
    }
}

int RunCommand(const CommandSpec& command, const std::vector<std::string>& args) {
    TakeFailure();
    const CommandCall call = CallWith(command, args);
    const int status = command.run(call);
    Failure failure = TakeFailure();
    if (status == kExitOk || failure.in_output || !call.parsed.Has("--json")) {
        return status;
    }
    if (!failure.kept) {
        // Every way a command fails keeps its cause; should one not, the
        // status's own meaning is the most that can be said.
        failure.reason = status == kExitUsage      ? Reason::kUsage
                         : status == kExitInLoader ? Reason::kInLoader
                                                   : Reason::kStopped;
        failure.error = "vardexctl " + std::string(command.name) + ": the job did not complete";
    }
    std::cout << FailureJson(failure, status) << std::flush;
    return status;
}

}  // namespace vardex::ctl
