#include "property_sheet.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "accessible.h"
#include "help.h"
#include "res/strings.h"

namespace vardex::ui {

namespace {

// A page inside its tab: as large as the page wants where there is room, and
// scrolled where a small screen or a large font leaves too little.
class CPageScroller : public QScrollArea {
public:
    explicit CPageScroller(QWidget* page) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setWidget(page);
    }
    QSize sizeHint() const override {
        const QWidget* page = widget();
        return page != nullptr ? page->sizeHint().expandedTo(page->minimumSizeHint())
                               : QScrollArea::sizeHint();
    }
    QSize minimumSizeHint() const override {
        const int line = fontMetrics().height();
        return {16 * line, 6 * line};
    }
};

// Where the settings file keeps the sizes the person left windows at.
QSettings WindowSettings() {
    return QSettings(QStringLiteral("vardex"), QStringLiteral("vardex-config"));
}

}  // namespace

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

QWidget* CPropertyPage::FirstControl() const {
    // The whole ring, once: the page's controls need not follow it directly.
    QWidget* w = nextInFocusChain();
    for (int guard = 0; w != this && guard < 10000; ++guard, w = w->nextInFocusChain()) {
        const auto* edit = qobject_cast<const QLineEdit*>(w);
        if (isAncestorOf(w) && w->isVisibleTo(this) && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) != 0 && (edit == nullptr || !edit->isReadOnly())) {
            return w;
        }
    }
    return nullptr;
}

// ---- CPropertySheet ----

CPropertySheet::CPropertySheet(const QString& title, QWidget* parent)
    : CDialog(parent), tabs_(new QTabWidget(this)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    QHBoxLayout* buttons = MakeOkCancelRow();
    buttons->setObjectName(QStringLiteral("sheetButtons"));
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
    const int tab = TabIndexOf(page);
    auto* scroller = qobject_cast<QScrollArea*>(tabs_->widget(tab));
    const bool blocked = tabs_->blockSignals(true);
    tabs_->removeTab(tab);
    tabs_->blockSignals(blocked);
    if (scroller != nullptr) {
        // The page is on its way out already: only its frame is deleted here.
        scroller->takeWidget();
        scroller->deleteLater();
    }
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
    tabs_->addTab(new CPageScroller(page), page->Caption());
    tabs_->blockSignals(blocked);
}

int CPropertySheet::TabIndexOf(const CPropertyPage* page) const {
    for (int i = 0; i < tabs_->count(); ++i) {
        const auto* scroller = qobject_cast<const QScrollArea*>(tabs_->widget(i));
        if (scroller != nullptr && scroller->widget() == page) {
            return i;
        }
    }
    return -1;
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
        AssignPageKeys(GetPage(index));
        // A page chosen from inside another (Ctrl+PageDown, an access key)
        // takes the focus; one chosen on the tab bar leaves it there, to go on.
        if (!tabs_->tabBar()->hasFocus() && isVisible()) {
            FocusFirstControl();
        }
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

std::vector<QWidget*> CPropertySheet::FootButtons() const {
    std::vector<QWidget*> buttons;
    const auto* row = findChild<QHBoxLayout*>(QStringLiteral("sheetButtons"));
    for (int i = 0; row != nullptr && i < row->count(); ++i) {
        QWidget* w = row->itemAt(i)->widget();
        if (w != nullptr && (w->focusPolicy() & Qt::TabFocus) != 0) {
            buttons.push_back(w);
        }
    }
    return buttons;
}

void CPropertySheet::PutButtonsLast() {
    const std::vector<QWidget*> foot = FootButtons();
    QWidget* last = nullptr;
    QWidget* w = nextInFocusChain();
    for (int guard = 0; w != this && guard < 10000; ++guard, w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 &&
            std::find(foot.begin(), foot.end(), w) == foot.end()) {
            last = w;
        }
    }
    for (QWidget* button : foot) {
        if (last != nullptr) {
            QWidget::setTabOrder(last, button);
        }
        last = button;
    }
}

void CPropertySheet::FocusFirstControl() {
    CPropertyPage* page = GetActivePage();
    QWidget* first = page != nullptr ? page->FirstControl() : nullptr;
    if (first == nullptr) {
        return;
    }
    // As the keyboard would put it there: the style marks the control.
    setAttribute(Qt::WA_KeyboardFocusChange);
    first->setFocus(Qt::TabFocusReason);
    if (auto* scroller = qobject_cast<QScrollArea*>(tabs_->widget(TabIndexOf(page)))) {
        scroller->ensureWidgetVisible(first);
    }
}

void CPropertySheet::AssignAccessKeys() {
    std::vector<QWidget*> own;
    for (QWidget* w : CaptionedControls(this)) {
        const int id = ControlId(w);
        if (!tabs_->isAncestorOf(w) && id != kOkButton && id != kCancelButton) {
            own.push_back(w);
        }
    }
    shared_keys_ = KeysIn(own);
    // A key a page's own texts mark is that page's: no tab takes it.
    std::set<QChar> for_tabs = shared_keys_;
    for (CPropertyPage* page : pages_) {
        const std::set<QChar> marked = KeysIn(CaptionedControls(page));
        for_tabs.insert(marked.begin(), marked.end());
    }
    for (int i = 0; i < tabs_->count(); ++i) {
        const QString keyed = WithAccessKey(tabs_->tabText(i), for_tabs);
        if (const QChar key = AccessKeyOf(keyed); !key.isNull()) {
            shared_keys_.insert(key);
        }
        tabs_->setTabText(i, keyed);
    }
    GiveAccessKeys(own, shared_keys_);
    shared_ready_ = true;
    if (CPropertyPage* page = GetActivePage()) {
        AssignPageKeys(page);
    }
}

void CPropertySheet::AssignPageKeys(CPropertyPage* page) {
    if (!shared_ready_) {
        return;  // the sheet's own come first, when it is first shown
    }
    std::set<QChar> taken = shared_keys_;
    GiveAccessKeys(CaptionedControls(page), taken);
}

void CPropertySheet::showEvent(QShowEvent* event) {
    CDialog::showEvent(event);
    if (placed_ || event->spontaneous()) {
        return;
    }
    placed_ = true;
    PutButtonsLast();
    if (const QScreen* screen = this->screen()) {
        FitInto(screen->availableGeometry());
    }
}

void CPropertySheet::FitInto(const QRect& available) {
    // The desktop's frame once it has drawn one; before, room for a title bar.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (frame.isNull()) {
        const int line = fontMetrics().height();
        frame = QMargins(line / 4, 2 * line, line / 4, line / 4);
    }
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    QSize wanted = sizeHint();
    if (!size_key_.isEmpty()) {
        const QSize kept = WindowSettings().value(size_key_).toSize();
        if (kept.isValid()) {
            wanted = kept;
        }
    }
    wanted = wanted.expandedTo(minimumSizeHint()).boundedTo(room);
    resize(wanted);
    // A window's position is its frame's.
    move(available.left() + std::max(0, (room.width() - wanted.width()) / 2),
         available.top() + std::max(0, (room.height() - wanted.height()) / 2));
}

void CPropertySheet::done(int result) {
    if (!size_key_.isEmpty() && placed_) {
        WindowSettings().setValue(size_key_, size());
    }
    CDialog::done(result);
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
