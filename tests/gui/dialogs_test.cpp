// How the dialogs look and handle on screen: sizes, captions, clicks, greying.
#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>

#include "gui_fixture.h"
#include "res/strings.h"

namespace vardex::test {
namespace {

using namespace vardex::ui;

// The visible label showing text, wherever the dialog put it.
QLabel* LabelShowing(const QWidget* root, const QString& text) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->text() == text && label->isVisible()) {
            return label;
        }
    }
    return nullptr;
}

// A click as a person makes it: through the window, so whatever lies on top
// at that point gets it.
void ClickAt(QWidget* widget, QPoint pos) {
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, pos));
}

// Runs inside the dialog opened without a profile; leaves Profile 2 chosen and
// the box checked by clicks on its caption.
void CheckPowerUpCaption(CDialog* d) {
    const QString caption_text = Text(res::kTextMakePowerUpCheck);
    d->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(d));
    auto* box = d->Item<QCheckBox>(CStorageConfirmDialog::IDC_MAKE_POWER_UP);
    ASSERT_NE(box, nullptr);

    // On one line the sentence made the dialog far wider than its other rows.
    const int one_line = QFontMetrics(d->font()).horizontalAdvance(caption_text);
    EXPECT_LT(d->sizeHint().width(), one_line);
    EXPECT_LT(d->width(), one_line);

    QLabel* caption = LabelShowing(d, caption_text);
    ASSERT_NE(caption, nullptr) << "the whole caption, as one text";
    EXPECT_GE(caption->height(), caption->heightForWidth(caption->width())) << "clipped";
    EXPECT_GE(caption->height(), 2 * caption->fontMetrics().lineSpacing()) << "not wrapped";
    EXPECT_TRUE(d->rect().contains(QRect(caption->mapTo(d, QPoint(0, 0)), caption->size())));
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(acc, nullptr);
    EXPECT_EQ(acc->text(QAccessible::Name), caption_text);

    // No profile: box and caption greyed, and a click on the caption does nothing.
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(caption->isEnabled());
    ClickAt(caption, caption->rect().center());
    EXPECT_FALSE(box->isChecked());

    d->Item<QAbstractButton>(CStorageConfirmDialog::IDC_PROFILE0 + 2)->click();
    EXPECT_TRUE(caption->isEnabled());
    ClickAt(caption, caption->rect().center());
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(box->hasFocus());
    ClickAt(caption, QPoint(caption->width() / 4, caption->height() - 2));
    EXPECT_FALSE(box->isChecked());
    ClickAt(caption, QPoint(2, 2));
    EXPECT_TRUE(box->isChecked());
    box->setEnabled(false);
    EXPECT_FALSE(caption->isEnabled());
    box->setEnabled(true);
}

TEST(StorageConfirmation, PowerUpCaptionWrapsAndActsAsTheBoxCaption) {
    ScriptedUi ui;
    int destination = 0, power_up = 1;  // "Active Profile": no profile chosen yet
    bool ran = false;
    CDialog::SetModalHook([&](CDialog* d) {
        ran = true;
        CheckPowerUpCaption(d);
        d->Item<QAbstractButton>(1)->click();
    });
    ConfirmStorage(nullptr, &destination, &power_up);
    ASSERT_TRUE(ran);
    EXPECT_EQ(destination, 3);
    EXPECT_EQ(power_up, 2) << "the caption's click checked the box";
}

}  // namespace
}  // namespace vardex::test
