#include "job_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string_view>

#include "at_command.h"
#include "cli_job_window.h"
#include "cli_view.h"
#include "command_line.h"
#include "device/comm_progress.h"
#include "device/firmware_upgrade.h"
#include "device/identify.h"
#include "failure.h"
#include "identify_command.h"
#include "link/at_commands.h"
#include "link/tapi_line.h"
#include "params/connection_rules.h"
#include "params/field_table.h"
#include "params/param_rows.h"
#include "params/telephony_rules.h"
#include "platform/unique_fd.h"
#include "port_option.h"
#include "res/strings.h"
#include "settings/backup_store.h"
#include "settings/json_reader.h"
#include "settings/json_text.h"
#include "settings/record_fields.h"
#include "settings/write_path.h"
#include "write_report.h"

using namespace vardex::settings;
using namespace vardex::params;
using namespace vardex::device;

namespace vardex::ctl {
namespace {

// Opens PATH as the search would leave it; true when there is nothing to open.
bool OpenDirect(CDeviceConfig& record, const std::string& port, const char* command,
                std::FILE* err) {
    if (port.empty()) {
        return true;
    }
    const auto opened = OpenPortByPath(record, port);
    if (!opened) {
        TellFailure(Reason::kNoDevice, command, opened.error(), err);
    }
    return opened.has_value();
}

// Runs one job under the terminal window; reports a failure the job left to its
// caller. *in_loader, when given, says whether the job found the device waiting
// in its firmware loader (then said instead of "did not complete").
JobResult RunJob(CVarDexConfigurationManagerApp& app, CliJobWindow& window, int job, bool upgrade,
                 const char* command, std::FILE* err, JobHook hook,
                 UpgradeResult* firmware_result = nullptr, bool* in_loader = nullptr,
                 const std::string& recall = {}) {
    if (!window.Ready()) {
        TellFailure(Reason::kIo, command,
                    std::string("cannot set up the job: ") + std::strerror(window.SetupError()),
                    err);
        return JobResult::kStopped;
    }
    if (hook.started != nullptr) {
        hook.started(&window, hook.context);
    }
    CCommProgress progress(window, app);
    progress.m_strRecall = recall;
    const JobResult result = upgrade ? progress.DoModalUpgrade() : progress.DoModalJob(job);
    if (firmware_result != nullptr) {
        *firmware_result = progress.m_firmwareResult;
    }
    if (result == JobResult::kDone) {
        return result;
    }
    const std::vector<std::string> shown = window.Messages();
    const std::string last = shown.empty() ? std::string() : shown.back();
    Failure failure = JobFailure(app.m_workingRecord, progress, window.Stopped(), last);
    if (upgrade && progress.m_firmwareResult == UpgradeResult::kFileFailed) {
        failure.reason = Reason::kIo;
        failure.error = progress.m_strFileProblem;
    }
    if (in_loader != nullptr) {
        *in_loader = progress.m_bInLoader != 0;
        if (*in_loader) {
            TellJobFailure(failure, command, last, err);
            return result;
        }
    }
    if (progress.m_bQuietEnd == 0 && !upgrade) {
        std::fprintf(err, "%s\n",
                     NotFoundMessage(app.m_workingRecord.Line().PortFailures()).c_str());
    }
    TellJobFailure(failure, command, last, err);
    std::fprintf(err, "vardexctl %s: the job did not complete\n", command);
    return result;
}

// Asks a yes/no question on err; true only for an answer that begins with y.
bool AskedYes(const char* question, std::FILE* in, std::FILE* err) {
    std::fprintf(err, "%s [y/N] ", question);
    std::fflush(err);
    std::string line;
    return ReadInputLine(in, &line) && !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

// The exit status of a job that did not complete.
int FailedJobStatus(bool in_loader) {
    return in_loader ? kExitInLoader : kExitLinkDown;
}

}  // namespace

int RunRead(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const bool json = parsed.Has("--json");
    const std::string names = parsed.Value("--names");
    if (!names.empty() && names != "member" && names != "readable") {
        return TellUsageError(call.command, Reason::kUsage, "--names takes member or readable",
                              err);
    }
    CVarDexConfigurationManagerApp app;
    if (!OpenDirect(app.m_workingRecord, parsed.Value("--port"), "read", err)) {
        return kExitLinkDown;
    }
    CliJobWindow window(in, err);
    bool in_loader = false;
    if (RunJob(app, window, CCommProgress::kJobReadAll, false, "read", err, hook, nullptr,
               &in_loader) != JobResult::kDone) {
        return FailedJobStatus(in_loader);
    }
    const std::string settings =
        json ? RecordJson(app.m_workingRecord,
                          names == "readable" ? Names::kReadable : Names::kMember)
             : RecordText(app.m_workingRecord);
    if (!parsed.Has("--identity")) {
        out << settings;
        return kExitOk;
    }
    // Both from this one opening, so that a caller needing both (the Ansible
    // info module) does not identify the device twice.
    std::ostringstream identity;
    PrintIdentity(app.m_workingRecord, json, identity);
    if (json) {
        const auto line = [](std::string text) {
            while (!text.empty() && text.back() == '\n') {
                text.pop_back();
            }
            return text;
        };
        out << "{\"identity\":" << line(identity.str()) << ",\"settings\":" << line(settings)
            << "}\n";
    } else {
        out << identity.str() << "\n" << settings;
    }
    return kExitOk;
}

namespace {

// A stop the person asked for that no job could act on yet ends the command
// before it sends anything more; kExitOk when there was none.
int StopLeftStatus(const char* command, std::FILE* err) {
    if (!CliJobWindow::TakeStopLeft()) {
        return kExitOk;
    }
    TellFailure(Reason::kStopped, command, "stopped; nothing was written", err);
    return kExitLinkDown;
}

// Opens the port and reads every setting into app's working record, recalling
// stored profile `profile` first when it is 0..3 (so that what is compared is
// what the profile holds); kExitOk, or the status to end with (the failure told).
int ReadForWrite(CVarDexConfigurationManagerApp& app, const std::string& port, const char* command,
                 std::FILE* in, std::FILE* err, JobHook hook, int profile = -1) {
    if (!OpenDirect(app.m_workingRecord, port, command, err)) {
        return kExitLinkDown;
    }
    CliJobWindow reader(in, err);
    bool in_loader = false;
    if (RunJob(app, reader, CCommProgress::kJobReadAll, false, command, err, hook, nullptr,
               &in_loader,
               profile >= 0 && profile <= 3 ? vardex::link::at::RecallProfile(profile)
                                            : std::string()) != JobResult::kDone) {
        std::fprintf(err, "vardexctl %s: nothing was written\n", command);
        return FailedJobStatus(in_loader);
    }
    return StopLeftStatus(command, err);
}

// The write job under the terminal window.
WriteOutcome RunWriteJob(CVarDexConfigurationManagerApp& app, std::FILE* in, std::FILE* err,
                         JobHook hook) {
    CliJobWindow writer(in, err);
    if (!writer.Ready()) {
        WriteOutcome outcome;
        outcome.told = true;
        const std::string why =
            std::string("cannot set up the job: ") + std::strerror(writer.SetupError());
        std::fprintf(err, "vardexctl: %s\n", why.c_str());
        KeepFailure(Reason::kIo, why);
        return outcome;
    }
    if (hook.started != nullptr) {
        hook.started(&writer, hook.context);
    }
    CCommProgress progress(writer, app);
    WriteOutcome outcome = progress.DoModalWrite();
    if (outcome.end == WriteOutcome::End::kNotIdentified) {
        // Identification told the person why; the report names no more than that it failed.
        const std::vector<std::string> shown = writer.Messages();
        const Failure failure = JobFailure(app.m_workingRecord, progress, writer.Stopped(),
                                           shown.empty() ? std::string() : shown.back());
        KeepFailure(failure.reason, failure.error);
    }
    return outcome;
}

// What a refused field or value was wrong in.
Reason FaultReason(FieldFault fault) {
    switch (fault) {
        case FieldFault::kUnknownField:
            return Reason::kUnknownField;
        case FieldFault::kValue:
            return Reason::kOutOfRange;
        case FieldFault::kReadOnly:
            return Reason::kRefused;
        case FieldFault::kForm:
            break;
    }
    return Reason::kUsage;
}

// A --store or --power-up value as the field's assignment; false with *error.
bool ProfileOption(std::string_view option, const std::string& value,
                   std::vector<FieldChange>* changes, std::string* error) {
    const char last = option == "--store" ? '3' : '4';
    if (value.size() != 1 || value[0] < '0' || value[0] > last) {
        *error =
            std::string(option) + " takes a profile number 0.." + last + ", not '" + value + "'";
        return false;
    }
    const char* field = option == "--store" ? "m_nStoreProfile=" : "m_nPowerUpProfile=";
    const auto parsed = ParseAssignment(field + value, changes);
    if (!parsed) {
        *error = parsed.error().text;
    }
    return parsed.has_value();
}

// Reads a settings file into changes; false with *error and its kind.
bool FileChanges(const std::string& path, std::vector<FieldChange>* changes, std::string* error,
                 Reason* reason) {
    const auto text = ReadSettingsFile(path);
    if (!text) {
        *error = "cannot read " + path + ": " + text.error();
        *reason = Reason::kIo;
        return false;
    }
    std::vector<FieldChange> read;
    if (const auto parsed = ParseFieldsJson(*text, &read); !parsed) {
        *error = path + ": " + parsed.error().text;
        *reason = FaultReason(parsed.error().fault);
        return false;
    }
    // A read prints -1 for the profile it stored into (none): no instruction.
    std::erase_if(read, [](const FieldChange& c) {
        const RecordField* f = FindField(c.name);
        return f != nullptr && std::string_view(f->name) == "m_nStoreProfile" &&
               c.value.type == FieldValue::Type::kNumber && c.value.number == -1;
    });
    changes->insert(changes->end(), read.begin(), read.end());
    return true;
}

// A field the checks name by its member name, as the person gave it (by
// either name) among changes.
std::string AsGiven(const std::string& member, const std::vector<FieldChange>& changes) {
    for (const FieldChange& change : changes) {
        const std::string name = change.name.substr(0, change.name.find('['));
        const RecordField* field = FindField(name);
        if (field != nullptr && field->name == member) {
            return name;
        }
    }
    return member;
}

// The differences a write would send: the profile to store into is an
// instruction, not a setting the device holds.
std::vector<ItemChange> SettingChanges(const CDeviceConfig& before, const CDeviceConfig& after) {
    std::vector<ItemChange> changes = Differences(before, after);
    std::erase_if(changes, [](const ItemChange& c) { return c.name == "m_nStoreProfile"; });
    return changes;
}

// Where the settings a command changes are stored.
enum class StoreMode {
    kPowerUp,  // the profile the device loads at power-up (the default)
    kGiven,    // --store N or m_nStoreProfile
    kNone,     // --no-store: the active settings only
};

// The store mode a command's words ask for; false (told) for both at once.
bool StoreModeOf(const ParsedArgs& parsed, const std::vector<FieldChange>& changes, StoreMode* mode,
                 std::string* error) {
    const bool given =
        parsed.Has("--store") || std::any_of(changes.begin(), changes.end(), [](const auto& c) {
            const RecordField* f = FindField(c.name);
            return f != nullptr && std::string_view(f->name) == "m_nStoreProfile";
        });
    if (given && parsed.Has("--no-store")) {
        *error = "--no-store and a profile to store into exclude each other";
        return false;
    }
    *mode = parsed.Has("--no-store") ? StoreMode::kNone
            : given                  ? StoreMode::kGiven
                                     : StoreMode::kPowerUp;
    return true;
}

// What write, apply and restore do alike, and where they differ.
struct WriteSteps {
    const char* command;
    StoreMode store = StoreMode::kPowerUp;
    bool backup = true;
    bool check = false;            // only tell what would change
    bool only_if_changed = false;  // nothing to do when no setting differs
    // Right after the read, with the unit's port: an exit status to stop with.
    std::function<std::optional<int>(const CDeviceConfig& as_read, const std::string& port)>
        check_device = {};
    // Between the differences and the write: an exit status to stop with.
    std::function<std::optional<int>(const std::vector<ItemChange>& differences)> confirm = {};
};

struct WriteRun {
    int status = kExitOk;
    std::vector<ItemChange> differences;
    std::optional<settings::WriteReport> report;  // when a write was tried
};

// The one pipeline of write, apply and restore: read, take the changes, choose
// the profile to store into, check the variant's rules, then the core's write
// path (backup, write, verify, report), told on err.
WriteRun ReadAndWrite(std::vector<FieldChange>& changes, const std::string& port,
                      const WriteSteps& steps, std::FILE* in, std::FILE* err, JobHook hook) {
    WriteRun run;
    CVarDexConfigurationManagerApp app;
    // A profile given to store into is what the changes are held against: it
    // is recalled before the read, so a second run finds nothing to change.
    int profile = -1;
    if (steps.store == StoreMode::kGiven) {
        CDeviceConfig scratch;
        ApplyChanges(changes, &scratch);
        profile = scratch.m_nStoreProfile - 1;
    }
    if ((run.status = ReadForWrite(app, port, steps.command, in, err, hook, profile)) != kExitOk) {
        return run;
    }
    CDeviceConfig as_read;
    as_read.CopyFrom(app.m_workingRecord);
    if (steps.check_device) {
        if (const auto status =
                steps.check_device(as_read, settings::UnitPort(app.m_workingRecord))) {
            run.status = *status;
            return run;
        }
    }
    CDeviceConfig& wanted = app.m_workingRecord;
    ApplyChanges(changes, &wanted);
    run.differences = SettingChanges(as_read, wanted);
    if (steps.store != StoreMode::kGiven) {
        const bool setting_changed =
            std::any_of(run.differences.begin(), run.differences.end(), [](const ItemChange& c) {
                const RecordField* f = FindField(c.name.substr(0, c.name.find('[')));
                return f != nullptr && f->change == ChangeKind::kSetting;
            });
        wanted.m_nStoreProfile = 0;
        // Opening the port resets the device to its power-up profile: a
        // setting not stored there is gone at the next connection.
        if (steps.store == StoreMode::kPowerUp && setting_changed) {
            if (wanted.m_nPowerUpProfile > 3) {
                TellFailure(Reason::kUsage, steps.command,
                            "the varDex starts with its factory defaults, which cannot be stored "
                            "into: give --store N (and --power-up N to start with it), or "
                            "--no-store for the active settings only",
                            err);
                std::fprintf(err, "vardexctl %s: nothing was written\n", steps.command);
                run.status = kExitUsage;
                return run;
            }
            wanted.m_nStoreProfile = wanted.m_nPowerUpProfile + 1;
        }
    }
    if (const auto refused = settings::FindNotAllowed(as_read, wanted)) {
        TellFailure(refused->limits ? Reason::kOutOfRange : Reason::kRefused, steps.command,
                    AsGiven(refused->field, changes) + ": " + refused->why, err);
        std::fprintf(err, "vardexctl %s: nothing was written\n", steps.command);
        run.status = kExitUsage;
        return run;
    }
    if (steps.check || (steps.only_if_changed && run.differences.empty())) {
        return run;
    }
    if (steps.confirm) {
        if (const auto status = steps.confirm(run.differences)) {
            run.status = *status;
            return run;
        }
    }
    if ((run.status = StopLeftStatus(steps.command, err)) != kExitOk) {
        return run;
    }
    run.report =
        settings::WriteSettings(app, steps.backup, [&] { return RunWriteJob(app, in, err, hook); });
    const settings::WriteReport& report = *run.report;
    if (!report.backup_path.empty()) {
        std::fprintf(err, "vardexctl %s: backup kept in %s\n", steps.command,
                     report.backup_path.c_str());
    }
    PrintReport(report, steps.command, err);
    using Failure = settings::WriteReport::Failure;
    if (report.Done()) {
        run.status = kExitOk;
        return run;
    }
    if (report.failure == Failure::kNotAllowed) {
        run.status = kExitUsage;
    } else if (report.failure == Failure::kNotIdentified) {
        run.status = FailedJobStatus(report.in_loader);
    } else {
        run.status = kExitLinkDown;
    }
    KeepFailure(ReportReason(report), ReportError(report));
    return run;
}

std::string DifferencesJson(const std::vector<ItemChange>& differences) {
    std::string json = "{";
    for (std::size_t i = 0; i < differences.size(); ++i) {
        const ItemChange& c = differences[i];
        json += (i ? "," : "") + JsonString(c.name) + ":{\"before\":" + c.before +
                ",\"after\":" + c.after + "}";
    }
    return json + "}";
}

// The members of a write's JSON object: whether the device changed, and the report.
std::string WriteJsonMembers(const WriteRun& run, bool check) {
    const bool changed =
        check ? !run.differences.empty() : run.report.has_value() && run.report->AnyApplied();
    std::string json = std::string("\"changed\":") + (changed ? "true" : "false") +
                       ",\"changes\":" + DifferencesJson(run.differences);
    if (run.report) {
        json += "," + ReportJsonMembers(*run.report);
    }
    return json;
}

// Prints the write's JSON object; a failed write's is its failure's report,
// printed where every failure is.
void PrintWriteJson(const WriteRun& run, bool check, std::ostream& out) {
    if (run.status == kExitOk) {
        out << "{" << WriteJsonMembers(run, check) << "}\n";
    } else if (run.report) {
        KeepFailureReport(WriteJsonMembers(run, check));
    }
}

}  // namespace

int RunWrite(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    // Everything is checked before the device hears a word, in the order given.
    std::vector<FieldChange> changes;
    std::string error;
    Reason reason = Reason::kUsage;
    for (const ParsedArgs::Item& item : parsed.Items()) {
        const std::string_view option = item.option != nullptr ? item.option->name : "";
        if (option == "--store" || option == "--power-up") {
            if (!ProfileOption(option, item.text, &changes, &error)) {
                return TellUsageError(spec, Reason::kUsage, error, err);
            }
        } else if (option == "--from") {
            if (!FileChanges(item.text, &changes, &error, &reason)) {
                return TellUsageError(spec, reason, error, err);
            }
        } else if (item.option == nullptr) {
            if (const auto word = ParseAssignment(item.text, &changes); !word) {
                return TellUsageError(spec, FaultReason(word.error().fault), word.error().text,
                                      err);
            }
        }
    }
    WriteSteps steps{.command = "write", .backup = !parsed.Has("--no-backup")};
    if (!StoreModeOf(parsed, changes, &steps.store, &error)) {
        return TellUsageError(spec, Reason::kUsage, error, err);
    }
    const WriteRun run = ReadAndWrite(changes, parsed.Value("--port"), steps, in, err, hook);
    if (parsed.Has("--json") && run.report) {
        PrintWriteJson(run, false, out);
    } else if (run.status == kExitOk) {
        out << "written\n";
    }
    return run.status;
}

namespace {

// The settings file a command takes as its operand, as changes; the exit
// status when the command is not to go on (--help, a usage error, a bad file).
std::optional<int> ReadSettingsOperand(const CommandCall& call, std::ostream& out, std::FILE* err,
                                       std::vector<FieldChange>* changes) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    std::string error;
    Reason reason = Reason::kUsage;
    if (parsed.Operands().empty()) {
        error = "no settings file given";
    } else if (FileChanges(parsed.Operands().front(), changes, &error, &reason)) {
        return std::nullopt;
    }
    return TellUsageError(call.command, reason, error, err);
}

void PrintDifferences(const std::vector<ItemChange>& differences, std::ostream& out) {
    for (const ItemChange& c : differences) {
        out << c.name << ": " << c.before << " -> " << c.after << "\n";
    }
}

}  // namespace

int RunDiff(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook) {
    const ParsedArgs& parsed = call.parsed;
    std::vector<FieldChange> changes;
    if (const std::optional<int> status = ReadSettingsOperand(call, out, err, &changes)) {
        return *status;
    }
    CVarDexConfigurationManagerApp app;
    CDeviceConfig& record = app.m_workingRecord;
    if (!OpenDirect(record, parsed.Value("--port"), "diff", err)) {
        return kExitDiffFailed;
    }
    CliJobWindow reader(in, err);
    bool in_loader = false;
    if (RunJob(app, reader, CCommProgress::kJobReadAll, false, "diff", err, hook, nullptr,
               &in_loader) != JobResult::kDone) {
        return in_loader ? kExitInLoader : kExitDiffFailed;
    }
    CDeviceConfig wanted;
    wanted.CopyFrom(record);
    ApplyChanges(changes, &wanted);
    const std::vector<ItemChange> differences = SettingChanges(record, wanted);
    PrintDifferences(differences, out);
    return differences.empty() ? kExitOk : kExitDiffers;
}

int RunApply(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    std::vector<FieldChange> changes;
    if (const std::optional<int> status = ReadSettingsOperand(call, out, err, &changes)) {
        return *status;
    }
    std::string error;
    WriteSteps steps{.command = "apply",
                     .backup = !parsed.Has("--no-backup"),
                     .check = parsed.Has("--check"),
                     .only_if_changed = true};
    if ((parsed.Has("--store") &&
         !ProfileOption("--store", parsed.Value("--store"), &changes, &error)) ||
        !StoreModeOf(parsed, changes, &steps.store, &error)) {
        return TellUsageError(spec, Reason::kUsage, error, err);
    }
    const WriteRun run = ReadAndWrite(changes, parsed.Value("--port"), steps, in, err, hook);
    if (parsed.Has("--json")) {
        PrintWriteJson(run, steps.check, out);
        return run.status;
    }
    if (run.status != kExitOk) {
        return run.status;
    }
    PrintDifferences(run.differences, out);
    out << (run.differences.empty() ? "unchanged\n" : steps.check ? "would change\n" : "changed\n");
    return kExitOk;
}

int RunRestore(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
               JobHook hook) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    std::string error;
    const auto listed = settings::ListBackups();
    if (!listed) {
        TellFailure(Reason::kIo, "restore", listed.error(), err);
        std::fprintf(err, "vardexctl restore: nothing was written\n");
        return kExitLinkDown;
    }
    const std::vector<settings::Backup>& backups = *listed;
    // A number picks a kept backup (1 the newest written); anything else is a
    // file; nothing, the newest of this unit, known once it is read.
    const std::vector<std::string> operands = parsed.Operands();
    std::string path = operands.empty() ? std::string() : operands.front();
    if (!path.empty() && path.find_first_not_of("0123456789") == std::string::npos) {
        const unsigned long n = path.size() <= 4 ? std::stoul(path) : 0;
        if (n < 1 || n > backups.size()) {
            return TellUsageError(spec, Reason::kUsage,
                                  "no backup " + path + " (vardexctl backups lists " +
                                      std::to_string(backups.size()) + ")",
                                  err);
        }
        path = backups[n - 1].path;
    }
    std::vector<FieldChange> changes;
    WriteSteps steps{
        .command = "restore", .backup = !parsed.Has("--no-backup"), .only_if_changed = true};
    Reason reason = Reason::kUsage;
    if ((!path.empty() && !FileChanges(path, &changes, &error, &reason)) ||
        (parsed.Has("--store") &&
         !ProfileOption("--store", parsed.Value("--store"), &changes, &error)) ||
        !StoreModeOf(parsed, changes, &steps.store, &error)) {
        return TellUsageError(spec, reason, error, err);
    }
    const bool force = parsed.Has("--force");
    const bool yes = parsed.Has("--yes");
    steps.check_device = [&](const CDeviceConfig& record,
                             const std::string& port) -> std::optional<int> {
        if (path.empty()) {
            for (const settings::Backup& backup : backups) {
                if (settings::SameUnit(backup, record, port) && !backup.port.empty()) {
                    path = backup.path;
                    break;
                }
            }
            std::vector<FieldChange> file;
            Reason file_reason = Reason::kUsage;
            if (path.empty() || !FileChanges(path, &file, &error, &file_reason)) {
                TellFailure(
                    file_reason, "restore",
                    path.empty() ? "no backup of the varDex on " + port + " is kept" : error, err);
                std::fprintf(err, "vardexctl restore: nothing was written\n");
                return kExitUsage;
            }
            changes.insert(changes.begin(), file.begin(), file.end());
        }
        // Another unit's settings would give this one its numbers; another
        // variant's would mean other things, or be refused half way.
        const settings::Backup origin = settings::DescribeBackup(path);
        if (!settings::SameUnit(origin, record, port) && !force) {
            settings::Backup self;
            self.port = port;
            self.country = record.m_strCountry;
            self.model = record.m_wModelVersion;
            self.firmware = record.m_wFirmwareVersion;
            self.crc = record.m_strCrc;
            TellFailure(Reason::kRefused, "restore",
                        path + " was read from " + settings::DescribeUnit(origin) + "; this is " +
                            settings::DescribeUnit(self),
                        err);
            std::fprintf(err,
                         "vardexctl restore: nothing was written (--force restores it all the "
                         "same)\n");
            return kExitUsage;
        }
        return std::nullopt;
    };
    steps.confirm = [&](const std::vector<ItemChange>& differences) -> std::optional<int> {
        PrintDifferences(differences, out);
        out.flush();
        if (!yes && !AskedYes("Restore these settings?", in, err)) {
            std::fprintf(err, "vardexctl restore: nothing was written\n");
            KeepFailure(Reason::kStopped, "the restore was not confirmed; nothing was written");
            return kExitLinkDown;
        }
        return std::nullopt;
    };
    const WriteRun run = ReadAndWrite(changes, parsed.Value("--port"), steps, in, err, hook);
    if (run.status == kExitOk) {
        out << (run.report ? "restored\n" : "unchanged\n");
    }
    return run.status;
}

namespace {

// Keeps the settings as read before an upgrade; false (told) when they could
// not be kept, and then nothing may be sent.
bool KeepBackup(const CDeviceConfig& as_read, const std::string& port, const char* command,
                std::FILE* err) {
    const auto kept = settings::KeepBackup(as_read, port);
    if (!kept) {
        std::string reason = kept.error();
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        TellFailure(Reason::kIo, command, reason, err);
        std::fprintf(err, "vardexctl %s: --no-backup upgrades without one\n", command);
        return false;
    }
    std::fprintf(err, "vardexctl %s: backup kept in %s\n", command, kept->c_str());
    return true;
}

}  // namespace

int RunUpgrade(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
               JobHook hook) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const bool yes = parsed.Has("--yes");
    const std::vector<std::string> operands = parsed.Operands();
    if (operands.empty()) {
        return TellUsageError(spec, Reason::kUsage, "no image file given", err);
    }
    const std::string& file = operands.front();
    // A file that cannot be an image is refused before the port is even opened;
    // the job checks it again when it reads it.
    if (const auto image = LoadFirmwareImage(file); !image) {
        TellFailure(Reason::kIo, "upgrade", image.error(), err);
        return kExitLinkDown;
    }
    std::fprintf(err, "%s\n", std::string(res::LoadString(res::IDS_UPGRADE_WARNING)).c_str());
    if (!yes && !AskedYes("Continue?", in, err)) {
        std::fprintf(err, "vardexctl upgrade: not started\n");
        KeepFailure(Reason::kStopped, "the upgrade was not confirmed; not started");
        return kExitLinkDown;
    }

    CVarDexConfigurationManagerApp app;
    if (!OpenDirect(app.m_workingRecord, parsed.Value("--port"), "upgrade", err)) {
        return kExitLinkDown;
    }
    // Where the operator keeps upgrades, the device is left alone, as the
    // program's Upgrade button does. The channel stays open for the job; a device
    // already in its loader has no country to tell and is upgraded.
    {
        CliJobView view(in, err);
        view.SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
        const IdentifyResult identified = IdentifyDevice(&view, &app);
        view.Finish();
        if (identified != IdentifyResult::kIdentified && identified != IdentifyResult::kInLoader) {
            TellJobFailure(JobFailure(app.m_workingRecord, view, false, view.LastMessage()),
                           "upgrade", view.LastMessage(), err);
            std::fprintf(err, "vardexctl upgrade: no varDex was identified\n");
            return kExitLinkDown;
        }
        if (identified == IdentifyResult::kIdentified &&
            vardex::params::VariantOf(app.m_workingRecord).UpgradeKeptForOperator()) {
            std::fprintf(err, "%s\n", std::string(res::kTextOperatorOnlyUpgrade).c_str());
            KeepFailure(Reason::kRefused, std::string(res::kTextOperatorOnlyUpgrade));
            return kExitLinkDown;
        }
        // A device in its loader has no settings to keep.
        if (identified == IdentifyResult::kIdentified && !parsed.Has("--no-backup")) {
            CliJobWindow reader(in, err);
            bool in_loader = false;
            if (RunJob(app, reader, CCommProgress::kJobReadAll, false, "upgrade", err, hook,
                       nullptr, &in_loader) != JobResult::kDone) {
                std::fprintf(err, "vardexctl upgrade: not started\n");
                return FailedJobStatus(in_loader);
            }
            if (!KeepBackup(app.m_workingRecord, settings::UnitPort(app.m_workingRecord), "upgrade",
                            err)) {
                return kExitLinkDown;
            }
        }
    }
    CliJobWindow window(in, err);
    window.SetImageFile(file);
    UpgradeResult firmware = UpgradeResult::kStopped;
    bool in_loader = false;
    if (RunJob(app, window, 0, true, "upgrade", err, hook, &firmware, &in_loader) !=
        JobResult::kDone) {
        if (firmware == UpgradeResult::kDone) {
            std::fprintf(err,
                         "vardexctl upgrade: the new firmware was sent and the device restarted, "
                         "but its settings could not be read back\n");
        }
        return FailedJobStatus(in_loader);
    }
    out << "upgraded: software version "
        << CDeviceConfig::FormatVersion(app.m_workingRecord.m_wFirmwareVersion) << "\n";
    return kExitOk;
}

}  // namespace vardex::ctl
