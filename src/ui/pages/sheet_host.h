// What the pages ask of the property sheet that hosts them: the record, the
// device jobs, the transfers between pages and record, page switching and the
// closing of the program.
#pragma once

#include <string>

#include "device/job_result.h"

namespace vardex::params {
class CVarDexConfigurationManagerApp;
}

class QWidget;

namespace vardex::ui {

// The jobs a page may start; a write goes through WriteDevice.
enum class DeviceJob { kReadAll, kUpgrade };

class ISheetHost {
public:
    virtual ~ISheetHost() = default;
    virtual params::CVarDexConfigurationManagerApp& App() = 0;
    // Runs a device job under the progress dialog, modal to parent; for a job
    // that did not complete, *quiet_end says whether the failure was already
    // reported.
    // recall: for a read, the profile recall sent once the device is identified.
    virtual device::JobResult RunDeviceJob(DeviceJob job, QWidget* parent, bool* quiet_end,
                                           const std::string& recall = {}) = 0;
    // Writes the pending changes; true when none remain pending afterwards.
    virtual bool WriteDevice() = 0;
    // 1: pages to working record; 0: working record to pages.
    virtual int TransferRecord(int to_record) = 0;
    virtual bool SetActivePage(int index) = 0;
    // Ends the program (the sheet closes with Cancel), once no job runs.
    virtual void PostClose() = 0;
    // Ends the sheet with OK.
    virtual void EndWithOk() = 0;
};

}  // namespace vardex::ui
