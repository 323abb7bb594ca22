#include "property_sheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "help.h"
#include "res/strings.h"

namespace vardex::ui {

namespace {
QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

// ---- CPropertyPage ----

CPropertyPage::CPropertyPage(const QString& caption, int help_topic)
    : caption_(caption), help_topic_(help_topic) {
    EnsureResources();
    InstallContextHelp(this, help_topic);
}

void CPropertyPage::SetModified(bool modified) {
    modified_ = modified;
    if (sheet_ != nullptr) {
        sheet_->UpdateApplyButton();
    }
}

bool CPropertyPage::UpdateData(bool save) {
    CDataExchange dx(this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

QPushButton* CPropertyPage::MakeButton(int id, const QString& text) {
    auto* button = new QPushButton(text, this);
    SetControlId(button, id);
    QObject::connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

bool CPropertyPage::OnInitDialog() {
    UpdateData(false);
    return true;
}

bool CPropertyPage::OnSetActive() {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    if (!activated_once_) {
        activated_once_ = true;
        return true;
    }
    UpdateData(false);
    return true;
}

void CPropertyPage::OnOK() {
    if (sheet_ != nullptr) {
        sheet_->EndDialog(1);
    }
}

// ---- CPropertySheet ----

CPropertySheet::CPropertySheet(const QString& title, QWidget* parent)
    : CDialog(parent), tabs_(new QTabWidget(this)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    QPushButton* ok = MakeButton(1, Text(res::kTextOk));
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(MakeButton(2, Text(res::kTextCancel)));
    QPushButton* apply = MakeButton(ID_APPLY_NOW, QStringLiteral("&Apply"));
    apply->setEnabled(false);
    buttons->addWidget(apply);
    layout->addLayout(buttons);
    QObject::connect(tabs_, &QTabWidget::currentChanged, this,
                     [this](int index) { PageChanged(index); });
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    page->sheet_ = this;
    pages_.push_back(page);
    const bool blocked = tabs_->blockSignals(true);
    tabs_->addTab(page, page->Caption());
    tabs_->blockSignals(blocked);
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    const int index = GetActiveIndex();
    return index >= 0 ? GetPage(index) : nullptr;
}

int CPropertySheet::GetActiveIndex() const {
    return shown_;
}

bool CPropertySheet::SetActivePage(int index) {
    if (index < 0 || index >= GetPageCount()) {
        return false;
    }
    tabs_->setCurrentIndex(index);
    return shown_ == index;
}

void CPropertySheet::PageChanged(int index) {
    if (switching_ || index == shown_) {
        return;
    }
    if (shown_ >= 0 && !GetPage(shown_)->OnKillActive()) {
        switching_ = true;
        tabs_->setCurrentIndex(shown_);
        switching_ = false;
        return;
    }
    shown_ = index;
    if (index >= 0) {
        GetPage(index)->OnSetActive();
    }
}

void CPropertySheet::UpdateApplyButton() {
    bool any = false;
    for (const CPropertyPage* page : pages_) {
        any = any || page->IsModified();
    }
    if (QWidget* apply = GetDlgItem(ID_APPLY_NOW)) {
        apply->setEnabled(any);
    }
}

bool CPropertySheet::OnInitDialog() {
    if (shown_ < 0 && !pages_.empty()) {
        shown_ = tabs_->currentIndex();
        GetPage(shown_)->OnSetActive();
    }
    return true;
}

int CPropertySheet::DoModal() {
    return CDialog::DoModal();
}

void CPropertySheet::OnOK() {
    CPropertyPage* page = GetActivePage();
    if (page == nullptr) {
        EndDialog(1);
        return;
    }
    if (!page->OnKillActive()) {
        return;
    }
    page->OnOK();
}

void CPropertySheet::OnCommand(int id) {
    if (id == ID_APPLY_NOW) {
        OnApplyNow();
    }
}

}  // namespace vardex::ui
