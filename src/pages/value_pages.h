// The pages whose controls are still to come: each shows its caption and a
// note.
#pragma once

#include "pages/record_page.h"
#include "pages/sheet_host.h"

namespace vardex::ui {

// A page whose controls are not there yet: its caption and a short note. OK
// from it writes the pending changes of the other pages, as from any page.
// Alone it holds no values, so its transfers copy nothing.
class CPlaceholderPage : public CRecordPage {
public:
    CPlaceholderPage(const QString& caption, int help_topic);
    void SetHost(ISheetHost* host) { host_ = host; }
    void OnOK() override;
    void LoadFrom(const CDeviceConfig&) override {}
    void StoreTo(CDeviceConfig&) const override {}

private:
    ISheetHost* host_ = nullptr;
};

}  // namespace vardex::ui
