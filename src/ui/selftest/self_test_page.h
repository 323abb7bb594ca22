// The Self Test page: the device's hardware tests in a list with the result
// and faults of their last run, and the buttons that run the selected tests,
// all of them, or those not passed. Each test runs in CSelfTestProgress on
// both analog ports; results live only as long as the list.
#pragma once

#include <QIcon>
#include <vector>

#include "selftest/self_test.h"
#include "ui/pages/record_page.h"
#include "ui/pages/sheet_host.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace vardex::ui {

class CSelfTestPage1 : public CRecordPage {
public:
    static constexpr int IDC_LIST = 1044;
    static constexpr int IDC_TEST = 1045;
    static constexpr int IDC_TEST_ALL = 1046;
    static constexpr int IDC_TEST_NOT_PASSED = 1047;
    // The result images, in the order of the image list.
    static constexpr int kImageNotTested = 0;
    static constexpr int kImagePassed = 1;
    static constexpr int kImageFailed = 2;
    static constexpr int kImageInterrupted = 3;
    // Item data of a row: its test number (column 0).
    static constexpr int kTestRole = Qt::UserRole;
    // The row's image index (column 0), which "Test Not Passed..." reads.
    static constexpr int kImageRole = Qt::UserRole + 1;
    static constexpr int kPorts = 3;

    explicit CSelfTestPage1(ISheetHost& host);

    QTreeWidget* List() const { return list_; }
    // The row's test number and image index.
    static int RowTest(const QTreeWidgetItem* item);
    static int RowImage(const QTreeWidgetItem* item);

    void OnOK() override;
    void LoadFrom(const params::CDeviceConfig&) override {}
    void StoreTo(params::CDeviceConfig&) const override {}

protected:
    // Builds the rows once, from the model version known then.
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RunSelected();
    void RunAll(bool not_passed_only);
    // Runs the row's test; false when the run of rows must stop: the channel
    // to the device is closed (nothing run) or the device went away during the
    // test; the person has been told either.
    bool RunRow(QTreeWidgetItem* item);
    void ShowResult(QTreeWidgetItem* item, selftest::TestResult result, const std::string& errors);

    ISheetHost& host_;
    QIcon images_[4];
    QTreeWidget* list_;
};

}  // namespace vardex::ui
