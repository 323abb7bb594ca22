// Identification at the start of every device job.
#pragma once

#include "device/job_view.h"
#include "link/port_problems.h"
#include "params/app_core.h"

namespace vardex::device {

// What IdentifyDevice ends with.
enum class IdentifyResult {
    kIdentified = 1,
    // No channel, unexpected data, or stopped.
    kNotIdentified = 2,
    // The device waits in its firmware loader (found by the search, by the probe
    // or by a NAK to "ATI4": the person is told, m_bInLoader and m_bQuietEnd are
    // set, the channel stays open); also no answer to the first "ATI4" (the link
    // is down) or none as a varDex (said so; m_bQuietEnd set), which the upgrade
    // goes on from as from a loader.
    kInLoader = -4,
};

// Makes sure a channel to a varDex is open (searching for it and asking the
// person to choose when none is), checks for a firmware loader and reads the
// device's identity into the working record. Blocks for the loader probe
// (kLoaderProbeMs) beside the exchanges, and for the search when the channel
// was closed.
IdentifyResult IdentifyDevice(CJobView* dialog, params::CVarDexConfigurationManagerApp* app);

// What the person is told when the device's answer to command could not be
// read even when asked again.
std::string UnreadableMessage(const std::string& command);

// The not-found message, followed by the ports the search found refused or busy
// and what to do about them.
std::string NotFoundMessage(const std::vector<vardex::link::PortFailure>& failures);

// What the person is told when the channel to the chosen device could not be
// set up: the device's name and path, what failed and what to do.
std::string ConnectFailureMessage(params::CDeviceConfig& record, vardex::link::OpenResult result);

}  // namespace vardex::device
