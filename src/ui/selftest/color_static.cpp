#include "color_static.h"

#include <QPainter>
#include <QStyle>

namespace vardex::ui {

CColorStatic::CColorStatic(QWidget* parent)
    : QLabel(parent),
      m_crBackground(palette().color(QPalette::Button)),
      m_crText(palette().color(QPalette::ButtonText)) {
    setTextFormat(Qt::PlainText);
}

QColor CColorStatic::SetTextColor(const QColor& color, bool redraw) {
    const QColor previous = m_crText;
    m_crText = color;
    if (redraw) {
        repaint();
    }
    return previous;
}

QColor CColorStatic::SetBkColor(const QColor& color, bool redraw) {
    const QColor previous = m_crBackground;
    m_crBackground = color;
    if (redraw) {
        repaint();
    }
    return previous;
}

void CColorStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_crBackground);
    // The pen, not the palette, gives the text colour: the alarm stays red on
    // yellow while the dialog around it is disabled.
    painter.setPen(m_crText);
    int flags = static_cast<int>(alignment());
    if (wordWrap()) {
        flags |= Qt::TextWordWrap;
    }
    const int inset = margin();
    const QRect area = contentsRect().adjusted(inset, inset, -inset, -inset);
    style()->drawItemText(&painter, area, flags, palette(), true, text(), QPalette::NoRole);
}

}  // namespace vardex::ui
