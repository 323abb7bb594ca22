#include "self_test_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "params/app_core.h"
#include "res/strings.h"
#include "self_test_art.h"
#include "self_test_progress.h"
#include "selftest/self_test.h"
#include "ui/accessible.h"
#include "ui/help.h"
#include "ui/message_box.h"

using namespace vardex::selftest;
using namespace vardex::params;
using namespace vardex::link;

namespace vardex::ui {

namespace {
QString Res(int id) {
    return Text(res::LoadString(id));
}
}  // namespace

CSelfTestPage1::CSelfTestPage1(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageSelfTest), kHelpSelfTest),
      host_(host),
      list_(new QTreeWidget(this)) {
    images_[kImageNotTested] = SelfTestArt(QStringLiteral("not_tested"));
    images_[kImagePassed] = SelfTestArt(QStringLiteral("passed"));
    images_[kImageFailed] = SelfTestArt(QStringLiteral("failed"));
    images_[kImageInterrupted] = SelfTestArt(QStringLiteral("interrupted"));

    SetControlId(list_, IDC_LIST);
    NameControl(list_, {Caption()});
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setIconSize(QSize(32, 32));
    list_->setColumnCount(3);
    list_->setHeaderLabels(
        {Res(res::IDS_COLUMN_TEST_NAME), Res(res::IDS_COLUMN_RESULT), Res(res::IDS_COLUMN_ERROR)});
    // The faults take what the name and the result leave: the list never
    // needs a horizontal scroll bar at its own size.
    list_->header()->setStretchLastSection(true);
    list_->header()->setSectionsMovable(false);
    // The designed widths, or wider where this font needs it: a name or a
    // result cut short would hide what the row says.
    const QFontMetrics list_metrics(list_->font());
    const int padding = 4 * list_metrics.averageCharWidth();
    int name_width = 0;
    for (int test = 0; test < kTestCount; ++test) {
        name_width = std::max(name_width, list_metrics.horizontalAdvance(Res(TestNameId(test))));
    }
    int result_width = 0;
    for (const int id : {res::IDS_RESULT_NOT_TESTED, res::IDS_RESULT_PASS, res::IDS_RESULT_FAIL,
                         res::IDS_RESULT_INTERRUPTED}) {
        result_width = std::max(result_width, list_metrics.horizontalAdvance(Res(id)));
    }
    list_->setColumnWidth(0, std::max(200, list_->iconSize().width() + name_width + padding));
    list_->setColumnWidth(1, std::max(80, result_width + padding));
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { RunSelected(); });
    // Enter runs the chosen tests; the list would pass it on to the sheet's OK.
    list_->installEventFilter(this);

    const QFontMetrics metrics(font());
    list_->setMinimumSize(405 * metrics.averageCharWidth() / 4, 200 * metrics.height() / 8);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    for (const auto& [id, text] :
         {std::pair{IDC_TEST, res::kTextTestSelected}, std::pair{IDC_TEST_ALL, res::kTextTestAll},
          std::pair{IDC_TEST_NOT_PASSED, res::kTextTestNotPassed}}) {
        QPushButton* button = MakeButton(id, Text(text));
        button->setMinimumWidth(64 * metrics.averageCharWidth() / 4);
        buttons->addWidget(button);
        buttons->addStretch(1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    InstallContextHelp(this, kHelpSelfTest);
}

bool CSelfTestPage1::OnInitDialog() {
    CRecordPage::OnInitDialog();
    list_->clear();
    for (const int test : TestsForModel(host_.App().m_workingRecord.m_wModelVersion)) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, Res(TestNameId(test)));
        item->setData(0, kTestRole, test);
        item->setData(0, kImageRole, kImageNotTested);
        item->setIcon(0, images_[kImageNotTested]);
        item->setText(1, Res(res::IDS_RESULT_NOT_TESTED));
    }
    return true;
}

int CSelfTestPage1::RowTest(const QTreeWidgetItem* item) {
    return item->data(0, kTestRole).toInt();
}

int CSelfTestPage1::RowImage(const QTreeWidgetItem* item) {
    return item->data(0, kImageRole).toInt();
}

void CSelfTestPage1::OnCommand(int id) {
    switch (id) {
        case IDC_TEST:
            RunSelected();
            break;
        case IDC_TEST_ALL:
            RunAll(false);
            break;
        case IDC_TEST_NOT_PASSED:
            RunAll(true);
            break;
        default:
            break;
    }
}

bool CSelfTestPage1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers() == Qt::NoModifier) {
            RunSelected();
            return true;
        }
    }
    return CRecordPage::eventFilter(watched, event);
}

void CSelfTestPage1::RunSelected() {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : list_->selectedItems()) {
        rows.push_back(list_->indexOfTopLevelItem(item));
    }
    // The row the keyboard is on, when none is selected: the one the person sees marked.
    if (rows.empty() && list_->currentItem() != nullptr) {
        rows.push_back(list_->indexOfTopLevelItem(list_->currentItem()));
    }
    std::sort(rows.begin(), rows.end());
    for (const int row : rows) {
        QTreeWidgetItem* item = list_->topLevelItem(row);
        if (item != nullptr && !RunRow(item)) {
            return;
        }
    }
}

void CSelfTestPage1::RunAll(bool not_passed_only) {
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list_->topLevelItem(row);
        if ((!not_passed_only || RowImage(item) != kImagePassed) && !RunRow(item)) {
            return;
        }
    }
}

bool CSelfTestPage1::RunRow(QTreeWidgetItem* item) {
    CDeviceConfig& record = host_.App().m_workingRecord;
    if (!record.IsOpen()) {
        // A channel that a failed job closed: every command would go unanswered
        // and the hardware would be reported faulty when it is only not there.
        AppMessageBox(this, std::string(res::LoadString(res::IDS_DEVICE_NOT_FOUND)),
                      MessageIcon::Exclamation);
        return false;
    }
    CSelfTestProgress dialog(record, window());
    const TestResult result = dialog.RunTest(RowTest(item), kPorts);
    ShowResult(item, result, dialog.m_strErrors);
    // The dialog has said the device went away; the next rows would only
    // say it again.
    return !dialog.DeviceGone();
}

void CSelfTestPage1::ShowResult(QTreeWidgetItem* item, TestResult result,
                                const std::string& errors) {
    int image = kImageFailed;
    int text = res::IDS_RESULT_FAIL;
    if (result == TEST_PASS) {
        image = kImagePassed;
        text = res::IDS_RESULT_PASS;
    } else if (result == TEST_INTERRUPTED) {
        image = kImageInterrupted;
        text = res::IDS_RESULT_INTERRUPTED;
    }
    item->setData(0, kImageRole, image);
    item->setIcon(0, images_[image]);
    item->setText(1, Res(text));
    item->setText(2, QString::fromStdString(errors));
    // A long list of faults is cut short in the column: whole on hovering.
    item->setToolTip(2, QString::fromStdString(errors));
}

void CSelfTestPage1::OnOK() {
    // Nothing of this page is written; the other pages' pending changes are.
    if (host_.WriteDevice()) {
        host_.EndWithOk();
    }
}

}  // namespace vardex::ui
