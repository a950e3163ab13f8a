#pragma once

#include <QWidget>

class QSequentialAnimationGroup;

// The red dot that breathes while a recording runs: it starts at full size and opacity and,
// once on screen, grows to 1.35 and fades to 0.55 over 0.9 s, then back, for as long as it
// stays on screen and isn't paused (then it rests).
class PulsingDot : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal pulse READ pulse WRITE setPulse)

public:
    explicit PulsingDot(QWidget* parent = nullptr);

    bool isPulsing() const;
    void setPaused(bool paused);
    qreal dotScale() const;
    qreal dotOpacity() const;

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
    qreal pulse() const { return pulse_; }
    void setPulse(qreal pulse);

    // 0 is at rest, 1 is fully grown and faded.
    qreal pulse_ = 0.0;
    bool paused_ = false;
    QSequentialAnimationGroup* animation_;
};
