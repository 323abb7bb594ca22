#include "job_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "at_command.h"
#include "cli_job_window.h"
#include "cli_view.h"
#include "command_table.h"
#include "device/comm_progress.h"
#include "device/firmware_upgrade.h"
#include "device/identify.h"
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
#include "write_report.h"

namespace vardex::ctl {
namespace {

// The row number of the write job's fault message, -1 without one.
int FaultRow(const std::vector<std::string>& messages) {
    const std::string_view format = res::kTextFaultsDetectedFormat;
    const std::string_view prefix = format.substr(0, format.find('%'));
    for (const std::string& message : messages) {
        if (message.size() > prefix.size() && message.compare(0, prefix.size(), prefix) == 0) {
            return std::atoi(message.c_str() + prefix.size());
        }
    }
    return -1;
}

// Opens PATH as the search would leave it; true when there is nothing to open.
bool OpenDirect(CDeviceConfig& record, const std::string& port, const char* command,
                std::FILE* err) {
    std::string why;
    if (port.empty() || OpenPortByPath(record, port, &why)) {
        return true;
    }
    std::fprintf(err, "vardexctl %s: %s\n", command, why.c_str());
    return false;
}

// Runs one job under the terminal window; reports a failure the job left to its
// caller. *in_loader, when given, says whether the job found the device waiting
// in its firmware loader (then said instead of "did not complete"); *write how
// far a write job got.
JobResult RunJob(CVarDexConfigurationManagerApp& app, CliJobWindow& window, int job, bool upgrade,
                 const char* command, std::FILE* err, JobHook hook,
                 UpgradeResult* firmware_result = nullptr, bool* in_loader = nullptr,
                 WriteProgress* write = nullptr) {
    if (!window.Ready()) {
        std::fprintf(err, "vardexctl %s: cannot set up the job: %s\n", command,
                     std::strerror(window.SetupError()));
        return JobResult::kStopped;
    }
    if (hook.started != nullptr) {
        hook.started(&window, hook.context);
    }
    CCommProgress progress(window, app);
    const JobResult result = upgrade ? progress.DoModalUpgrade() : progress.DoModalJob(job);
    if (firmware_result != nullptr) {
        *firmware_result = progress.m_firmwareResult;
    }
    if (write != nullptr) {
        write->rows_done = progress.m_nRowsDone;
        write->profile_not_stored = progress.m_nProfileNotStored;
    }
    if (in_loader != nullptr) {
        *in_loader = result != JobResult::kDone && progress.m_bInLoader != 0;
        if (*in_loader) {
            std::fprintf(err, "vardexctl %s: %s\n", command, kLoaderAdvice);
            return result;
        }
    }
    if (result != JobResult::kDone) {
        if (progress.m_bQuietEnd == 0 && !upgrade) {
            std::fprintf(err, "%s\n",
                         NotFoundMessage(app.m_workingRecord.Line().PortFailures()).c_str());
        }
        std::fprintf(err, "vardexctl %s: the job did not complete\n", command);
    }
    return result;
}

// The exit status of a job that did not complete.
int FailedJobStatus(bool in_loader) {
    return in_loader ? kExitInLoader : kExitLinkDown;
}

}  // namespace

int RunRead(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook) {
    const ParsedArgs parsed = ParseArgs(CommandNamed("read"), args);
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const bool json = parsed.Has("--json");
    const std::string names = parsed.Value("--names");
    if (!names.empty() && names != "member" && names != "readable") {
        std::fputs(UsageError(CommandNamed("read"), "--names takes member or readable").c_str(),
                   err);
        return kExitUsage;
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
    out << (json ? RecordJson(app.m_workingRecord,
                              names == "readable" ? Names::kReadable : Names::kMember)
                 : RecordText(app.m_workingRecord));
    return kExitOk;
}

namespace {

// Opens the port and reads every setting into app's working record; kExitOk, or
// the status to end with (the failure told).
int ReadForWrite(CVarDexConfigurationManagerApp& app, const std::string& port, const char* command,
                 std::FILE* in, std::FILE* err, JobHook hook) {
    if (!OpenDirect(app.m_workingRecord, port, command, err)) {
        return kExitLinkDown;
    }
    CliJobWindow reader(in, err);
    bool in_loader = false;
    if (RunJob(app, reader, CCommProgress::kJobReadAll, false, command, err, hook, nullptr,
               &in_loader) != JobResult::kDone) {
        std::fprintf(err, "vardexctl %s: nothing was written\n", command);
        return FailedJobStatus(in_loader);
    }
    return kExitOk;
}

// Keeps the settings as read before a write; false (told) when they could not
// be kept, and then nothing may be sent.
bool KeepBackup(const CDeviceConfig& as_read, bool wanted, const char* command, std::FILE* err) {
    if (!wanted) {
        return true;
    }
    std::string path;
    std::string why;
    if (!settings::SaveBackup(as_read, &path, &why)) {
        std::fprintf(err,
                     "vardexctl %s: cannot keep a backup of the settings: %s\n"
                     "vardexctl %s: nothing was written (--no-backup writes without one)\n",
                     command, why.c_str(), command);
        return false;
    }
    std::fprintf(err, "vardexctl %s: backup kept in %s\n", command, path.c_str());
    return true;
}

// The variant's checks of the wanted record against the one read; kExitOk or
// kExitUsage (told).
int CheckChanges(const CDeviceConfig& as_read, const CDeviceConfig& record, const char* command,
                 std::FILE* err) {
    // The country is known only now; the device still has heard no setting.
    std::string refused_field;
    std::string refused_why;
    if (const RecordField* locked = FindUnchangeable(as_read, record)) {
        refused_field = locked->name;
        refused_why = WhyUnchangeable(*locked, record);
    } else if (const auto breach = vardex::params::FindTelephonyBreach(as_read, record)) {
        refused_field = breach->field;
        refused_why = breach->why.empty() ? res::FormatLimits(breach->lo, breach->hi) : breach->why;
    } else if (const auto c = vardex::params::FindConnectionBreach(as_read, record)) {
        refused_field = c->field;
        refused_why = c->why;
    }
    if (!refused_field.empty()) {
        std::fprintf(err, "vardexctl %s: %s: %s\nvardexctl %s: nothing was written\n", command,
                     refused_field.c_str(), refused_why.c_str(), command);
        return kExitUsage;
    }
    return kExitOk;
}

// Writes app's working record (the wanted settings) to the device, whose
// settings as read are as_read, and tells what the device did not take.
int WriteWanted(CVarDexConfigurationManagerApp& app, const CDeviceConfig& as_read,
                const char* command, std::FILE* in, std::FILE* err, JobHook hook) {
    CDeviceConfig& record = app.m_workingRecord;
    const std::vector<SettableItem> before = SettableItems(as_read);
    const std::vector<SettableItem> wanted = SettableItems(record);

    CliJobWindow writer(in, err);
    WriteProgress progress;
    bool in_loader = false;
    progress.completed = RunJob(app, writer, CCommProgress::kJobWriteAll, false, command, err, hook,
                                nullptr, &in_loader, &progress) == JobResult::kDone;
    progress.fault_row = FaultRow(writer.Messages());
    if (progress.completed && NeedsReadBack(before, wanted)) {
        // The restrictions are the one setting the job sends without reading it
        // back; without this a refused one would pass for written.
        CRunningJob probe;
        progress.unconfirmed_read_back =
            RunRow(*QueryRowOf(Row::kRestrictions), &probe, &app, 0) == PARAM_OK;
    }

    bool all_applied = true;
    std::vector<std::string> lines;
    for (const ItemOutcome& outcome : JudgeWrite(before, wanted, record, progress)) {
        all_applied = all_applied && outcome.fate == ItemOutcome::Fate::kApplied;
        // After a complete write only what went wrong is worth a line.
        if (!progress.completed || outcome.fate != ItemOutcome::Fate::kApplied) {
            lines.push_back(DescribeOutcome(outcome));
        }
    }
    if (progress.completed && progress.fault_row >= 0 && all_applied) {
        // A fault no requested value shows (a reply that could not be taken
        // as a value, a setting changed behind the program's back).
        lines.push_back("the device reported a fault in setting row " +
                        std::to_string(progress.fault_row) + " that no requested value shows");
        all_applied = false;
    }
    for (const std::string& line : lines) {
        std::fprintf(err, "vardexctl %s: %s\n", command, line.c_str());
    }
    if (!progress.completed) {
        return FailedJobStatus(in_loader);
    }
    if (!all_applied) {
        std::fprintf(err, "vardexctl %s: the device did not take every value\n", command);
        return kExitLinkDown;
    }
    return kExitOk;
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
    return ParseAssignment(field + value, changes, error);
}

// Reads a settings file into changes; false with *error.
bool FileChanges(const std::string& path, std::vector<FieldChange>* changes, std::string* error) {
    std::string text;
    if (!ReadSettingsFile(path, &text, error)) {
        *error = "cannot read " + path + ": " + *error;
        return false;
    }
    if (!ParseFieldsJson(text, changes, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

// The differences a write would send: the profile to store into is an
// instruction, not a setting the device holds.
std::vector<ItemChange> SettingChanges(const CDeviceConfig& before, const CDeviceConfig& after) {
    std::vector<ItemChange> changes = Differences(before, after);
    std::erase_if(changes, [](const ItemChange& c) { return c.name == "m_nStoreProfile"; });
    return changes;
}

}  // namespace

int RunWrite(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook) {
    const CommandSpec& spec = CommandNamed("write");
    const ParsedArgs parsed = ParseArgs(spec, args);
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const auto fail = [&](const std::string& why) {
        std::fputs(UsageError(spec, why).c_str(), err);
        return kExitUsage;
    };
    // Everything is checked before the device hears a word, in the order given.
    std::vector<FieldChange> changes;
    std::string error;
    for (const ParsedArgs::Item& item : parsed.Items()) {
        const std::string_view option = item.option != nullptr ? item.option->name : "";
        if (option == "--store" || option == "--power-up") {
            if (!ProfileOption(option, item.text, &changes, &error)) {
                return fail(error);
            }
        } else if (option == "--from") {
            if (!FileChanges(item.text, &changes, &error)) {
                return fail(error);
            }
        } else if (item.option == nullptr && !ParseAssignment(item.text, &changes, &error)) {
            return fail(error);
        }
    }

    CVarDexConfigurationManagerApp app;
    if (const int status = ReadForWrite(app, parsed.Value("--port"), "write", in, err, hook)) {
        return status;
    }
    CDeviceConfig as_read;
    as_read.CopyFrom(app.m_workingRecord);
    ApplyChanges(changes, &app.m_workingRecord);
    if (const int status = CheckChanges(as_read, app.m_workingRecord, "write", err)) {
        return status;
    }
    if (!KeepBackup(as_read, !parsed.Has("--no-backup"), "write", err)) {
        return kExitLinkDown;
    }
    if (const int status = WriteWanted(app, as_read, "write", in, err, hook)) {
        return status;
    }
    out << "written\n";
    return kExitOk;
}

namespace {

// The settings file a command takes as its operand, as changes; the exit
// status when the command is not to go on (--help, a usage error, a bad file).
std::optional<int> ReadSettingsOperand(const CommandSpec& spec, const ParsedArgs& parsed,
                                       std::ostream& out, std::FILE* err,
                                       std::vector<FieldChange>* changes) {
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    std::string error;
    if (parsed.Operands().empty()) {
        error = "no settings file given";
    } else if (FileChanges(parsed.Operands().front(), changes, &error)) {
        return std::nullopt;
    }
    std::fputs(UsageError(spec, error).c_str(), err);
    return kExitUsage;
}

}  // namespace

int RunDiff(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook) {
    const CommandSpec& spec = CommandNamed("diff");
    const ParsedArgs parsed = ParseArgs(spec, args);
    std::vector<FieldChange> changes;
    if (const std::optional<int> status = ReadSettingsOperand(spec, parsed, out, err, &changes)) {
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
    for (const ItemChange& c : differences) {
        out << c.name << ": " << c.before << " -> " << c.after << "\n";
    }
    return differences.empty() ? kExitOk : kExitDiffers;
}

int RunApply(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook) {
    const CommandSpec& spec = CommandNamed("apply");
    const ParsedArgs parsed = ParseArgs(spec, args);
    std::vector<FieldChange> changes;
    if (const std::optional<int> status = ReadSettingsOperand(spec, parsed, out, err, &changes)) {
        return *status;
    }
    std::string error;
    if (parsed.Has("--store") &&
        !ProfileOption("--store", parsed.Value("--store"), &changes, &error)) {
        std::fputs(UsageError(spec, error).c_str(), err);
        return kExitUsage;
    }
    CVarDexConfigurationManagerApp app;
    if (const int status = ReadForWrite(app, parsed.Value("--port"), "apply", in, err, hook)) {
        return status;
    }
    CDeviceConfig as_read;
    as_read.CopyFrom(app.m_workingRecord);
    ApplyChanges(changes, &app.m_workingRecord);
    if (const int status = CheckChanges(as_read, app.m_workingRecord, "apply", err)) {
        return status;
    }
    const std::vector<ItemChange> differences = SettingChanges(as_read, app.m_workingRecord);
    const bool check = parsed.Has("--check");
    if (!differences.empty() && !check) {
        if (!KeepBackup(as_read, !parsed.Has("--no-backup"), "apply", err)) {
            return kExitLinkDown;
        }
        if (const int status = WriteWanted(app, as_read, "apply", in, err, hook)) {
            return status;
        }
    }
    if (parsed.Has("--json")) {
        std::string json = std::string("{\"changed\":") + (differences.empty() ? "false" : "true") +
                           ",\"changes\":{";
        for (std::size_t i = 0; i < differences.size(); ++i) {
            const ItemChange& c = differences[i];
            json += (i ? "," : "") + JsonString(c.name) + ":{\"before\":" + c.before +
                    ",\"after\":" + c.after + "}";
        }
        out << json << "}}\n";
        return kExitOk;
    }
    for (const ItemChange& c : differences) {
        out << c.name << ": " << c.before << " -> " << c.after << "\n";
    }
    out << (differences.empty() ? "unchanged\n" : check ? "would change\n" : "changed\n");
    return kExitOk;
}

int RunRestore(const std::vector<std::string>& args, std::ostream& out, std::FILE* in,
               std::FILE* err, JobHook hook) {
    const CommandSpec& spec = CommandNamed("restore");
    const ParsedArgs parsed = ParseArgs(spec, args);
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const auto fail = [&](const std::string& why) {
        std::fputs(UsageError(spec, why).c_str(), err);
        return kExitUsage;
    };
    // A number picks a kept backup (1 the newest); anything else is a file.
    const std::vector<std::string> operands = parsed.Operands();
    std::string path = operands.empty() ? "1" : operands.front();
    if (!path.empty() && path.find_first_not_of("0123456789") == std::string::npos) {
        const std::vector<settings::Backup> backups = settings::ListBackups();
        const unsigned long n = path.size() <= 4 ? std::stoul(path) : 0;
        if (n < 1 || n > backups.size()) {
            return fail("no backup " + path + " (vardexctl backups lists " +
                        std::to_string(backups.size()) + ")");
        }
        path = backups[n - 1].path;
    }
    std::vector<FieldChange> changes;
    std::string error;
    if (!FileChanges(path, &changes, &error) ||
        (parsed.Has("--store") &&
         !ProfileOption("--store", parsed.Value("--store"), &changes, &error))) {
        return fail(error);
    }
    CVarDexConfigurationManagerApp app;
    if (const int status = ReadForWrite(app, parsed.Value("--port"), "restore", in, err, hook)) {
        return status;
    }
    CDeviceConfig& record = app.m_workingRecord;
    // Another variant's settings would mean other things, or be refused half way.
    const settings::Backup origin = settings::DescribeBackup(path);
    if ((origin.country != record.m_strCountry || origin.model != record.m_wModelVersion) &&
        !parsed.Has("--force")) {
        std::fprintf(
            err,
            "vardexctl restore: %s was read from another variant (%s), this device is "
            "%s\nvardexctl restore: nothing was written (--force restores it all the "
            "same)\n",
            path.c_str(),
            settings::DescribeDevice(origin.country, origin.model, origin.firmware, origin.crc)
                .c_str(),
            settings::DescribeDevice(record.m_strCountry, record.m_wModelVersion,
                                     record.m_wFirmwareVersion, record.m_strCrc)
                .c_str());
        return kExitUsage;
    }
    CDeviceConfig as_read;
    as_read.CopyFrom(record);
    ApplyChanges(changes, &record);
    if (const int status = CheckChanges(as_read, record, "restore", err)) {
        return status;
    }
    const std::vector<ItemChange> differences = SettingChanges(as_read, record);
    if (differences.empty()) {
        out << "unchanged\n";
        return kExitOk;
    }
    for (const ItemChange& c : differences) {
        out << c.name << ": " << c.before << " -> " << c.after << "\n";
    }
    out.flush();
    if (!parsed.Has("--yes")) {
        std::fprintf(err, "Restore these settings? [y/N] ");
        std::fflush(err);
        std::string line;
        if (!ReadInputLine(in, &line) || line.empty() || (line[0] != 'y' && line[0] != 'Y')) {
            std::fprintf(err, "vardexctl restore: nothing was written\n");
            return kExitLinkDown;
        }
    }
    if (!KeepBackup(as_read, !parsed.Has("--no-backup"), "restore", err)) {
        return kExitLinkDown;
    }
    if (const int status = WriteWanted(app, as_read, "restore", in, err, hook)) {
        return status;
    }
    out << "restored\n";
    return kExitOk;
}

int RunUpgrade(const std::vector<std::string>& args, std::ostream& out, std::FILE* in,
               std::FILE* err, JobHook hook) {
    const CommandSpec& spec = CommandNamed("upgrade");
    const ParsedArgs parsed = ParseArgs(spec, args);
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const bool yes = parsed.Has("--yes");
    const std::vector<std::string> operands = parsed.Operands();
    if (operands.empty()) {
        std::fputs(UsageError(spec, "no image file given").c_str(), err);
        return kExitUsage;
    }
    const std::string& file = operands.front();
    // A file that cannot be an image is refused before the port is even opened;
    // the job checks it again when it reads it.
    {
        std::vector<unsigned char> image;
        std::string why;
        if (!LoadFirmwareImage(file, &image, &why)) {
            std::fprintf(err, "vardexctl upgrade: %s\n", why.c_str());
            return kExitLinkDown;
        }
    }
    std::fprintf(err, "%s\n", std::string(res::LoadString(res::IDS_UPGRADE_WARNING)).c_str());
    if (!yes) {
        std::fprintf(err, "Continue? [y/N] ");
        std::fflush(err);
        std::string line;
        if (!ReadInputLine(in, &line) || line.empty() || (line[0] != 'y' && line[0] != 'Y')) {
            std::fprintf(err, "vardexctl upgrade: not started\n");
            return kExitLinkDown;
        }
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
            std::fprintf(err, "vardexctl upgrade: no varDex was identified\n");
            return kExitLinkDown;
        }
        if (identified == IdentifyResult::kIdentified &&
            vardex::params::VariantOf(app.m_workingRecord).UpgradeKeptForOperator()) {
            std::fprintf(err, "%s\n", std::string(res::kTextOperatorOnlyUpgrade).c_str());
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
            if (!KeepBackup(app.m_workingRecord, true, "upgrade", err)) {
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
