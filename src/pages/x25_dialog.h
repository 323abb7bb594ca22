// "X.25 Properties": the link type, layer 2 and layer 3 parameters, the closed
// user group, the X.121 address and the PAD options used when the connection
// protocol is X.25 on the D channel. The Connection page hands it its copy of
// the X.25 fields and takes them back on OK.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "params/device_config.h"
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

    explicit CX25PropertiesDialog(QWidget* parent = nullptr);

    int m_bCugEnabled = 0;
    int m_nHic = 0;
    int m_nLayer2Window = 0;
    int m_nLayer3Window = 0;
    int m_nPacketSize = -1;  // list index: the record's code minus 4
    int m_nLcn = 0;
    int m_nLic = 0;
    int m_bUsePad = 0;
    int m_bSendRestart = 0;
    int m_nTei = 0;
    int m_bPadCall = 0;
    int m_nWaitRestart = -1;
    std::string m_strAddress;
    int m_nCugNumber = 0;  // 255: no closed user group
    int m_nLinkType = -1;
    int m_nPadProfile = -1;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // "caption [edit][arrows]" as the next row of grid, in box; the arrows
    // step within the field's range.
    QLineEdit* AddNumberRow(QWidget* box, QGridLayout* grid, std::string_view caption, int id,
                            int spin_id, int CDeviceConfig::*field);
    void OnCugClicked();

    struct Spin {
        CSpinButton* button;
        int CDeviceConfig::*field;
    };
    std::vector<Spin> spins_;
};

}  // namespace vardex::ui
