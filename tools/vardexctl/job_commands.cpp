#include "job_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
#include "record_fields.h"
#include "res/strings.h"
#include "write_report.h"

namespace vardex::ctl {
namespace {

// The largest settings file taken: a record's JSON is a few kilobytes.
constexpr std::size_t kSettingsFileMax = 1 << 20;

bool FileProblem(const std::string& what, std::string* why) {
    *why = what;
    return false;
}

// Reads a settings file; false with *why for a file that is missing or
// unreadable, not a regular file (a FIFO would wait for a writer, a device
// might never end) or larger than kSettingsFileMax.
bool ReadSettingsFile(const std::string& path, std::string* text, std::string* why) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return FileProblem(std::strerror(errno), why);
    }
    if (!S_ISREG(info.st_mode)) {
        return FileProblem("not a regular file", why);
    }
    if (static_cast<std::size_t>(info.st_size) > kSettingsFileMax) {
        return FileProblem("larger than 1 MiB", why);
    }
    // Non-blocking and checked again: the name may have become a FIFO since.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        return FileProblem(std::strerror(errno), why);
    }
    if (::fstat(fd.get(), &info) != 0) {
        return FileProblem(std::strerror(errno), why);
    }
    if (!S_ISREG(info.st_mode)) {
        return FileProblem("not a regular file", why);
    }
    text->clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return FileProblem(std::strerror(errno), why);
        }
        if (n == 0) {
            break;
        }
        // It may grow while it is read.
        if (text->size() + static_cast<std::size_t>(n) > kSettingsFileMax) {
            return FileProblem("larger than 1 MiB", why);
        }
        text->append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

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
    out << (json ? RecordJson(app.m_workingRecord) : RecordText(app.m_workingRecord));
    return kExitOk;
}

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
            const std::string& value = item.text;
            const char last = option == "--store" ? '3' : '4';
            if (value.size() != 1 || value[0] < '0' || value[0] > last) {
                return fail(std::string(option) + " takes a profile number 0.." + last + ", not '" +
                            value + "'");
            }
            const char* field = option == "--store" ? "m_nStoreProfile=" : "m_nPowerUpProfile=";
            if (!ParseAssignment(field + value, &changes, &error)) {
                return fail(error);
            }
        } else if (option == "--from") {
            const std::string& path = item.text;
            std::string text;
            if (!ReadSettingsFile(path, &text, &error)) {
                return fail("cannot read " + path + ": " + error);
            }
            if (!ParseFieldsJson(text, &changes, &error)) {
                return fail(path + ": " + error);
            }
        } else if (item.option == nullptr && !ParseAssignment(item.text, &changes, &error)) {
            return fail(error);
        }
    }

    CVarDexConfigurationManagerApp app;
    CDeviceConfig& record = app.m_workingRecord;
    if (!OpenDirect(record, parsed.Value("--port"), "write", err)) {
        return kExitLinkDown;
    }
    CliJobWindow reader(in, err);
    bool in_loader = false;
    if (RunJob(app, reader, CCommProgress::kJobReadAll, false, "write", err, hook, nullptr,
               &in_loader) != JobResult::kDone) {
        std::fprintf(err, "vardexctl write: nothing was written\n");
        return FailedJobStatus(in_loader);
    }
    const std::vector<SettableItem> before = SettableItems(record);
    CDeviceConfig as_read;
    as_read.CopyFrom(record);
    ApplyChanges(changes, &record);
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
        std::fprintf(err, "vardexctl write: %s: %s\nvardexctl write: nothing was written\n",
                     refused_field.c_str(), refused_why.c_str());
        return kExitUsage;
    }
    const std::vector<SettableItem> wanted = SettableItems(record);

    CliJobWindow writer(in, err);
    WriteProgress progress;
    progress.completed = RunJob(app, writer, CCommProgress::kJobWriteAll, false, "write", err, hook,
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
        std::fprintf(err, "vardexctl write: %s\n", line.c_str());
    }
    if (!progress.completed) {
        return FailedJobStatus(in_loader);
    }
    if (!all_applied) {
        std::fprintf(err, "vardexctl write: the device did not take every value\n");
        return kExitLinkDown;
    }
    out << "written\n";
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
