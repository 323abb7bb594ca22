#include "device/transfer_jobs.h"

#include <cstdio>
#include <string>

#include "device/identify.h"
#include "link/tapi_line.h"
#include "params/field_table.h"
#include "params/row_dispatch.h"
#include "res/strings.h"

using namespace vardex::params;

namespace vardex::device {

using namespace vardex::link;

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

WriteOutcome WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app) {
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

namespace {

// Whether a setting the rows send but never read back differs between the
// records: without a read afterwards a refused one would pass for written.
bool UnconfirmedChange(const CDeviceConfig& wanted, const CDeviceConfig& known) {
    for (const RecordField& field : RecordFields()) {
        if (field.Writable() && !field.confirmed && !SameField(field, wanted, known)) {
            return true;
        }
    }
    return false;
}

// Why the rows stopped where they did.
WriteOutcome::End WhyStopped(CJobView* dialog, CDeviceConfig& record, RowResult result) {
    if (result == RowResult::kStopped || dialog->m_bAbort != 0) {
        return WriteOutcome::End::kStopped;
    }
    if (record.Line().LinkLost()) {
        return WriteOutcome::End::kLinkLost;
    }
    // Every setting went through and was read back; only the store is missing.
    if (dialog->m_nProfileNotStored >= 0) {
        return WriteOutcome::End::kNotStored;
    }
    return dialog->m_strUnreadCommand.empty() ? WriteOutcome::End::kNoAnswer
                                              : WriteOutcome::End::kUnreadable;
}

}  // namespace

WriteOutcome WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                                std::span<const ParamRowSpec> table) {
    dialog->SetCaption(std::string(res::LoadString(res::IDS_DOWNLOADING_CAPTION)));
    dialog->SetStatusText(std::string(res::LoadString(res::IDS_DOWNLOADING_STATUS)));
    dialog->m_nProfileNotStored = -1;
    WriteOutcome outcome;
    if (!Identified(dialog, app)) {
        outcome.end = dialog->m_bAbort != 0 && dialog->m_bInLoader == 0
                          ? WriteOutcome::End::kStopped
                          : WriteOutcome::End::kNotIdentified;
        outcome.in_loader = dialog->m_bInLoader != 0;
        outcome.told = dialog->m_bQuietEnd != 0;
        return outcome;
    }
    CDeviceConfig& record = app->m_workingRecord;
    const bool unconfirmed = UnconfirmedChange(record, app->m_deviceCopy);
    const int rows = static_cast<int>(table.size());
    IProgressBar& progress = dialog->Progress();
    progress.SetRange32(0, rows);
    progress.SetPos(0);
    progress.SetStep(1);

    record.SetReadTimeout(kParamReadTimeoutMs);
    for (int j = 0; j < rows; ++j) {
        const RowResult result = RunRow(table[j], dialog, app, 0);
        outcome.rows.push_back(result);
        // A row that did not fail is done, even when Cancel stops the job
        // right after it.
        if (EndsTheJob(result) || dialog->m_bAbort != 0) {
            outcome.end = WhyStopped(dialog, record, result);
            outcome.profile_not_stored = dialog->m_nProfileNotStored;
            outcome.unread_command = dialog->m_strUnreadCommand;
            return outcome;
        }
        progress.StepIt();
    }
    if (unconfirmed) {
        CRunningJob probe;
        const ParamRowSpec* restrictions = QueryRowOf(Row::kRestrictions);
        outcome.unconfirmed_read_back =
            restrictions != nullptr && RunRow(*restrictions, &probe, app, 0) == PARAM_OK;
    }
    app->m_deviceCopy.CopyFrom(record);
    outcome.end = WriteOutcome::End::kDone;
    return outcome;
}

}  // namespace vardex::device
