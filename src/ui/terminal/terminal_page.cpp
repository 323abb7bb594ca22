#include "terminal_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "params/app_core.h"
#include "res/strings.h"
#include "terminal/trace_switches.h"
#include "ui/accessible.h"
#include "ui/device/comm_progress_dialog.h"
#include "ui/help.h"
#include "ui/message_box.h"

using namespace vardex::params;
using namespace vardex::link;

namespace vardex::ui {

namespace {

using terminal::TraceLayer;

// The terminal's own text size, in pixels, where the desktop's font is smaller.
constexpr int kTerminalPixels = 12;

CTerminalPage::SaveFileHook& SaveHook() {
    static CTerminalPage::SaveFileHook hook;
    return hook;
}

struct TraceBox {
    int id;
    TraceLayer layer;
    std::string_view caption;
};

// Top to bottom as the page shows them.
constexpr TraceBox kTraceBoxes[] = {
    {CTerminalPage::IDC_TRACE_U, TraceLayer::kU, res::kTextTraceU},
    {CTerminalPage::IDC_TRACE_L1, TraceLayer::kL1, res::kTextTraceL1},
    {CTerminalPage::IDC_TRACE_L2, TraceLayer::kL2, res::kTextTraceL2},
    {CTerminalPage::IDC_TRACE_L3, TraceLayer::kL3, res::kTextTraceL3},
    {CTerminalPage::IDC_TRACE_APP, TraceLayer::kApp, res::kTextTraceApp},
};

// printf's "%s" of a string-table text, filled once.
std::string WithPath(std::string_view format, const std::string& path) {
    std::string text(format);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, path);
    }
    return text;
}

}  // namespace

void CTerminalPage::SetSaveFileHook(SaveFileHook hook) {
    SaveHook() = std::move(hook);
}

CTerminalPage::CTerminalPage(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageTerminal), kHelpTerminal),
      host_(host),
      m_terminal(new CTerminalControl(this)),
      log_button_(nullptr) {
    SetControlId(m_terminal, IDC_TERMINAL);
    NameControl(m_terminal, {Caption()});
    m_terminal->SetPort(&host_.App().m_workingRecord);
    // A log that stops on a failed write (disk full, file gone) says so, and the
    // button starts a new one, rather than a log that silently ends.
    m_terminal->m_onLogFailed = [this] {
        log_button_->setText(Text(res::LoadString(res::IDS_LOG_START)));
        AppMessageBox(this, WithPath(res::LoadString(res::IDS_LOG_OPEN_FAILED), log_path_),
                      MessageIcon::Exclamation);
    };
    // A fixed-pitch face of 12 pixels, or as large as the desktop's own font
    // where that is larger: a person who reads large text reads the device too.
    m_font = QFont(QStringLiteral("Courier"));
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
    m_font.setPixelSize(std::max(kTerminalPixels, QFontInfo(font()).pixelSize()));
    m_font.setWeight(QFont::Normal);
    m_terminal->setFont(m_font);

    auto* column = new QVBoxLayout();
    column->addStretch(1);
    auto* trace = new QLabel(Text(res::kTextTrace), this);
    column->addWidget(trace);
    for (const TraceBox& box : kTraceBoxes) {
        auto* check = new QCheckBox(Text(box.caption), this);
        SetControlId(check, box.id);
        NameControl(check, {trace->text(), check->text()});
        // The text stands left of the box.
        check->setLayoutDirection(Qt::RightToLeft);
        const int id = box.id;
        connect(check, &QCheckBox::clicked, this, [this, id] { OnTraceClicked(id); });
        column->addWidget(check);
    }
    column->addSpacing(24);
    log_button_ = MakeButton(IDC_LOG, Text(res::kTextLogButtonTemplate));
    column->addWidget(log_button_);
    column->addStretch(2);

    // The switches beside the screen, over its height; the page's spare room
    // goes below and to the right.
    auto* row = new QHBoxLayout();
    row->addWidget(m_terminal, 0, Qt::AlignTop | Qt::AlignLeft);
    row->addSpacing(12);
    row->addLayout(column);
    row->addStretch(1);
    auto* page = new QVBoxLayout(this);
    page->addLayout(row);
    page->addStretch(1);
}

CTerminalPage::~CTerminalPage() {
    // The reader first, so that the exchange never meets it on the channel.
    m_terminal->StopReader();
    if (active_) {
        SwitchTracesOff();
    }
}

void CTerminalPage::DoDataExchange(CDataExchange& dx) {
    dx.Check(IDC_TRACE_APP, m_bTraceApp);
    dx.Check(IDC_TRACE_L1, m_bTraceL1);
    dx.Check(IDC_TRACE_L2, m_bTraceL2);
    dx.Check(IDC_TRACE_L3, m_bTraceL3);
    dx.Check(IDC_TRACE_U, m_bTraceU);
}

bool CTerminalPage::OnInitDialog() {
    CRecordPage::OnInitDialog();
    log_button_->setText(Text(res::LoadString(res::IDS_LOG_START)));
    return true;
}

QWidget* CTerminalPage::FirstControl() const {
    return m_terminal;
}

bool CTerminalPage::OnSetActive() {
    active_ = true;
    m_terminal->StartReader();
    return CRecordPage::OnSetActive();
}

void CTerminalPage::StopTerminal() {
    const bool had_log = m_terminal->IsLogOpen();
    m_terminal->StopReader();
    if (had_log) {
        // The log went with the reader: the button starts a new one.
        log_button_->setText(Text(res::LoadString(res::IDS_LOG_START)));
    }
}

bool CTerminalPage::OnKillActive() {
    StopTerminal();
    active_ = false;
    SwitchTracesOff();
    for (const TraceBox& box : kTraceBoxes) {
        Item<QCheckBox>(box.id)->setChecked(false);
    }
    return CRecordPage::OnKillActive();
}

void CTerminalPage::SwitchTracesOff() {
    terminal::SendAllTracesOff(host_.App().m_workingRecord);
}

bool CTerminalPage::PauseReader() {
    // A reader that ended on a link gone down counts as paused too: the job
    // searches for the device again, and the terminal reads it afterwards.
    if (!active_) {
        return false;
    }
    StopTerminal();
    return true;
}

void CTerminalPage::ResumeReader() {
    if (active_) {
        m_terminal->StartReader();
    }
}

void CTerminalPage::OnOK() {
    StopTerminal();
    // Changes that could not be written stay pending: the sheet stays open, and
    // the page with it, so its terminal goes on.
    if (host_.WriteDevice()) {
        host_.EndWithOk();
    } else if (active_) {
        m_terminal->StartReader();
    }
}

void CTerminalPage::OnCommand(int id) {
    if (id == IDC_LOG) {
        OnLog();
    }
}

void CTerminalPage::OnTraceClicked(int id) {
    for (const TraceBox& box : kTraceBoxes) {
        if (box.id != id) {
            continue;
        }
        const bool on = Item<QCheckBox>(id)->checkState() == Qt::Checked;
        int* member = id == IDC_TRACE_U    ? &m_bTraceU
                      : id == IDC_TRACE_L1 ? &m_bTraceL1
                      : id == IDC_TRACE_L2 ? &m_bTraceL2
                      : id == IDC_TRACE_L3 ? &m_bTraceL3
                                           : &m_bTraceApp;
        *member = on ? 1 : 0;
        CDeviceConfig& record = host_.App().m_workingRecord;
        // Not reported when it cannot be written: the box keeps the choice.
        terminal::WriteTraceSwitch(record, box.layer, on, record.m_bUsbConnection != 0);
    }
    m_terminal->setFocus(Qt::OtherFocusReason);
}

void CTerminalPage::OnLog() {
    m_terminal->setFocus(Qt::OtherFocusReason);
    if (m_terminal->IsLogOpen()) {
        m_terminal->CloseLog();
        log_button_->setText(Text(res::LoadString(res::IDS_LOG_START)));
        return;
    }
    const QString filter =
        ConvertFileFilter(std::string(res::LoadString(res::IDS_LOG_FILE_FILTER)));
    QString chosen;
    if (SaveHook()) {
        chosen = SaveHook()(filter);
    } else {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(filter.split(QStringLiteral(";;")));
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            chosen = dialog.selectedFiles().front();
        }
    }
    if (chosen.isEmpty()) {
        return;
    }
    const std::string path = chosen.toStdString();
    if (m_terminal->OpenLog(path)) {
        log_path_ = path;
        log_button_->setText(Text(res::LoadString(res::IDS_LOG_STOP)));
        return;
    }
    AppMessageBox(this, WithPath(res::LoadString(res::IDS_LOG_OPEN_FAILED), path),
                  MessageIcon::Exclamation);
}

}  // namespace vardex::ui
