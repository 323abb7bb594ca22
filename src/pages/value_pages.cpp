#include "value_pages.h"

#include <QLabel>
#include <QVBoxLayout>

#include "res/strings.h"

namespace vardex::ui {

CPlaceholderPage::CPlaceholderPage(const QString& caption, int help_topic)
    : CRecordPage(caption, help_topic) {
    auto* heading = new QLabel(caption, this);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    auto* note = new QLabel(Text(res::kTextPageNotYetAvailable), this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(note);
    layout->addStretch(1);
}

void CPlaceholderPage::OnOK() {
    if (host_ == nullptr) {
        CPropertyPage::OnOK();
        return;
    }
    // Changes that could not be written stay pending: the sheet stays open.
    if (host_->WriteDevice()) {
        host_->EndWithOk();
    }
}

}  // namespace vardex::ui
