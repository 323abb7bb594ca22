// Why a command failed, for a program: with --json a failed command prints one
// object on standard output, {"error": what the person read, "reason": the kind
// of failure as one stable word, "status": the exit status}, while standard
// error keeps the person's text. The handlers keep the failure where they tell
// it; RunCommand prints it, the one place that sees every command end.
#pragma once

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vardex::params {
class CDeviceConfig;
class CRunningJob;
}  // namespace vardex::params

namespace vardex::ctl {

struct CommandSpec;

enum class Reason {
    kUsage,         // the words or a settings file's form: nothing was sent
    kUnknownField,  // a field name no field has
    kOutOfRange,    // a value its field does not take: its limits, length or characters
    kRefused,       // the device's variant, or the device, does not take a change
    kNoDevice,      // no varDex answered, or its port could not be opened
    kInLoader,      // the varDex waits in its firmware loader
    kDeviceLost,    // the device went away during the job
    kTimeout,       // the device stopped answering
    kBadReply,      // an answer could not be read, also when asked again
    kNotStored,     // the settings are active, but the device did not confirm storing them
    kStopped,       // the person, a signal or an answer stopped it
    kIo,            // a file (a backup, a settings file, an image) could not be used
    kTestFailed,    // selftest: a test found a fault
};

// The word a program reads: "usage", "unknown-field", ...
std::string_view ReasonWord(Reason reason);

// Keeps why the running command fails. The first kept is the cause; what is
// said after it (nothing was written, the job did not complete) follows from it.
void KeepFailure(Reason reason, std::string error);
// Says "vardexctl COMMAND: error" on err and keeps it.
void TellFailure(Reason reason, std::string_view command, const std::string& error, std::FILE* err);
void TellFailure(Reason reason, std::string_view command, const std::string& error,
                 std::ostream& err);
// A command's own report of its failure, the members of its JSON object with
// "error" among them: printed instead of the plain object, reason and status added.
void KeepFailureReport(std::string members);
// The command's output already tells its failures (one value per device or per
// command line): nothing is added to it.
void FailureInOutput();

struct Failure {
    Reason reason = Reason::kUsage;
    std::string error;
    std::string report;  // KeepFailureReport's members; empty without
    bool kept = false;
    bool in_output = false;
};
// The failure kept since the last call, which forgets it.
Failure TakeFailure();
// The one object --json prints for a command that ended with status.
std::string FailureJson(const Failure& failure, int status);

// Why a device job (or an identification) that did not complete failed, from
// what it left: the loader, a stop, the link, an unreadable answer, silence, or
// no varDex at all. last_message is the last the job showed the person.
Failure JobFailure(params::CDeviceConfig& record, const params::CRunningJob& job, bool stopped,
                   const std::string& last_message);

// Tells a JobFailure on err, unless it is the message the job showed last, and keeps it.
void TellJobFailure(const Failure& failure, std::string_view command,
                    const std::string& last_message, std::FILE* err);

// Runs a subcommand of the table with the program's streams, handing its
// handler the row and the words parsed by it; when it fails and its words hold
// --json, prints its failure on standard output.
int RunCommand(const CommandSpec& command, const std::vector<std::string>& args);

}  // namespace vardex::ctl
