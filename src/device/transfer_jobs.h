// The read-all and write-all jobs. They run on a job's worker thread and reach
// the person only through the job view.
#pragma once

#include "device/job_view.h"
#include "params/app_core.h"
#include "params/param_rows.h"

// Identifies the device, runs every query row into the working record and lets
// the device copy take it. 1 done; 2 stopped (no device, a row without reply, or
// the stop request).
int ReadAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app);
// Identifies the device and runs every setting row; values the device did not
// take are reported once, with the last such row's zero-based number, and the
// job still counts as done. 1 done; 2 stopped.
int WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app);

// The same over another null-terminated table.
int ReadAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app, const ParamRow* table);
int WriteAllParameters(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                       const ParamRow* table);
