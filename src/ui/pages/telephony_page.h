// The Telephony page: the subscriber numbers of the two analog ports and the
// DTE port with each port's own number, the supplementary services per analog
// port, the connected terminals and their modem LLC octets, and the
// operational settings (protocol, calling line presentation, emergency mode,
// flash duration, caller identification, FSK level). Which controls are
// usable follows the device's country variant, as the field table says.
#pragma once

#include <QWidget>
#include <string>

#include "page_controls.h"
#include "record_page.h"
#include "sheet_host.h"

class QLabel;
class QCheckBox;
class QLineEdit;

namespace vardex::ui {

// One of the port pictures under the columns, drawn to the screen's own
// resolution.
class CPortPicture : public QWidget {
public:
    enum class Kind { kPhone, kComputer };
    CPortPicture(QWidget* parent, int id, Kind kind, const QString& name);
    QSize sizeHint() const override { return {96, 60}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

class CTelephonyPage : public CRecordPage {
public:
    static constexpr int IDC_HEADING_P1 = 1000;
    static constexpr int IDC_HEADING_P2 = 1001;
    static constexpr int IDC_HEADING_DTE = 1002;
    // Subscriber numbers, by port (P1, P2, DTE) and row (#1..#3).
    static constexpr int kNumberIds[3][3] = {
        {3001, 3004, 3005}, {3002, 3006, 3007}, {3003, 3008, 3009}};
    static constexpr int kOwnIds[3][3] = {
        {2019, 2020, 2021}, {2023, 2024, 2025}, {2026, 2027, 2028}};
    static constexpr int IDC_CALL_WAITING1 = 2003, IDC_CALL_WAITING2 = 2008;
    static constexpr int IDC_CLIP_ON_CW1 = 2010, IDC_CLIP_ON_CW2 = 2013;
    static constexpr int IDC_METERING1 = 2005, IDC_METERING2 = 2011;
    static constexpr int IDC_DCB1 = 2006, IDC_DCB2 = 2012;
    static constexpr int IDC_NO_MLPPP1 = 2014, IDC_NO_MLPPP2 = 2015;
    static constexpr int IDC_CLIR1 = 2016, IDC_CLIR2 = 2030;
    static constexpr int IDC_COLR1 = 2017, IDC_COLR2 = 2031;
    static constexpr int IDC_MWI1 = 2029, IDC_MWI2 = 2032;
    static constexpr int IDC_TERMINAL_LABEL = 1046;
    static constexpr int IDC_TERMINAL1 = 2018, IDC_TERMINAL2 = 2022;
    static constexpr int IDC_LLC_LABEL = 1047;
    // 5A, 5C, 5D of each analog port.
    static constexpr int kLlcIds[2][3] = {{3012, 3013, 3014}, {3015, 3016, 3017}};
    static constexpr int IDC_FUNCTIONAL = 2007, IDC_KEYPAD = 2009;
    static constexpr int IDC_CLIP = 1011;
    static constexpr int IDC_EMERGENCY = 1010;
    static constexpr int IDC_FLASH = 1012, IDC_FLASH_SPIN = 1014;
    static constexpr int IDC_BETWEEN_RINGS = 1015, IDC_PRIOR_TO_RINGING = 1016;
    static constexpr int IDC_FSK = 1013, IDC_FSK_SPIN = 1017;
    static constexpr int IDC_PICTURE_P1 = 2004, IDC_PICTURE_P2 = 2033, IDC_PICTURE_DTE = 2034;

    explicit CTelephonyPage(ISheetHost& host);

    int m_bFskFirstChange = 1;
    int m_bFlashFirstChange = 1;

    bool OnSetActive() override;
    void OnOK() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Port 0 P1, 1 P2, 2 DTE.
    int OwnNumber(int port) const;
    void SetOwnNumber(int port, int row);
    std::string& Number(int port, int row);
    void ApplyCountryRules();
    void RefreshOwnBoxes();
    void OnOwnNumberClicked(int port, int row);
    void OnNumberEdited(int port, int row);
    void OnTerminalChosen(int port);
    void OnFlashChange();
    void OnFskChange();
    // Focus left a limited edit (flash, FSK): a value outside its limits is put back.
    void CheckLimits(int id);
    void SettingsChanged();
    void OtherChanged();

    ISheetHost& host_;
    QLabel* headings_[3] = {};
    QCheckBox* own_[3][3] = {};
    CSpinButton* flash_spin_ = nullptr;
    CSpinButton* fsk_spin_ = nullptr;
    bool checking_ = false;
    // The page's marks when the focus entered a limited edit.
    bool modified_before_ = false;
    int settings_before_ = 0;
};

}  // namespace vardex::ui
