#include "job_commands.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "at_command.h"
#include "cli_job_window.h"
#include "cli_view.h"
#include "device/comm_progress.h"
#include "device/firmware_upgrade.h"
#include "device/identify.h"
#include "record_fields.h"
#include "res/strings.h"

namespace vardex::ctl {
namespace {

constexpr const char* kReadUsage =
    "usage: vardexctl read [--port PATH] [--json]\n"
    "  Reads every setting of the varDex and prints the working record.\n";
constexpr const char* kWriteUsage =
    "usage: vardexctl write [--port PATH] [--store N] [--power-up N] [--from FILE.json]\n"
    "                       [FIELD=VALUE...]\n"
    "  Reads every setting, applies the given fields (FIELD may carry indexes:\n"
    "  m_strPhoneMsn[2]=5551, m_byModemLlc[1][0]=0x80), writes what changed.\n"
    "  --store N keeps the settings in profile N (0..3); --power-up N makes profile\n"
    "  N (0..3, 4 = factory defaults) the one loaded at power-up. Settings not\n"
    "  stored in that profile last only until the device is next reset (opening\n"
    "  the port resets it). Exit status 1 when the device did not take every value.\n";
constexpr const char* kUpgradeUsage =
    "usage: vardexctl upgrade [--port PATH] [--yes] FILE\n"
    "  Replaces the varDex firmware with FILE, then reads every setting. Where the\n"
    "  device's country keeps upgrades for its operator, says so and changes nothing.\n";

struct Common {
    std::string port;
    bool help = false;
};

// Takes --port and --help; returns false for a word it does not know when
// rest is null, else leaves such words in *rest.
bool ParseCommon(const std::vector<std::string>& args, Common* common,
                 std::vector<std::string>* rest) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            common->port = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            common->help = true;
        } else {
            rest->push_back(args[i]);
        }
    }
    return true;
}

// Opens PATH as the search would leave it; true when there is nothing to open.
bool OpenDirect(CDeviceConfig& record, const std::string& port, const char* command,
                std::FILE* err) {
    if (port.empty()) {
        return true;
    }
    const int opened = record.Line().OpenPort(port, 115200);
    if (opened != 0) {
        const SysError& os = record.Line().LastOpenError();
        std::fprintf(err, "vardexctl %s: %s\n", command,
                     DescribeOpenFailure(opened, port, port, os).c_str());
        return false;
    }
    record.Line().SelectDirectPort(port);
    return true;
}

// Runs one job under the terminal window; reports a failure the job left to its
// caller. *in_loader, when given, says whether the job found the device waiting
// in its firmware loader (then said instead of "did not complete").
int RunJob(CVarDexConfigurationManagerApp& app, CliJobWindow& window, int job, bool upgrade,
           const char* command, std::FILE* err, JobHook hook, int* firmware_result = nullptr,
           bool* in_loader = nullptr) {
    if (!window.Ready()) {
        std::fprintf(err, "vardexctl %s: cannot set up the job: %s\n", command,
                     std::strerror(window.SetupError()));
        return 2;
    }
    if (hook.started != nullptr) {
        hook.started(&window, hook.context);
    }
    CCommProgress progress(window, app);
    const int result = upgrade ? progress.DoModalUpgrade() : progress.DoModalJob(job);
    if (firmware_result != nullptr) {
        *firmware_result = progress.m_nFirmwareResult;
    }
    if (in_loader != nullptr) {
        *in_loader = result != 1 && progress.m_bInLoader != 0;
        if (*in_loader) {
            std::fprintf(err, "vardexctl %s: %s\n", command, kLoaderAdvice);
            return result;
        }
    }
    if (result != 1) {
        if (progress.m_bQuietEnd == 0 && !upgrade) {
            std::fprintf(err, "%s\n",
                         NotFoundMessage(app.m_workingRecord.Line().PortFailures()).c_str());
        }
        std::fprintf(err, "vardexctl %s: the job did not complete\n", command);
    }
    return result;
}

}  // namespace

int RunRead(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook) {
    Common common;
    std::vector<std::string> rest;
    ParseCommon(args, &common, &rest);
    bool json = false;
    for (const std::string& word : rest) {
        if (word == "--json") {
            json = true;
        } else {
            std::fprintf(err, "vardexctl read: unexpected argument '%s'\n%s", word.c_str(),
                         kReadUsage);
            return kExitUsage;
        }
    }
    if (common.help) {
        out << kReadUsage;
        return kExitOk;
    }
    CVarDexConfigurationManagerApp app;
    if (!OpenDirect(app.m_workingRecord, common.port, "read", err)) {
        return kExitLinkDown;
    }
    CliJobWindow window(in, err);
    bool in_loader = false;
    if (RunJob(app, window, CCommProgress::kJobReadAll, false, "read", err, hook, nullptr,
               &in_loader) != 1) {
        return in_loader ? kExitInLoader : kExitLinkDown;
    }
    out << (json ? RecordJson(app.m_workingRecord) : RecordText(app.m_workingRecord));
    return kExitOk;
}

int RunWrite(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook) {
    Common common;
    std::vector<std::string> rest;
    ParseCommon(args, &common, &rest);
    if (common.help) {
        out << kWriteUsage;
        return kExitOk;
    }
    // Everything is checked before the device hears a word.
    std::vector<FieldChange> changes;
    std::string error;
    const auto fail = [&](const std::string& why) {
        std::fprintf(err, "vardexctl write: %s\n%s", why.c_str(), kWriteUsage);
        return kExitUsage;
    };
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string& word = rest[i];
        const bool has_value = i + 1 < rest.size();
        if ((word == "--store" || word == "--power-up") && has_value) {
            const std::string value = rest[++i];
            bool ok = value.size() == 1 && value[0] >= '0' && value[0] <= '4';
            if (word == "--store") {
                ok = ok && value[0] != '4';
                // Profile n is stored by the record's value n + 1.
                ok = ok && ParseAssignment("m_nStoreProfile=" + std::to_string(value[0] - '0' + 1),
                                           &changes, &error);
            } else {
                ok = ok && ParseAssignment("m_nPowerUpProfile=" + value, &changes, &error);
            }
            if (!ok) {
                return fail(word + " takes a profile number, not '" + value + "'");
            }
        } else if (word == "--from" && has_value) {
            std::ifstream file(rest[++i], std::ios::binary);
            std::stringstream text;
            text << file.rdbuf();
            if (!file) {
                return fail("cannot read " + rest[i]);
            }
            if (!ParseFieldsJson(text.str(), &changes, &error)) {
                return fail(rest[i] + ": " + error);
            }
        } else if (word.rfind("--", 0) == 0) {
            return fail("unexpected argument '" + word + "'");
        } else if (!ParseAssignment(word, &changes, &error)) {
            return fail(error);
        }
    }

    CVarDexConfigurationManagerApp app;
    CDeviceConfig& record = app.m_workingRecord;
    if (!OpenDirect(record, common.port, "write", err)) {
        return kExitLinkDown;
    }
    CliJobWindow reader(in, err);
    bool in_loader = false;
    if (RunJob(app, reader, CCommProgress::kJobReadAll, false, "write", err, hook, nullptr,
               &in_loader) != 1) {
        return in_loader ? kExitInLoader : kExitLinkDown;
    }
    ApplyChanges(changes, &record);
    CliJobWindow writer(in, err);
    if (RunJob(app, writer, CCommProgress::kJobWriteAll, false, "write", err, hook, nullptr,
               &in_loader) != 1) {
        return in_loader ? kExitInLoader : kExitLinkDown;
    }
    const std::string faults(res::kTextFaultsDetectedFormat.substr(0, 15));
    for (const std::string& message : writer.Messages()) {
        if (message.rfind(faults, 0) == 0) {
            std::fprintf(err, "vardexctl write: the device did not take every value\n");
            return kExitLinkDown;
        }
    }
    out << "written\n";
    return kExitOk;
}

int RunUpgrade(const std::vector<std::string>& args, std::ostream& out, std::FILE* in,
               std::FILE* err, JobHook hook) {
    Common common;
    std::vector<std::string> rest;
    ParseCommon(args, &common, &rest);
    if (common.help) {
        out << kUpgradeUsage;
        return kExitOk;
    }
    bool yes = false;
    std::string file;
    for (const std::string& word : rest) {
        if (word == "--yes" || word == "-y") {
            yes = true;
        } else if (word.rfind("--", 0) != 0 && file.empty()) {
            file = word;
        } else {
            std::fprintf(err, "vardexctl upgrade: unexpected argument '%s'\n%s", word.c_str(),
                         kUpgradeUsage);
            return kExitUsage;
        }
    }
    if (file.empty()) {
        std::fprintf(err, "vardexctl upgrade: no image file given\n%s", kUpgradeUsage);
        return kExitUsage;
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
    if (!OpenDirect(app.m_workingRecord, common.port, "upgrade", err)) {
        return kExitLinkDown;
    }
    // Where the operator keeps upgrades, the device is left alone, as the
    // program's Upgrade button does. The channel stays open for the job; a device
    // already in its loader has no country to tell and is upgraded.
    {
        CliJobView view(in, err);
        view.SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
        const int identified = IdentifyDevice(&view, &app);
        view.Finish();
        if (identified != 1 && identified != -4) {
            std::fprintf(err, "vardexctl upgrade: no varDex was identified\n");
            return kExitLinkDown;
        }
        if (identified == 1 && UpgradeReservedForOperator(app.m_workingRecord.m_strCountry)) {
            std::fprintf(err, "%s\n", std::string(res::kTextOperatorOnlyUpgrade).c_str());
            return kExitLinkDown;
        }
    }
    CliJobWindow window(in, err);
    window.SetImageFile(file);
    int firmware = 0;
    if (RunJob(app, window, 0, true, "upgrade", err, hook, &firmware) != 1) {
        if (firmware == 1) {
            std::fprintf(err,
                         "vardexctl upgrade: the new firmware was sent and the device restarted, "
                         "but its settings could not be read back\n");
        }
        return kExitLinkDown;
    }
    out << "upgraded: software version "
        << CDeviceConfig::FormatVersion(app.m_workingRecord.m_wFirmwareVersion) << "\n";
    return kExitOk;
}

}  // namespace vardex::ctl
