#include "BusySpinner.h"

#include <QPainter>
#include <QVariantAnimation>
#include <algorithm>

BusySpinner::BusySpinner(int diameter, QWidget* parent)
    : QWidget(parent), diameter_(diameter), rotation_(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    rotation_->setStartValue(0.0);
    rotation_->setEndValue(360.0);
    rotation_->setDuration(900);
    rotation_->setLoopCount(-1);
    connect(rotation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        angleDegrees_ = value.toDouble();
        update();
    });
}

void BusySpinner::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize BusySpinner::sizeHint() const {
    return {diameter_, diameter_};
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal lineWidth = std::max(2.0, diameter_ / 9.0);
    const QRectF circle = QRectF(rect()).adjusted(lineWidth, lineWidth, -lineWidth, -lineWidth);
    QColor track = color_.isValid() ? color_ : palette().color(QPalette::WindowText);
    QColor arc = track;
    track.setAlphaF(0.18f);
    painter.setPen(QPen(track, lineWidth));
    painter.drawEllipse(circle);
    painter.setPen(QPen(arc, lineWidth, Qt::SolidLine, Qt::RoundCap));
    // Qt's angles are sixteenths of a degree, counter-clockwise; turn clockwise.
    painter.drawArc(circle, static_cast<int>(-angleDegrees_ * 16), 100 * 16);
}

void BusySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    rotation_->start();
}

void BusySpinner::hideEvent(QHideEvent* event) {
    rotation_->stop();
    QWidget::hideEvent(event);
}
