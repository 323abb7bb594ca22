#include "job_animation.h"

#include <QPainter>
#include <QPainterPath>

namespace vardex::ui {

CJobAnimation::CJobAnimation(QWidget* parent) : QWidget(parent) {
    setMinimumSize(sizeHint());
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrameCount;
        update();
    });
}

void CJobAnimation::Play() {
    frame_ = 0;
    timer_.start();
    update();
}

void CJobAnimation::Stop() {
    timer_.stop();
}

void CJobAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    const int w = width();
    const int cy = h / 2;

    // The computer on the left: a screen on a stand.
    const QRect screen(8, cy - 22, 52, 36);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(210, 215, 225));
    p.drawRoundedRect(screen, 3, 3);
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(screen.adjusted(5, 5, -5, -5));
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRect(screen.center().x() - 4, screen.bottom() + 1, 8, 6));
    p.drawRect(QRect(screen.center().x() - 14, screen.bottom() + 7, 28, 4));

    // The varDex on the right: a flat box with two phone sockets and a lamp.
    const QRect box(w - 78, cy - 14, 70, 28);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(235, 235, 230));
    p.drawRoundedRect(box, 5, 5);
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(QRect(box.left() + 8, box.top() + 9, 10, 10));
    p.drawRect(QRect(box.left() + 22, box.top() + 9, 10, 10));
    const bool lamp = frame_ % 2 == 0;
    p.setBrush(lamp ? QColor(40, 200, 60) : QColor(20, 90, 30));
    p.drawEllipse(QPoint(box.right() - 12, box.center().y()), 4, 4);

    // The cable and the data on it: three packets moving right, one step a frame.
    const int x0 = screen.right() + 6;
    const int x1 = box.left() - 6;
    p.setPen(QPen(QColor(150, 150, 150), 2, Qt::DashLine));
    p.drawLine(x0, cy, x1, cy);
    p.setPen(Qt::NoPen);
    const int span = x1 - x0 - 10;
    for (int packet = 0; packet < 3; ++packet) {
        const int step = (frame_ + packet * kFrameCount / 3) % kFrameCount;
        const int x = x0 + span * step / (kFrameCount - 1);
        p.setBrush(QColor(230, 150, 20));
        p.drawRoundedRect(QRect(x, cy - 5, 10, 10), 2, 2);
    }
}

}  // namespace vardex::ui
