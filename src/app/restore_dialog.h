// "Restore Settings": the backups kept of this device's variant, newest first,
// and for the one chosen the settings that differ from the device's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "params/device_config.h"
#include "settings/backup_store.h"
#include "settings/record_fields.h"
#include "ui/dialog.h"

namespace vardex::ui {

class CRestoreDialog : public CDialog {
public:
    static constexpr int IDC_BACKUPS = 1060;
    static constexpr int IDC_CHANGES = 1061;

    // How a setting is named to the person: its on-screen label where the
    // window has one (the readable name by default).
    using ChangeLabel = std::function<std::string(const settings::ItemChange&)>;

    // device: what the device is known to hold.
    // port: the unit's (its backups are those listed).
    CRestoreDialog(QWidget* parent, const params::CDeviceConfig& device, const std::string& port,
                   ChangeLabel label = {});

    // The chosen backup's fields, once the dialog ended with Accepted.
    const std::vector<settings::FieldChange>& Changes() const { return changes_; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void ShowBackup(int row);

    const params::CDeviceConfig& device_;
    ChangeLabel label_;
    std::vector<settings::Backup> backups_;
    std::vector<settings::FieldChange> changes_;
};

}  // namespace vardex::ui
