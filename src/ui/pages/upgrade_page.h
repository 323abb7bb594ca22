// The Information page: greeting, the device's identity and CRC, the charge
// counters with Reset, profile recall, the store and power-up profile choices,
// the firmware upgrade and two shortcuts to the Telephony and Connection pages.
#pragma once

#include "record_page.h"
#include "sheet_host.h"

class QLabel;
class QComboBox;

namespace vardex::ui {

class CUpgradePage : public CRecordPage {
public:
    static constexpr int IDC_WELCOME = 2046;
    static constexpr int IDC_COUNTRY = 3004;
    static constexpr int IDC_MODEL = 3000;
    static constexpr int IDC_HARDWARE = 3001;
    static constexpr int IDC_FIRMWARE = 3002;
    static constexpr int IDC_CRC = 3012;
    static constexpr int IDC_UPGRADE = 3003;
    static constexpr int IDC_LAST_PHONE1 = 3005;
    static constexpr int IDC_LAST_PHONE2 = 3006;
    static constexpr int IDC_LAST_DTE = 3007;
    static constexpr int IDC_TOTAL_PHONE1 = 3008;
    static constexpr int IDC_TOTAL_PHONE2 = 3009;
    static constexpr int IDC_TOTAL_DTE = 3010;
    static constexpr int IDC_RESET = 3011;
    static constexpr int IDC_SOURCE = 2040;
    static constexpr int IDC_DESTINATION = 2041;
    static constexpr int IDC_POWER_UP = 2042;
    static constexpr int IDC_GO_TELEPHONY = 2026;
    static constexpr int IDC_GO_CONNECTION = 2027;
    static constexpr int IDC_PICTURE = 2018;

    explicit CUpgradePage(ISheetHost& host);

    // The source list is an action, not a field: the profile to recall,
    // "Active Profile" (none) after every load.
    int m_nSource = 0;  // "Active Profile", "Profile #0".."#3", "Factory Defaults"

    // The identity and the charge counters in (a reset still to be written
    // shows as done); the power-up and store profile choices out.
    void LoadFrom(const params::CDeviceConfig& record) override;

    void OnOK() override;
    // With the device in its loader only the upgrade stays usable: no recall,
    // no profile choices, no charge reset, no shortcuts to the other pages.
    void SetLoaderMode(bool on);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    void OnUpgrade();
    void OnRecallProfile();
    void OnProfileChoice();
    void OnResetCharges();

    ISheetHost& host_;
    QLabel* welcome_;
};

}  // namespace vardex::ui
