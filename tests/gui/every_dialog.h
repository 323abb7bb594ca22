// Every dialog the program opens besides the sheet, for the tests that walk
// them all.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/about_dialog.h"
#include "app/restore_dialog.h"
#include "params/device_config.h"
#include "ui/device/cancel_confirm_dialog.h"
#include "ui/device/comm_progress_dialog.h"
#include "ui/device/device_list_dialog.h"
#include "ui/pages/storage_confirm_dialog.h"
#include "ui/pages/x25_dialog.h"
#include "ui/selftest/self_test_progress.h"

namespace vardex::test {

// Every dialog the program opens besides the sheet, on record, each with a name
// for the messages.
inline std::vector<std::pair<QString, std::unique_ptr<ui::CDialog>>> EveryDialog(
    params::CDeviceConfig& record) {
    std::vector<std::pair<QString, std::unique_ptr<ui::CDialog>>> dialogs;
    dialogs.emplace_back("X.25", std::make_unique<ui::CX25PropertiesDialog>(record));
    dialogs.emplace_back("storage", std::make_unique<ui::CStorageConfirmDialog>());
    dialogs.emplace_back(
        "device list", std::make_unique<ui::CDeviceListDialog>("varDex", "Choose",
                                                               std::vector<std::string>{"a", "b"}));
    dialogs.emplace_back("self test", std::make_unique<ui::CSelfTestProgress>(record));
    dialogs.emplace_back("progress", std::make_unique<ui::CCommProgressDialog>(nullptr));
    dialogs.emplace_back("cancel", std::make_unique<ui::CCancelConfirmDialog>());
    dialogs.emplace_back("about", std::make_unique<ui::CAboutDialog>());
    dialogs.emplace_back("restore",
                         std::make_unique<ui::CRestoreDialog>(nullptr, record, "/dev/ttyS0"));
    return dialogs;
}

}  // namespace vardex::test
