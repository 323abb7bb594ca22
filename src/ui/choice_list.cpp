#include "choice_list.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QWheelEvent>

namespace vardex::ui {

namespace {

// What a screen reader meets in a choice list: the list's name, and its choice
// as the value. The desktop's own interface for a drop-down list gives the
// choice as the name too, so a list read as "Profile 1" never said whether it
// was the source or the destination.
class CChoiceListAccessible : public QAccessibleWidget {
public:
    explicit CChoiceListAccessible(CChoiceList* list)
        : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value ||
            (t == QAccessible::Name && widget()->accessibleName().isEmpty())) {
            return List()->currentText();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = List()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) {
            List()->showPopup();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    CChoiceList* List() const { return static_cast<CChoiceList*>(widget()); }
};

QAccessibleInterface* ChoiceListInterface(const QString&, QObject* object) {
    auto* list = dynamic_cast<CChoiceList*>(object);
    return list != nullptr ? new CChoiceListAccessible(list) : nullptr;
}

}  // namespace

CChoiceList::CChoiceList(QWidget* parent) : QComboBox(parent) {
    // No focus from the wheel either: a list that takes the focus on a scroll
    // would take the next arrow key as a choice.
    setFocusPolicy(Qt::StrongFocus);
    static const bool installed = [] {
        QAccessible::installFactory(ChoiceListInterface);
        return true;
    }();
    (void)installed;
}

void CChoiceList::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void CChoiceList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            showPopup();
            event->accept();
            return;
        default:
            break;
    }
    // A letter would pick the item it starts; Tab, Escape and F1 keep their
    // usual meaning.
    if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        showPopup();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace vardex::ui
