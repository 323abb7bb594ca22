#include "restore_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "res/strings.h"
#include "settings/json_reader.h"
#include "ui/accessible.h"

using namespace vardex::params;

namespace vardex::ui {
namespace {

constexpr const char* kCaption = "Restore Settings";
constexpr const char* kChooseText =
    "Backups of this device's settings, kept before each write (newest first):";
constexpr const char* kNoBackupText = "No backup of this device's settings has been kept.";
constexpr const char* kSameText = "The device holds these settings already.";
constexpr const char* kUnreadableFormat = "This backup cannot be read: %s";
constexpr const char* kRestoreText = "Restore";
constexpr const char* kBackupsName = "Backups";
constexpr const char* kChangesName = "What the backup changes";

}  // namespace

CRestoreDialog::CRestoreDialog(QWidget* parent, const CDeviceConfig& device,
                               const std::string& port, ChangeLabel label)
    : CDialog(parent), device_(device), label_(std::move(label)) {
    if (!label_) {
        label_ = [](const settings::ItemChange& change) { return change.readable; };
    }
    setWindowTitle(QString::fromUtf8(kCaption));
    // Another unit's settings would give this one its numbers; another
    // variant's would mean other things, or be refused half way.
    for (settings::Backup& backup : settings::ListBackups().value_or({})) {
        if (settings::SameUnit(backup, device, port)) {
            backups_.push_back(std::move(backup));
        }
    }
    auto* list = new QListWidget(this);
    SetControlId(list, IDC_BACKUPS);
    // A line longer than the list is shortened in its middle, whole on hovering.
    list->setTextElideMode(Qt::ElideMiddle);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* changes = new QPlainTextEdit(this);
    SetControlId(changes, IDC_CHANGES);
    changes->setReadOnly(true);
    changes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto* heading =
        new QLabel(QString::fromUtf8(backups_.empty() ? kNoBackupText : kChooseText), this);
    NameControl(list, {QString::fromUtf8(kBackupsName)}, heading);
    NameControl(changes, {QString::fromUtf8(kChangesName)});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(list);
    layout->addWidget(changes);
    layout->addLayout(MakeOkCancelRow());
    Item<QPushButton>(kOkButton)->setText(QString::fromUtf8(kRestoreText));
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) { ShowBackup(row); });
}

bool CRestoreDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    auto* list = Item<QListWidget>(IDC_BACKUPS);
    int widest = 0;
    for (const settings::Backup& backup : backups_) {
        const QString line = QString::fromStdString(
            backup.time + " UTC  " +
            settings::DescribeDevice(backup.country, backup.model, backup.firmware, backup.crc));
        auto* item = new QListWidgetItem(line, list);
        item->setToolTip(line);
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(line));
    }
    // Wide enough for the lines where the screen has the room.
    list->setMinimumWidth(
        std::min(widest + 4 * list->fontMetrics().averageCharWidth(),
                 screen() != nullptr ? screen()->availableGeometry().width() * 3 / 4 : widest));
    if (backups_.empty()) {
        ShowBackup(-1);
    } else {
        list->setCurrentRow(0);
    }
    return true;
}

void CRestoreDialog::ShowBackup(int row) {
    changes_.clear();
    std::string shown;
    if (row >= 0 && row < static_cast<int>(backups_.size())) {
        const auto text = settings::ReadSettingsFile(backups_[row].path);
        bool readable = text.has_value();
        std::string why = readable ? std::string() : text.error();
        if (readable) {
            if (const auto parsed = settings::ParseFieldsJson(*text, &changes_); !parsed) {
                readable = false;
                why = parsed.error().text;
            }
        }
        if (!readable) {
            changes_.clear();
            shown = res::FormatText(kUnreadableFormat, {why});
        } else {
            CDeviceConfig wanted;
            wanted.CopyFrom(device_);
            settings::ApplyChanges(changes_, &wanted);
            for (const settings::ItemChange& c : settings::Differences(device_, wanted)) {
                shown += label_(c) + ": " + c.before + " -> " + c.after + "\n";
            }
            if (shown.empty()) {
                changes_.clear();
                shown = kSameText;
            }
        }
    }
    Item<QPlainTextEdit>(IDC_CHANGES)->setPlainText(QString::fromStdString(shown));
    Item<QPushButton>(kOkButton)->setEnabled(!changes_.empty());
}

void CRestoreDialog::OnOK() {
    if (!changes_.empty()) {
        CDialog::OnOK();
    }
}

}  // namespace vardex::ui
