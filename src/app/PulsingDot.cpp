#include "PulsingDot.h"

#include "AppStyle.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <cmath>

PulsingDot::PulsingDot(QWidget* parent)
    : QWidget(parent), animation_(new QSequentialAnimationGroup(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
    for (const auto& [from, to] : {std::pair{0.0, 1.0}, std::pair{1.0, 0.0}}) {
        auto* half = new QPropertyAnimation(this, "pulse", animation_);
        half->setStartValue(from);
        half->setEndValue(to);
        half->setDuration(halfPeriodMs);
        half->setEasingCurve(AppStyle::easeInOut());
        animation_->addAnimation(half);
    }
    animation_->setLoopCount(-1);
}

bool PulsingDot::isPulsing() const {
    return animation_->state() == QAbstractAnimation::Running;
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

void PulsingDot::setPulse(qreal pulse) {
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
        animation_->stop();
        setPulse(0.0);
    } else if (isVisible() && !isPulsing()) {
        animation_->start();
    }
}

void PulsingDot::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!isPulsing() && !paused_) {
        animation_->start();
    }
}

void PulsingDot::hideEvent(QHideEvent* event) {
    // Off screen it has nothing to show; a dot shown anew starts again from rest.
    animation_->stop();
    pulse_ = 0.0;
    QWidget::hideEvent(event);
}
