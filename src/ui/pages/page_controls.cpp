#include "page_controls.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/dialog.h"

namespace vardex::ui {

namespace {

class CDigitsValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return std::all_of(input.begin(), input.end(),
                           [](QChar c) { return c >= u'0' && c <= u'9'; })
                   ? Acceptable
                   : Invalid;
    }
};

}  // namespace

QLineEdit* DigitsEdit(QWidget* parent, int id, int max_length, int width) {
    auto* edit = new QLineEdit(parent);
    SetControlId(edit, id);
    edit->setValidator(new CDigitsValidator(edit));
    edit->setMaxLength(max_length);
    // Wider where the desktop's font needs it for the longest number (and the
    // cursor after it).
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
    const QSize digits(edit->fontMetrics().horizontalAdvance(QString(max_length + 1, u'0')),
                       edit->fontMetrics().height());
    edit->setFixedWidth(std::max(
        width, edit->style()->sizeFromContents(QStyle::CT_LineEdit, &frame, digits, edit).width()));
    return edit;
}

int NumberIn(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

QCheckBox* CheckBox(QWidget* parent, int id, std::string_view caption) {
    auto* box = new QCheckBox(Text(caption), parent);
    SetControlId(box, id);
    return box;
}

QLabel* SectionLabel(QWidget* parent, std::string_view text) {
    auto* label = new QLabel(Text(text), parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// ---- CSpinButton ----

CSpinButton::CSpinButton(QWidget* parent, int id, QLineEdit* buddy)
    : QWidget(parent), buddy_(buddy) {
    SetControlId(this, id);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const auto& [arrow, delta] : {std::pair{Qt::UpArrow, 1}, std::pair{Qt::DownArrow, -1}}) {
        auto* button = new QToolButton(this);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(18, 11);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, d = delta] { Step(d); });
        layout->addWidget(button);
        (delta > 0 ? up_ : down_) = button;
    }
    buddy_->installEventFilter(this);
}

void CSpinButton::NameAfterBuddy() {
    NameControl(up_, {buddy_->accessibleName(), Text(res::kTextStepUp)});
    NameControl(down_, {buddy_->accessibleName(), Text(res::kTextStepDown)});
}

bool CSpinButton::eventFilter(QObject* watched, QEvent* event) {
    // The arrows take no focus: the keys in the edit stand for them.
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled() &&
        !buddy_->isReadOnly()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CSpinButton::SetRange(int lo, int hi) {
    lo_ = lo;
    hi_ = hi;
}

void CSpinButton::Step(int delta) {
    bool ok = false;
    const int now = buddy_->text().trimmed().toInt(&ok);
    buddy_->setText(QString::number(std::clamp(ok ? now + delta : lo_, lo_, hi_)));
}

}  // namespace vardex::ui
