#include "property_sheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "accessible.h"
#include "help.h"
#include "res/strings.h"

namespace vardex::ui {

// ---- CPropertyPage ----

CPropertyPage::CPropertyPage(const QString& caption, int help_topic)
    : caption_(caption), help_topic_(help_topic) {
    EnsureResources();
    InstallContextHelp(this, help_topic);
}

CPropertyPage::~CPropertyPage() {
    if (sheet_ != nullptr) {
        sheet_->RemovePage(this);
    }
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
        sheet_->EndDialog(QDialog::Accepted);
    }
}

// ---- CPropertySheet ----

CPropertySheet::CPropertySheet(const QString& title, QWidget* parent)
    : CDialog(parent), tabs_(new QTabWidget(this)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    QHBoxLayout* buttons = MakeOkCancelRow();
    QPushButton* apply = MakeButton(ID_APPLY_NOW, Text(res::kTextApply));
    apply->setEnabled(false);
    buttons->addWidget(apply);
    layout->addLayout(buttons);
    QObject::connect(tabs_, &QTabWidget::currentChanged, this,
                     [this](int index) { PageChanged(index); });
    InstallPageKeys(this, tabs_);
}

CPropertySheet::~CPropertySheet() {
    // The tab widget outlives this part of the object and deletes the pages
    // still on it: no signal of it may come back here.
    QObject::disconnect(tabs_, nullptr, this, nullptr);
    for (CPropertyPage* page : pages_) {
        page->sheet_ = nullptr;
    }
}

void CPropertySheet::RemovePage(CPropertyPage* page) {
    const auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end()) {
        return;
    }
    const int index = static_cast<int>(it - pages_.begin());
    pages_.erase(it);
    page->sheet_ = nullptr;
    const bool blocked = tabs_->blockSignals(true);
    tabs_->removeTab(tabs_->indexOf(page));
    tabs_->blockSignals(blocked);
    if (shown_ == index) {
        // The page shown goes without being asked to be left; its neighbour
        // becomes the shown one only when the person picks it.
        shown_ = -1;
    } else if (shown_ > index) {
        --shown_;
    }
    UpdateApplyButton();
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
        EndDialog(QDialog::Accepted);
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
