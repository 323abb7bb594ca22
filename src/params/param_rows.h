// The parameter rows: the query rows that read the device's settings into the
// working record and the setting rows that send what the working record
// changed against the device copy.
//
// A row belongs to a group of fields (`Row`); the field table says which group
// each field belongs to, so a row of register fields reads and writes exactly
// the fields the table gives it and needs no code of its own. Only the rows
// whose commands are not register commands have a handler.
//
// A query row takes a verification flag: in verification mode it reads back
// only what differs between the two records and reports whether the device
// took it. A setting row sends, then runs its group's query row in
// verification mode.
//
// Threads: rows run on the job's worker thread while the user interface waits;
// the stop request is the only datum another thread touches.
#pragma once

#include <span>
#include <string_view>

#include "link/protocol_waits.h"
#include "params/app_core.h"
#include "params/country_variant.h"
#include "params/running_job.h"

namespace vardex::params {

// What a row ends with. The design's names and numbers are kept for the three
// it has; a row that the stop request ended says so apart from a failure.
enum class RowResult {
    kDone = 1,       // done; in verification mode the device holds what was sent
    kFailed = 2,     // a command got no answer: the job stops
    kStopped = 3,    // the job's stop request ended the row: the job stops
    kMismatch = 15,  // verification read back another value; the job goes on
};
inline constexpr RowResult PARAM_OK = RowResult::kDone;
inline constexpr RowResult PARAM_FAILED = RowResult::kFailed;
inline constexpr RowResult PARAM_STOPPED = RowResult::kStopped;
inline constexpr RowResult PARAM_MISMATCH = RowResult::kMismatch;

// Whether the job must stop after a row that ended so.
inline bool EndsTheJob(RowResult result) {
    return result == RowResult::kFailed || result == RowResult::kStopped;
}

// The groups of fields a query row reads and a setting row writes.
enum class Row {
    kNone,  // no row: identification and bookkeeping
    kMsns,
    kServiceProtocol,
    kCallWaiting,
    kClip,
    kMeteringPulse,
    kDelayedClearBack,
    kOwnNumbers,
    kCharges,
    kPowerUpProfile,
    kProtocol,
    kPppOptions,
    kX25,
    kEmergencyMode,
    kCallerIdTiming,
    kMlpppIncoming,
    kFlashDuration,
    kBap,
    kFskLevel,
    kRestrictions,
    kMessageWaiting,
    kTerminalTypes,
    kModemLlc,
    kStoreProfile,
};

struct ParamRowSpec;
struct RecordField;
using RowHandler = RowResult (*)(const ParamRowSpec& row, CRunningJob* job,
                                 CVarDexConfigurationManagerApp& app, int verify);

struct ParamRowSpec {
    const char* name;
    Row group;
    // The read time-out around the row's own commands (its verification runs
    // with the ordinary one).
    unsigned timeout_ms = vardex::link::kExchangeReadMs;
    // Rows of many commands check the stop request after each, so that Cancel
    // does not wait for their end.
    bool check_stop = false;
    // Variants without it get nothing from the row.
    vardex::params::Feature needs = vardex::params::Feature::kAll;
    // Null: a row of register fields, read and written as the table places them.
    RowHandler handler = nullptr;
};

// Both in the order the jobs run them. Running a row: params/row_dispatch.h.
std::span<const ParamRowSpec> QueryRows();
std::span<const ParamRowSpec> SettingRows();

// A row of either table by its name; null when there is none.
const ParamRowSpec* FindRow(std::string_view name);

// The field's setting row as an index into SettingRows(); -1 for none.
int SettingRowIndex(const RecordField& field);

// The read timeout of the ordinary exchange, which rows that raise it set back.
inline constexpr unsigned kParamReadTimeoutMs = vardex::link::kExchangeReadMs;

}  // namespace vardex::params
