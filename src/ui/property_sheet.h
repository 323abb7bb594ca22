// A modal property sheet with OK, Cancel and Apply and pages that can be marked
// modified: the program's main window is one.
#pragma once

#include <QChar>
#include <QString>
#include <QWidget>
#include <set>
#include <vector>

#include "dialog.h"

class QTabWidget;

namespace vardex::ui {

class CPropertySheet;

class CPropertyPage : public QWidget {
public:
    CPropertyPage(const QString& caption, int help_topic);
    // A page that goes before its sheet leaves the sheet first, so the tab
    // switch its removal causes never reaches a page already gone.
    ~CPropertyPage() override;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    const QString& Caption() const { return caption_; }
    int HelpTopic() const { return help_topic_; }

    // Marks the page as holding (or not) changes not yet applied; the sheet's
    // Apply button follows the pages.
    void SetModified(bool modified = true);
    bool IsModified() const { return modified_; }

    QWidget* GetDlgItem(int id) const { return FindControl(this, id); }
    template <typename T>
    T* Item(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    bool UpdateData(bool save = true);
    QPushButton* MakeButton(int id, const QString& text);

    // The page becomes the shown one. The base loads the controls from the
    // members on every activation but the first (OnInitDialog loaded them).
    virtual bool OnSetActive();
    // The page stops being the shown one; false keeps it shown. The base takes
    // the controls into the members.
    virtual bool OnKillActive() { return UpdateData(true); }
    // The sheet's OK button, sent to the shown page. The base ends the sheet with OK.
    virtual void OnOK();
    // The control the focus goes to when the page is shown: by default the
    // first one the Tab key reaches.
    virtual QWidget* FirstControl() const;

protected:
    virtual void DoDataExchange(CDataExchange&) {}
    // First activation, before the page is shown; the base loads the controls.
    virtual bool OnInitDialog();
    virtual void OnCommand(int) {}

private:
    friend class CPropertySheet;
    QString caption_;
    int help_topic_;
    CPropertySheet* sheet_ = nullptr;
    bool modified_ = false;
    bool initialised_ = false;
    bool activated_once_ = false;
};

class CPropertySheet : public CDialog {
public:
    static constexpr int ID_APPLY_NOW = 12321;

    explicit CPropertySheet(const QString& title, QWidget* parent = nullptr);
    ~CPropertySheet() override;
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;

    void AddPage(CPropertyPage* page);
    int GetPageCount() const { return static_cast<int>(pages_.size()); }
    CPropertyPage* GetPage(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const;
    // Shows page index (the shown page may refuse to be left).
    bool SetActivePage(int index);

    // Follows the pages' modified marks.
    void UpdateApplyButton();

    int DoModal() override;

    // Sizes the sheet to fit available (a screen's free area, the desktop's
    // frame included) and centres it there: pages scroll inside it where the
    // room is short, the buttons stay on the screen.
    void FitInto(const QRect& available);
    // The shown page's first control takes the focus, marked as the keyboard
    // marks it, and scrolls into view.
    void FocusFirstControl();
    // The size the person left the sheet at is kept under key for the next start.
    void RememberSizeAs(const QString& key) { size_key_ = key; }

protected:
    // Apply button. The base applies nothing: the sheet decides.
    virtual void OnApplyNow() {}
    // OK goes to the shown page once it accepts being left.
    void OnOK() override;
    void OnCommand(int id) override;
    bool OnInitDialog() override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    // The tab captions and the buttons share their keys with every page.
    void AssignAccessKeys() override;

    QTabWidget* Tabs() const { return tabs_; }

private:
    friend class CPropertyPage;
    void PageChanged(int index);
    void RemovePage(CPropertyPage* page);
    int TabIndexOf(const CPropertyPage* page) const;
    // The buttons at the foot come after every page's controls in the Tab order.
    void PutButtonsLast();
    std::vector<QWidget*> FootButtons() const;
    // The page's controls take the keys the tabs and buttons leave.
    void AssignPageKeys(CPropertyPage* page);

    QTabWidget* tabs_;
    std::vector<CPropertyPage*> pages_;
    int shown_ = -1;
    bool switching_ = false;
    bool placed_ = false;
    QString size_key_;
    std::set<QChar> shared_keys_;
    bool shared_ready_ = false;
};

}  // namespace vardex::ui
