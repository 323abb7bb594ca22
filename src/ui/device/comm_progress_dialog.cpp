#include "comm_progress_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "device_list_dialog.h"
#include "job_animation.h"
#include "res/strings.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"

using namespace vardex::device;
using namespace vardex::link;

namespace vardex::ui {

namespace {

CCommProgressDialog::FileChoiceHook& FileHook() {
    static CCommProgressDialog::FileChoiceHook hook;
    return hook;
}

// Status texts come with CR line breaks and tab-aligned columns.
QString Displayable(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}
}  // namespace

QString ConvertFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& label = parts[i];
        const QString& patterns = parts[i + 1];
        if (label.isEmpty() || patterns.isEmpty()) {
            break;
        }
        QStringList globs = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& glob : globs) {
            // "*.*" means every file; on Linux many names have no dot.
            if (glob == QLatin1String("*.*")) {
                glob = QStringLiteral("*");
            }
        }
        QString name = label;
        const qsizetype paren = name.indexOf(QLatin1Char('('));
        if (paren >= 0) {
            name = name.left(paren).trimmed();
        }
        out << QStringLiteral("%1 (%2)").arg(name, globs.join(QLatin1Char(' ')));
    }
    return out.join(QLatin1String(";;"));
}

void CCommProgressDialog::SetFileChoiceHook(FileChoiceHook hook) {
    FileHook() = std::move(hook);
}

CCommProgressDialog::CCommProgressDialog(QWidget* parent, QWidget* owner)
    : CDialog(parent),
      animation_(new CJobAnimation(this)),
      progress_(new QProgressBar(this)),
      status_(new QLabel(this)),
      owner_(owner != nullptr ? owner : (parent != nullptr ? parent->window() : nullptr)),
      confirm_(this) {
    setWindowTitle(Text(res::kTextCommProgressCaption));
    setWindowFlag(Qt::WindowCloseButtonHint, true);
    SetControlId(animation_, IDC_ANIMATION);
    SetControlId(progress_, IDC_PROGRESS);
    SetControlId(status_, IDC_STATUS);
    progress_->setTextVisible(false);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(false);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the six lines of the device summary.
    status_->setMinimumSize(420, status_->fontMetrics().lineSpacing() * 7);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(animation_, 0, Qt::AlignHCenter);
    layout->addWidget(progress_);
    layout->addWidget(status_, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(MakeButton(kCancelButton, Text(res::kTextCancel)));
    buttons->addStretch(1);
    layout->addLayout(buttons);
}

CCommProgressDialog::~CCommProgressDialog() = default;

bool CCommProgressDialog::OnInitDialog() {
    animation_->Play();
    return true;
}

// The window ends only through EndModal, so Accepted is a completed job.
JobResult CCommProgressDialog::RunModal(CCommProgress& job) {
    job_ = &job;
    const int result = DoModal();
    animation_->Stop();
    job_ = nullptr;
    return result == QDialog::Accepted ? JobResult::kDone : JobResult::kStopped;
}

void CCommProgressDialog::EndModal(JobResult result) {
    EndDialog(result == JobResult::kDone ? QDialog::Accepted : QDialog::Rejected);
}

void CCommProgressDialog::OnCancel() {
    if (job_ != nullptr && !Ended()) {
        job_->OnCancelCommand();
    }
}

bool CCommProgressDialog::ConfirmCancel() {
    return confirm_.DoModal() == QDialog::Accepted;
}

void CCommProgressDialog::CloseConfirmation() {
    if (confirm_.isVisible()) {
        confirm_.EndDialog(QDialog::Rejected);
    }
}

void CCommProgressDialog::PostEndMessage() {
    PostToGuiThread(this, [this] {
        if (job_ != nullptr) {
            job_->OnEndMessage();
        }
    });
}

void CCommProgressDialog::SetCaption(const std::string& text) {
    CallOnGuiThread(this, [&] { setWindowTitle(QString::fromStdString(text)); });
}

void CCommProgressDialog::SetStatusText(const std::string& text) {
    CallOnGuiThread(this, [&] { status_->setText(Displayable(text)); });
}

void CCommProgressDialog::EnableCancel(bool enable) {
    CallOnGuiThread(this, [&] {
        if (QWidget* cancel = GetDlgItem(kCancelButton)) {
            cancel->setEnabled(enable);
        }
    });
}

void CCommProgressDialog::SetProgressRange(int lower, int upper) {
    CallOnGuiThread(this, [&] { progress_->setRange(lower, upper); });
}

void CCommProgressDialog::SetProgressPos(int position) {
    CallOnGuiThread(this, [&] { progress_->setValue(position); });
}

void CCommProgressDialog::ShowMessage(const std::string& text, MessageIcon icon) {
    CallOnGuiThread(this, [&] { AppMessageBox(this, text, icon); });
}

Choice CCommProgressDialog::ChooseFromList(const std::string& caption, const std::string& prompt,
                                           const std::vector<std::string>& items, int* selected) {
    return CallOnGuiThread(this, [&] {
        CDeviceListDialog list(caption, prompt, items, this);
        const bool made = list.DoModal() == QDialog::Accepted;
        *selected = made ? list.Chosen() : -1;
        return made ? Choice::kMade : Choice::kCancelled;
    });
}

bool CCommProgressDialog::ChooseOpenFile(const std::string& filter, const std::string&,
                                         std::string* path) {
    const QString chosen = CallOnGuiThread(this, [&] {
        const QString qt_filter = ConvertFileFilter(filter);
        if (FileHook()) {
            return FileHook()(qt_filter);
        }
        return QFileDialog::getOpenFileName(this, QString(), QString(), qt_filter);
    });
    if (chosen.isEmpty()) {
        return false;
    }
    *path = chosen.toStdString();
    return true;
}

void CCommProgressDialog::CloseOwner() {
    if (owner_.isNull()) {
        return;
    }
    QWidget* owner = owner_.data();
    // Posted, as a window message would be: the owner closes once it gets to it.
    PostToGuiThread(owner, [owner] { owner->close(); });
}

}  // namespace vardex::ui
