// A static text with colours of its own: the self-test dialog's banners, and
// the prompt banner's red-on-yellow alarm.
#pragma once

#include <QColor>
#include <QLabel>

namespace vardex::ui {

class CColorStatic : public QLabel {
public:
    explicit CColorStatic(QWidget* parent = nullptr);

    // Each setter stores the colour and returns the one it replaces. With
    // redraw set the whole control is painted again at once; without, the new
    // colour shows at the next paint.
    virtual QColor SetTextColor(const QColor& color, bool redraw = true);
    virtual QColor SetBkColor(const QColor& color, bool redraw = true);
    virtual QColor GetTextColor() const { return m_crText; }
    virtual QColor GetBkColor() const { return m_crBackground; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Start as a button face with button text, like the dialog around it.
    QColor m_crBackground;
    QColor m_crText;
};

}  // namespace vardex::ui
