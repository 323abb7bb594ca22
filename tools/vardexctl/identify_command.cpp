#include "identify_command.h"

#include <csignal>
#include <sstream>

#include "at_command.h"
#include "cli_view.h"
#include "command_line.h"
#include "device/identify.h"
#include "device/identity_parse.h"
#include "failure.h"
#include "port_option.h"
#include "res/strings.h"
#include "settings/json_text.h"

using namespace vardex::settings;
using namespace vardex::params;
using namespace vardex::device;

namespace vardex::ctl {
namespace {

CJobView* g_running_view = nullptr;

extern "C" void OnInterrupt(int) {
    // The first Ctrl+C asks the job to stop where it can; the second one ends the
    // program at once.
    if (g_running_view != nullptr && g_running_view->m_bAbort.exchange(1) == 0) {
        return;
    }
    std::_Exit(kExitInterrupted);
}

}  // namespace

int OpenAndIdentify(CVarDexConfigurationManagerApp& app, const std::string& port,
                    const char* command, std::FILE* in, std::FILE* err) {
    if (!port.empty()) {
        if (const auto opened = OpenPortByPath(app.m_workingRecord, port); !opened) {
            TellFailure(Reason::kNoDevice, command, opened.error(), err);
            return kExitLinkDown;
        }
    }
    CliJobView view(in, err);
    view.SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
    g_running_view = &view;
    auto previous = std::signal(SIGINT, OnInterrupt);
    const IdentifyResult result = IdentifyDevice(&view, &app);
    std::signal(SIGINT, previous);
    g_running_view = nullptr;
    view.Finish();
    if (result == IdentifyResult::kIdentified) {
        return kExitOk;
    }
    // The first Ctrl+C is the only stop an identification has.
    TellJobFailure(JobFailure(app.m_workingRecord, view, view.m_bAbort != 0, view.LastMessage()),
                   command, view.LastMessage(), err);
    if (view.m_bInLoader != 0) {
        return kExitInLoader;
    }
    std::fprintf(err, "vardexctl %s: no varDex was identified\n", command);
    return kExitLinkDown;
}

int RunIdentify(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const std::string port = parsed.Value("--port");
    const bool json = parsed.Has("--json");

    CVarDexConfigurationManagerApp app;
    CDeviceConfig& record = app.m_workingRecord;
    if (const int status = OpenAndIdentify(app, port, "identify", in, err); status != kExitOk) {
        return status;
    }

    PrintIdentity(record, json, out);
    record.Close();
    return kExitOk;
}

void PrintIdentity(CDeviceConfig& record, bool json, std::ostream& out) {
    std::string name;
    record.GetDeviceName(&name);
    const auto version = [](std::uint16_t w) { return CDeviceConfig::FormatVersion(w); };
    if (json) {
        // A field has one JSON type in every command: the version words are
        // numbers here as in read --json (major * 256 + minor).
        out << "{\"device\":" << JsonString(name)
            << ",\"m_strCountry\":" << JsonString(record.m_strCountry)
            << ",\"m_wModelVersion\":" << record.m_wModelVersion
            << ",\"m_wHardwareVersion\":" << record.m_wHardwareVersion
            << ",\"m_wFirmwareVersion\":" << record.m_wFirmwareVersion
            << ",\"m_strCrc\":" << JsonString(record.m_strCrc)
            << ",\"m_bUsbConnection\":" << record.m_bUsbConnection
            << ",\"m_bX25Available\":" << record.m_bX25Available
            << ",\"m_bFskLevelAvailable\":" << record.m_bFskLevelAvailable << "}\n";
    } else {
        out << "Device:           " << name << "\n"
            << "Country:          " << record.m_strCountry << "\n"
            << "Model version:    " << version(record.m_wModelVersion) << "\n"
            << "Hardware version: " << version(record.m_wHardwareVersion) << "\n"
            << "Software version: " << version(record.m_wFirmwareVersion) << "\n"
            << "CRC:              " << record.m_strCrc << "\n"
            << "Connection:       " << (record.m_bUsbConnection != 0 ? "USB" : "serial") << "\n"
            << "X.25:             " << (record.m_bX25Available != 0 ? "available" : "not available")
            << "\n"
            << "FSK level:        "
            << (record.m_bFskLevelAvailable != 0 ? "available" : "not available") << "\n";
    }
}

}  // namespace vardex::ctl
