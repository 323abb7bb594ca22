// "X.25 Properties": the link type, layer 2 and layer 3 parameters, the closed
// user group, the X.121 address and the PAD options used when the connection
// protocol is X.25 on the D channel. The Connection page hands it its copy of
// the record and takes the bound X.25 fields back on OK.
#pragma once

#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "params/device_config.h"
#include "record_page.h"
#include "ui/dialog.h"

class QGridLayout;
class QLineEdit;

namespace vardex::ui {

class CSpinButton;

class CX25PropertiesDialog : public CDialog {
public:
    static constexpr int IDC_ENABLE_CUG = 1060;
    static constexpr int IDC_HIC = 2064, IDC_HIC_SPIN = 2065;
    static constexpr int IDC_L2_WINDOW = 2054, IDC_L2_WINDOW_SPIN = 2055;
    static constexpr int IDC_L3_WINDOW = 2056, IDC_L3_WINDOW_SPIN = 2057;
    static constexpr int IDC_PACKET_SIZE = 1058;
    static constexpr int IDC_LCN = 2068, IDC_LCN_SPIN = 2069;
    static constexpr int IDC_LIC = 2048, IDC_LIC_SPIN = 2045;
    static constexpr int IDC_USE_PAD = 1054;
    static constexpr int IDC_SEND_RESTART = 1056;
    static constexpr int IDC_TEI = 2066, IDC_TEI_SPIN = 2067;
    static constexpr int IDC_PAD_CALL = 1053;
    static constexpr int IDC_WAIT_RESTART = 1061;
    static constexpr int IDC_ADDRESS = 1052;
    static constexpr int IDC_CUG_NUMBER = 2058, IDC_CUG_SPIN = 2059;
    static constexpr int IDC_SVC = 1064, IDC_PVC = 1065, IDC_SPVC = 1066;
    static constexpr int IDC_DEFAULT_PAD_PROFILE = 1062, IDC_TRANSPARENT_PROFILE = 1063;

    // Link type radio indexes.
    static constexpr int kLinkSvc = 0, kLinkPvc = 1, kLinkSpvc = 2;

    // Works on its own copy of record: Cancel leaves the caller's as it was.
    explicit CX25PropertiesDialog(const params::CDeviceConfig& record, QWidget* parent = nullptr);

    // Every X.25 field with the control that shows it.
    static std::span<const FieldBinding> Bindings();
    // The values as OK took them.
    const params::CDeviceConfig& Record() const { return record_; }

    int m_bCugEnabled = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // "caption [edit][arrows]" as the next row of grid, in box; the arrows
    // step within the range of the edit's field.
    QLineEdit* AddNumberRow(QWidget* box, QGridLayout* grid, std::string_view caption, int id,
                            int spin_id);
    void OnCugClicked();
    // The value of the field bound to control id.
    int Value(int id) const;
    void SetValue(int id, int value);

    // The arrows and the id of their edit.
    std::vector<std::pair<CSpinButton*, int>> spins_;
    params::CDeviceConfig record_;
};

}  // namespace vardex::ui
