#include "choice_list.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace vardex::ui {

CChoiceList::CChoiceList(QWidget* parent) : QComboBox(parent) {
    // No focus from the wheel either: a list that takes the focus on a scroll
    // would take the next arrow key as a choice.
    setFocusPolicy(Qt::StrongFocus);
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
