// The Connection page: the protocol the DTE port uses on the ISDN line and,
// for PPP, the multilink mode, the bandwidth-on-demand thresholds and BAP.
// Choosing X.25 opens the X.25 properties, whose values the page keeps in its
// copy of the record. Which controls are usable follows the field table, and
// which protocols are offered the device's country variant.
#pragma once

#include "params/connection_rules.h"
#include "params/device_config.h"
#include "record_page.h"
#include "sheet_host.h"

namespace vardex::ui {

class CConnectionPage : public CRecordPage {
public:
    // Protocol radios in the order of m_nProtocol (V.120 before V.110).
    static constexpr int IDC_PPP = 3009, IDC_VOICE_TRANSPARENT = 3013, IDC_PPP_TRANSPARENT = 3010,
                         IDC_DATA_TRANSPARENT = 3011, IDC_V120 = 3016, IDC_V110 = 3017,
                         IDC_X25 = 3021;
    static constexpr int kProtocolIds[params::CDeviceConfig::kProtocolCount] = {
        IDC_PPP,
        IDC_VOICE_TRANSPARENT,
        IDC_PPP_TRANSPARENT,
        IDC_DATA_TRANSPARENT,
        IDC_V120,
        IDC_V110,
        IDC_X25};
    // The multilink choices, in the order of kMultilink* (params/multilink_rule.h).
    static constexpr int IDC_ASYNC_TO_SYNC = 1033, IDC_MULTILINK_FIXED = 1034,
                         IDC_BANDWIDTH_ON_DEMAND = 3018;
    static constexpr int IDC_BAP_SUPPORT = 3019, IDC_BAP_CALL_BACK = 3020;
    static constexpr int IDC_ADD_LABEL = 1003, IDC_ADD_RATE_LABEL = 1005, IDC_ADD_TIME_LABEL = 1007;
    static constexpr int IDC_DROP_LABEL = 1004, IDC_DROP_RATE_LABEL = 1006,
                         IDC_DROP_TIME_LABEL = 1008;
    static constexpr int IDC_ADD_RATE = 2046, IDC_ADD_RATE_SPIN = 2044;
    static constexpr int IDC_ADD_TIME = 2047, IDC_ADD_TIME_SPIN = 2049;
    static constexpr int IDC_DROP_RATE = 2050, IDC_DROP_RATE_SPIN = 2051;
    static constexpr int IDC_DROP_TIME = 2052, IDC_DROP_TIME_SPIN = 2053;

    explicit CConnectionPage(ISheetHost& host);

    // kMultilinkNone, kMultilinkFixed or kMultilinkOnDemand; -1 before the first load.
    int m_nMultilink = -1;

    void LoadFrom(const params::CDeviceConfig& record) override;
    // Takes the multilink choice onto the record's flag and add-channel time.
    void StoreTo(params::CDeviceConfig& record) const override;

    void OnOK() override;

protected:
    // A load of the controls ends with the refresh of the enable rules.
    void DoDataExchange(CDataExchange& dx) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The enable rules; after a person's action also a pending settings change.
    void Refresh(bool user_action);
    // What the PPP rules leave usable for the page's protocol and choices.
    params::PppControls PppRules() const;
    void OnProtocolClicked(int protocol);
    void OnMultilinkClicked(int choice);
    void OnThresholdChange(int id);
    void CheckThreshold(int id);
    void RunX25Dialog();

    ISheetHost& host_;
    // Loading the controls is no change of a person's.
    bool loading_ = false;
    bool checking_ = false;
};

}  // namespace vardex::ui
