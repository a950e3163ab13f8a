#pragma once

#include <QEasingCurve>
#include <QElapsedTimer>
#include <QWidget>

// The red dot that breathes while a recording runs: it starts at full size and opacity and,
// once on screen, grows to 1.35 and fades to 0.55 over 0.9 s, then back, for as long as it
// stays on screen and isn't paused (then it rests). It has no clock of its own: whoever shows
// it calls nextFrame() on their frame clock, so that it is painted with what else moves.
class PulsingDot : public QWidget {
    Q_OBJECT

public:
    explicit PulsingDot(QWidget* parent = nullptr);

    bool isPulsing() const;
    void setPaused(bool paused);
    qreal dotScale() const;
    qreal dotOpacity() const;
    // Moves the pulse on to the present.
    void nextFrame();

    static constexpr int diameter = 14;
    static constexpr qreal pulsingScale = 1.35;
    static constexpr qreal pulsingOpacity = 0.55;
    static constexpr int halfPeriodMs = 900;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setPulse(qreal pulse);

    // 0 is at rest, 1 is fully grown and faded.
    qreal pulse_ = 0.0;
    bool paused_ = false;
    // Runs while pulsing; the pulse is a function of its time.
    QElapsedTimer sincePulseBegan_;
    QEasingCurve easing_;
};
