// A page of the sheet as the transfers between the pages and the working
// record see it: each page copies the fields it shows, so the sheet needs to
// know none of them.
#pragma once

#include "params/device_config.h"
#include "ui/property_sheet.h"

namespace vardex::ui {

class CRecordPage : public CPropertyPage {
public:
    using CPropertyPage::CPropertyPage;

    // The working record into the page's members after a read (the sheet then
    // reloads the shown page's controls).
    virtual void LoadFrom(const CDeviceConfig& record) = 0;
    // The page's members into the working record before a write.
    virtual void StoreTo(CDeviceConfig& record) const = 0;
};

}  // namespace vardex::ui
