// The simulated varDex on a pseudo-terminal with the working record's channel
// open on it, as the search would leave it: the set-up the read benchmarks share.
#pragma once

#include <cstdio>
#include <string>

#include "link/tapi_line.h"
#include "params/app_core.h"
#include "pty_device.h"

namespace vardex::bench {

// False, with the reason on stderr, when the simulator or the port fails.
inline bool OpenSimulatedDevice(sim::PtyDevice& device,
                                params::CVarDexConfigurationManagerApp& app) {
    platform::SysError error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.Message().c_str());
        return false;
    }
    params::CDeviceConfig& w = app.m_workingRecord;
    if (w.Line().OpenPort(device.Path(), link::kLineBaud) != link::OpenResult::kOk) {
        std::fprintf(stderr, "cannot open %s\n", device.Path().c_str());
        return false;
    }
    w.Line().SelectDirectPort(device.Path());
    return true;
}

}  // namespace vardex::bench
