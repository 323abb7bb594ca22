// Running a row: the variant it needs, its handler or, for a row of register
// fields, the register rows, and a failure the stop request caused.
//
// The setting rows verify through here, so running a row knows the query rows
// and never the setting rows: a row of register fields that is not a query row
// is a setting row.
#pragma once

#include "params/param_rows.h"

namespace vardex::params {

// The query row of a group; null for a group without one (the store).
const ParamRowSpec* QueryRowOf(Row group);

// Runs a row. A null app fails; a row that failed while the stop request was
// set is stopped.
RowResult RunRow(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp* app,
                 int verify);

}  // namespace vardex::params

namespace vardex::params::rows {

// Runs the group's query row in verification mode (PARAM_OK for a group
// without one).
RowResult Verify(Row group, CRunningJob* job, CVarDexConfigurationManagerApp& app);

}  // namespace vardex::params::rows
