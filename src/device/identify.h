// Identification at the start of every device job.
#pragma once

#include "device/job_view.h"
#include "params/app_core.h"

// Makes sure a channel to a varDex is open (searching for it and asking the
// person to choose when none is), checks for a firmware loader and reads the
// device's identity into the working record.
// Returns 1 identified; 2 no channel, unexpected data or stopped; -4 the device
// waits in its firmware loader or gave no usable answer to the first "ATI4".
// Blocks for the loader probe (10.5 s) beside the exchanges, and for the search
// when the channel was closed.
int IdentifyDevice(CJobView* dialog, CVarDexConfigurationManagerApp* app);

// The not-found message, with the ports that could not be opened for lack of
// permission named after it.
std::string NotFoundMessage(const std::vector<std::string>& denied_ports);
