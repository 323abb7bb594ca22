#include "storage_confirm_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QVBoxLayout>
#include <algorithm>

#include "res/strings.h"
#include "ui/help.h"

namespace vardex::ui {

namespace {

// A check box whose caption wraps: QCheckBox draws its text on one line, which
// made the dialog as wide as the whole sentence. The caption is a label inside
// the box, so a click on it is a click on the box and disabling the box greys it.
class WrappingCheckBox : public QCheckBox {
public:
    WrappingCheckBox(const QString& text, QWidget* parent)
        : QCheckBox(parent), caption_(new QLabel(text, this)) {
        caption_->setTextFormat(Qt::PlainText);
        caption_->setWordWrap(true);
        caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
        setAccessibleName(text);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, &opt, this);
        const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opt, this);
        first_line_ = std::max(indicator, caption_->fontMetrics().height());
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(
            style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, this) + spacing,
            (first_line_ - caption_->fontMetrics().height()) / 2, 0, 0);
        layout->addWidget(caption_);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred, QSizePolicy::CheckBox);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    // QCheckBox measures its own (empty) text; the caption's layout knows better.
    QSize sizeHint() const override { return QWidget::sizeHint(); }
    QSize minimumSizeHint() const override { return QWidget::minimumSizeHint(); }

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

    // The indicator beside the caption's first line rather than its middle, and
    // the focus frame around the caption, where a check box with text has it.
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const bool focus_frame =
            (opt.state & QStyle::State_HasFocus) && (opt.state & QStyle::State_KeyboardFocusChange);
        opt.rect.setHeight(first_line_);
        painter.drawControl(QStyle::CE_CheckBox, opt);
        if (focus_frame) {
            QStyleOptionFocusRect frame;
            frame.initFrom(this);
            const QRect text = caption_->fontMetrics().boundingRect(
                caption_->contentsRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                caption_->text());
            frame.rect = text.translated(caption_->pos()).adjusted(-3, -1, 3, 1) & rect();
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
        }
    }

private:
    QLabel* caption_;
    int first_line_ = 0;
};

}  // namespace

CStorageConfirmDialog::CStorageConfirmDialog(QWidget* parent) : CDialog(parent) {
    setWindowTitle(Text(res::kTextStorageCaption));
    QString intro = Text(res::kTextStorageIntro);
    intro.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // The intro's two lines stay as written and set the dialog's width; the
    // power-up caption wraps to it.
    auto* label = new QLabel(intro, this);

    auto* group = new QGroupBox(Text(res::kTextDestinationProfile), this);
    auto* radios = new QHBoxLayout(group);
    const std::string_view names[] = {res::kTextStorageProfile0, res::kTextStorageProfile1,
                                      res::kTextStorageProfile2, res::kTextStorageProfile3};
    QRadioButton* profiles[4] = {};
    for (int i = 0; i < 4; ++i) {
        profiles[i] = new QRadioButton(Text(names[i]), group);
        SetControlId(profiles[i], IDC_PROFILE0 + i);
        radios->addWidget(profiles[i]);
    }
    // Made after the radios, so that the focus reaches it after them.
    auto* power_up = new QGroupBox(Text(res::kTextMakePowerUpGroup), this);
    auto* pl = new QVBoxLayout(power_up);
    auto* check = new WrappingCheckBox(Text(res::kTextMakePowerUpCheck), power_up);
    SetControlId(check, IDC_MAKE_POWER_UP);
    for (QRadioButton* radio : profiles) {
        connect(radio, &QRadioButton::clicked, check, [check] { check->setEnabled(true); });
    }
    pl->addWidget(check);

    QHBoxLayout* buttons = MakeOkCancelRow();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(group);
    layout->addWidget(power_up);
    layout->addLayout(buttons);
}

void CStorageConfirmDialog::DoDataExchange(CDataExchange& dx) {
    dx.Check(IDC_MAKE_POWER_UP, m_bMakePowerUp);
    dx.Radio({IDC_PROFILE0, IDC_PROFILE0 + 1, IDC_PROFILE0 + 2, IDC_PROFILE0 + 3}, m_nDestination);
}

bool CStorageConfirmDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_nDestination < 0) {
        GetDlgItem(IDC_MAKE_POWER_UP)->setEnabled(false);
    }
    return true;
}

void StorageDialogStart(int destination, int power_up, int* dialog_destination,
                        int* make_power_up) {
    *dialog_destination = destination - 1;
    *make_power_up = destination == power_up + 1 ? 1 : 0;
}

void StorageDialogApply(int result, int dialog_destination, int make_power_up, int* destination,
                        int* power_up) {
    if (result != QDialog::Accepted) {
        return;
    }
    *destination = dialog_destination + 1;
    // Without a profile there is nothing to make the power-up profile: a box
    // left checked must not clear the power-up choice.
    if (make_power_up == 1 && dialog_destination >= 0) {
        *power_up = dialog_destination;
    }
}

void ConfirmStorage(QWidget* parent, int* destination, int* power_up) {
    CStorageConfirmDialog dialog(parent);
    StorageDialogStart(*destination, *power_up, &dialog.m_nDestination, &dialog.m_bMakePowerUp);
    const int result = dialog.DoModal();
    StorageDialogApply(result, dialog.m_nDestination, dialog.m_bMakePowerUp, destination, power_up);
}

}  // namespace vardex::ui
