// The Terminal page: a raw terminal on the device, five switches for the
// device's protocol trace per layer, and a log file of everything received.
// While the page is shown its reader owns the reading side of the channel;
// leaving the page stops the reader, closes the log and switches every trace
// off, so neither traces nor logs outlive a visit.
#pragma once

#include <QFont>
#include <QString>
#include <functional>
#include <string>

#include "terminal_control.h"
#include "ui/pages/record_page.h"
#include "ui/pages/sheet_host.h"

class QPushButton;

namespace vardex::ui {

class CTerminalPage : public CRecordPage {
public:
    static constexpr int IDC_TERMINAL = 1019;
    static constexpr int IDC_TRACE_L1 = 1020;
    static constexpr int IDC_TRACE_L2 = 1021;
    static constexpr int IDC_TRACE_L3 = 1022;
    static constexpr int IDC_TRACE_APP = 1023;
    static constexpr int IDC_TRACE_U = 1024;
    static constexpr int IDC_LOG = 1030;

    explicit CTerminalPage(ISheetHost& host);
    // Stops the reader, then switches the traces off when the page was shown.
    ~CTerminalPage() override;

    // The last state of the check boxes, 0 or 1.
    int m_bTraceApp = 0;
    int m_bTraceL1 = 0;
    int m_bTraceL2 = 0;
    int m_bTraceL3 = 0;
    int m_bTraceU = 0;

    CTerminalControl& Terminal() { return *m_terminal; }

    // The page keeps no values of the record.
    void LoadFrom(const params::CDeviceConfig&) override {}
    void StoreTo(params::CDeviceConfig&) const override {}

    bool OnSetActive() override;
    bool OnKillActive() override;
    void OnOK() override;
    // The terminal: what the person types goes to the device, Enter included.
    QWidget* FirstControl() const override;

    // A device job needs the channel to itself: the reader stops for it (an open
    // log closes) and starts again afterwards when the page is still shown.
    // Returns whether the page is shown (its reader running, or ended on a link
    // that went down).
    bool PauseReader();
    void ResumeReader();

    // Tests: answers the save-file choice instead of the dialog (the Qt filter
    // in, the chosen path out; empty for Cancel).
    using SaveFileHook = std::function<QString(const QString& filter)>;
    static void SetSaveFileHook(SaveFileHook hook);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    void OnTraceClicked(int id);
    void OnLog();
    void SwitchTracesOff();
    // Stops the reader (and with it the log, whose button then reads "Log...").
    void StopTerminal();

    ISheetHost& host_;
    CTerminalControl* m_terminal;
    QPushButton* log_button_;
    std::string log_path_;  // of the log last opened
    QFont m_font;
    bool active_ = false;
};

}  // namespace vardex::ui
