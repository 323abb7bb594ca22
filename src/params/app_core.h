// The application object's core: the two device records. The device copy is
// declared first (constructed first, destroyed last); the working record owns the
// only channel to the device.
#pragma once

#include "params/device_config.h"

namespace vardex::params {

class CVarDexConfigurationManagerApp {
public:
    CVarDexConfigurationManagerApp() = default;
    CVarDexConfigurationManagerApp(const CVarDexConfigurationManagerApp&) = delete;
    CVarDexConfigurationManagerApp& operator=(const CVarDexConfigurationManagerApp&) = delete;

    CDeviceConfig m_deviceCopy;     // what the device is known to hold
    CDeviceConfig m_workingRecord;  // what the pages edit and the rows send
};

}  // namespace vardex::params
