#include "PulsingDot.h"

#include "AppStyle.h"

#include <QPainter>
#include <cmath>

PulsingDot::PulsingDot(QWidget* parent) : QWidget(parent), easing_(AppStyle::easeInOut()) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
}

bool PulsingDot::isPulsing() const {
    return sincePulseBegan_.isValid();
}

qreal PulsingDot::dotScale() const {
    return 1.0 + (pulsingScale - 1.0) * pulse_;
}

qreal PulsingDot::dotOpacity() const {
    return 1.0 - (1.0 - pulsingOpacity) * pulse_;
}

QSize PulsingDot::sizeHint() const {
    const int side = static_cast<int>(std::ceil(diameter * pulsingScale)) + 2;
    return {side, side};
}

void PulsingDot::nextFrame() {
    if (!isPulsing())
        return;
    const qint64 phase = sincePulseBegan_.elapsed() % (2 * halfPeriodMs);
    // Out over the first half period, back over the second.
    const qreal progress =
        static_cast<qreal>(phase < halfPeriodMs ? phase : 2 * halfPeriodMs - phase);
    setPulse(easing_.valueForProgress(progress / halfPeriodMs));
}

void PulsingDot::setPulse(qreal pulse) {
    if (pulse == pulse_)
        return;
    pulse_ = pulse;
    update();
}

void PulsingDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(AppStyle::recordingRed());
    painter.setOpacity(dotOpacity());
    const qreal radius = diameter / 2.0 * dotScale();
    painter.drawEllipse(QRectF(rect()).center(), radius, radius);
}

void PulsingDot::setPaused(bool paused) {
    paused_ = paused;
    if (paused) {
        sincePulseBegan_.invalidate();
        setPulse(0.0);
    } else if (isVisible() && !isPulsing()) {
        sincePulseBegan_.start();
    }
}

void PulsingDot::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!isPulsing() && !paused_)
        sincePulseBegan_.start();
}

void PulsingDot::hideEvent(QHideEvent* event) {
    // Off screen it has nothing to show; a dot shown anew starts again from rest.
    sincePulseBegan_.invalidate();
    pulse_ = 0.0;
    QWidget::hideEvent(event);
}
