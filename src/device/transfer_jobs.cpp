#include "device/transfer_jobs.h"

#include <cstdio>
#include <string>

#include "device/identify.h"
#include "link/tapi_line.h"
#include "res/strings.h"

namespace res = vardex::res;

namespace {

// Identification starts every job. Only a device that identified itself is
// read or written: a loader (IdentifyResult::kInLoader) answers every query with NAK, and reading
// that as settings would hand the pages values the device never held.
bool Identified(CJobView* dialog, CVarDexConfigurationManagerApp* app) {
    dialog->m_strUnreadCommand.clear();
    return IdentifyDevice(dialog, app) == IdentifyResult::kIdentified && dialog->m_bAbort == 0;
}

// A row failed: when the device went away under it, or when it was for an
// answer that could not be read (rather than no answer at all), the person
// hears which, and nothing more is said.
void ReportRowFailure(CJobView* dialog, CDeviceConfig& record) {
    if (dialog->m_bAbort != 0) {
        return;
    }
    if (record.Line().LinkLost()) {
        dialog->Prompts().ShowMessage(std::string(res::kTextJobDeviceVanished),
                                      MessageIcon::Exclamation);
    } else if (!dialog->m_strUnreadCommand.empty()) {
        dialog->Prompts().ShowMessage(UnreadableMessage(dialog->m_strUnreadCommand),
                                      MessageIcon::Exclamation);
    } else {
        return;
    }
    dialog->m_bQuietEnd = 1;
}

// The person hears which questions the device refused: their settings are
// shown, but not as the device holds them.
void ReportRefusedQueries(CJobView* dialog, const CDeviceConfig& record) {
    if (record.m_refusedQueries.empty()) {
        return;
    }
    std::string commands;
    for (const CDeviceConfig::RefusedQuery& query : record.m_refusedQueries) {
        if (!commands.empty()) {
            commands += ", ";
        }
        commands += query.command;
    }
    const std::string_view format = res::kTextRefusedQueriesFormat;
    const std::size_t at = format.find("%s");
    dialog->Prompts().ShowMessage(
        std::string(format.substr(0, at)) + commands + std::string(format.substr(at + 2)),
        MessageIcon::Exclamation);
}

}  // namespace

JobResult ReadAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app) {
    return ReadAllParameters(dialog, app, QueryRows());
}

JobResult WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app) {
    return WriteAllParameters(dialog, app, SettingRows());
}

namespace {

JobResult ReadAll(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                  std::span<const ParamRowSpec> table, const std::string& recall) {
    dialog->SetCaption(std::string(res::LoadString(res::IDS_UPLOADING_CAPTION)));
    dialog->SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
    if (!Identified(dialog, app)) {
        return JobResult::kStopped;
    }
    CDeviceConfig& record = app->m_workingRecord;
    if (!recall.empty()) {
        record.SetReadTimeout(kParamReadTimeoutMs);
        if (record.SendCommand(recall.c_str()) == nullptr) {
            return JobResult::kStopped;
        }
    }
    const int rows = static_cast<int>(table.size());
    IProgressBar& progress = dialog->Progress();
    progress.SetRange32(0, rows + 1);
    progress.SetPos(0);
    progress.SetStep(1);
    progress.StepIt();  // identification was the first step

    // A read that does not complete leaves the record as it was: half a read
    // would mix the device's values with what the record held before.
    CDeviceConfig before;
    before.CopyFrom(record);
    record.SetReadTimeout(kParamReadTimeoutMs);
    for (int i = 0; i < rows; ++i) {
        // A row may have raised the time-out for a slow command.
        record.SetReadTimeout(kParamReadTimeoutMs);
        if (RunRow(table[i], dialog, app, 0) == PARAM_FAILED || dialog->m_bAbort != 0) {
            record.CopyFrom(before);
            ReportRowFailure(dialog, record);
            return JobResult::kStopped;
        }
        progress.StepIt();
    }
    // The pages now show the device's counters: a reset asked before the read
    // must not erase them with the next, unrelated write.
    record.m_bResetCharges = 0;
    app->m_deviceCopy.CopyFrom(record);
    ReportRefusedQueries(dialog, record);
    return JobResult::kDone;
}

}  // namespace

JobResult ReadAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                            std::span<const ParamRowSpec> table) {
    return ReadAll(dialog, app, table, {});
}

JobResult RecallAndReadAll(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                           const std::string& recall) {
    return ReadAll(dialog, app, QueryRows(), recall);
}

JobResult WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                             std::span<const ParamRowSpec> table) {
    dialog->SetCaption(std::string(res::LoadString(res::IDS_DOWNLOADING_CAPTION)));
    dialog->SetStatusText(std::string(res::LoadString(res::IDS_DOWNLOADING_STATUS)));
    dialog->m_nRowsDone = -1;
    dialog->m_nProfileNotStored = -1;
    if (!Identified(dialog, app)) {
        return JobResult::kStopped;
    }
    dialog->m_nRowsDone = 0;
    CDeviceConfig& record = app->m_workingRecord;
    const int rows = static_cast<int>(table.size());
    IProgressBar& progress = dialog->Progress();
    progress.SetRange32(0, rows);
    progress.SetPos(0);
    progress.SetStep(1);

    record.SetReadTimeout(kParamReadTimeoutMs);
    bool fault = false;
    int last_fault_row = 0;
    const auto report_faults = [&] {
        if (fault) {
            char text[128];
            std::snprintf(text, sizeof text, std::string(res::kTextFaultsDetectedFormat).c_str(),
                          last_fault_row);
            dialog->Prompts().ShowMessage(text, MessageIcon::Exclamation);
        }
    };
    for (int j = 0; j < rows; ++j) {
        const int result = RunRow(table[j], dialog, app, 0);
        // A row that did not fail is done, even when Cancel stops the job
        // right after it.
        if (result != PARAM_FAILED) {
            dialog->m_nRowsDone = j + 1;
        }
        if (result == PARAM_FAILED && dialog->m_nProfileNotStored >= 0) {
            // Every setting went through and was read back; only the store
            // is missing, and that is what the person must hear.
            report_faults();
            char text[512];
            std::snprintf(text, sizeof text, std::string(res::kTextNotStoredFormat).c_str(),
                          dialog->m_nProfileNotStored.load());
            dialog->Prompts().ShowMessage(text, MessageIcon::Exclamation);
            dialog->m_bQuietEnd = 1;
            return JobResult::kStopped;
        }
        if (result == PARAM_FAILED || dialog->m_bAbort != 0) {
            ReportRowFailure(dialog, record);
            return JobResult::kStopped;
        }
        if (result == PARAM_MISMATCH) {
            fault = true;
            last_fault_row = j;
        }
        progress.StepIt();
    }
    app->m_deviceCopy.CopyFrom(record);
    report_faults();
    return JobResult::kDone;
}
