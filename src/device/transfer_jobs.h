// The read-all and write-all jobs. They run on a job's worker thread and reach
// the person only through the job view.
#pragma once

#include <string>

#include "device/job_view.h"
#include "params/app_core.h"
#include "params/param_rows.h"

namespace vardex::device {

// Identifies the device, runs every query row into the working record and lets
// the device copy take it; a charge reset still pending is given up (the pages
// now show the device's counters). A read that does not complete leaves the
// record as it was. It stops for no device, a row without reply, or the stop
// request.
JobResult ReadAllParameters(CJobView* dialog, params::CVarDexConfigurationManagerApp* app);
// The same with a profile recall ("ATZ0".."ATZ4") sent once the device is
// identified (so found again first when the channel was lost), before reading.
JobResult RecallAndReadAll(CJobView* dialog, params::CVarDexConfigurationManagerApp* app,
                           const std::string& recall);
// Identifies the device and runs every setting row; values the device did not
// take leave the job done. When a setting that no row reads back was sent,
// its row is read again at the end. The outcome says how far it got and why it
// ended; the job tells the person nothing of it (the write's report does).
WriteOutcome WriteAllParameters(CJobView* dialog, params::CVarDexConfigurationManagerApp* app);

// The same over another null-terminated table.
JobResult ReadAllParameters(CJobView* dialog, params::CVarDexConfigurationManagerApp* app,
                            std::span<const params::ParamRowSpec> table);
WriteOutcome WriteAllParameters(CJobView* dialog, params::CVarDexConfigurationManagerApp* app,
                                std::span<const params::ParamRowSpec> table);

}  // namespace vardex::device
