// The progress dialog's looping animation: a computer and a varDex with data
// travelling between them, painted frame by frame on a timer.
#pragma once

#include <QTimer>
#include <QWidget>

namespace vardex::ui {

class CJobAnimation : public QWidget {
public:
    static constexpr int kFrameCount = 12;
    static constexpr int kFrameMs = 90;

    explicit CJobAnimation(QWidget* parent = nullptr);
    // Plays from the first frame to the last, over and over, until Stop.
    void Play();
    void Stop();
    QSize sizeHint() const override { return {280, 64}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

}  // namespace vardex::ui
