#include "TrimCard.h"

#include "TrimHandle.h"

#include <QEasingCurve>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
constexpr double playheadWidth = 2.0;
constexpr double playheadShadowOpacity = 0.3;
constexpr double playheadShadowRadius = 1.0;
constexpr double gripWidth = 2.0;
constexpr double gripHeight = 14.0;
constexpr double gripOpacity = 0.9;
constexpr double shadowOpacity = 0.25;
constexpr double shadowOffsetY = 1.0;
constexpr double restingShadowRadius = 1.5;
constexpr double activeShadowRadius = 3.0;
constexpr double focusRingGap = 2.0;
constexpr double focusRingWidth = 2.0;
constexpr int activityAnimationMs = 80;
constexpr int selectionAnimationMs = 150;
constexpr int autoTrimAnimationMs = 200;
// Room around a capsule for its shadow and focus ring, plus a point for antialiasing.
constexpr double handleMargin =
    activeShadowRadius + shadowOffsetY + focusRingGap + focusRingWidth + 1.0;
// Keeps widget geometry in integer range whatever time a handle is given.
constexpr double farOutside = 1e6;

QEasingCurve easeOut() {
    // The standard ease-out timing curve, cubic Bézier (0, 0, 0.58, 1).
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

// Corners that ease into the straight edges instead of meeting them where a circle ends: each
// corner is one cubic that reaches 1.528 × radius along both edges and whose middle lies as far
// from the corner as a circular corner's.
QPainterPath continuousRoundedRect(const QRectF& rect, double radius) {
    const double reach = std::min({1.528 * radius, rect.width() / 2, rect.height() / 2});
    const double control = reach * (0.272 / 1.528);
    const double left = rect.left();
    const double top = rect.top();
    const double right = rect.right();
    const double bottom = rect.bottom();
    QPainterPath path;
    path.moveTo(left + reach, top);
    path.lineTo(right - reach, top);
    path.cubicTo(right - control, top, right, top + control, right, top + reach);
    path.lineTo(right, bottom - reach);
    path.cubicTo(right, bottom - control, right - control, bottom, right - reach, bottom);
    path.lineTo(left + reach, bottom);
    path.cubicTo(left + control, bottom, left, bottom - control, left, bottom - reach);
    path.lineTo(left, top + reach);
    path.cubicTo(left, top + control, left + control, top, left + reach, top);
    path.closeSubpath();
    return path;
}

QPainterPath capsule(const QRectF& rect) {
    const double radius = std::min(rect.width(), rect.height()) / 2;
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A soft shadow from a few widening capsules; enough for a shadow this small, and cheap.
void paintCapsuleShadow(QPainter& painter, const QRectF& rect, double radius, double opacity) {
    constexpr int layers = 3;
    for (int layer = layers; layer >= 1; --layer) {
        const double spread = radius * layer / layers;
        painter.fillPath(capsule(rect.adjusted(-spread, -spread, spread, spread)),
                         QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity / layers)));
    }
}
} // namespace

TrimCard::TrimCard(EditorModel& model, QWidget* parent)
    : QWidget(parent), model_(model),
      handleTimes_(model.trimRange().lower, model.trimRange().upper),
      startHandle_(new TrimHandle(tr("Trim start"), model, EditorModel::Bound::start, this)),
      endHandle_(new TrimHandle(tr("Trim end"), model, EditorModel::Bound::end, this)),
      colors_(Theme::from(palette())) {
    renderer_.setPeaks(model.overviewPeaks(), model.visibleRange());
    connect(&model, &EditorModel::trimRangeChanged, this, &TrimCard::followSelection);
    connect(&model, &EditorModel::visibleRangeChanged, this, &TrimCard::followVisibleRange);
    // Everything, the window background in the corners included, comes from paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Taller windows give the waveform more room.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The end handle lies over the start handle where they meet.
    endHandle_->raise();

    startLook_.widget = startHandle_;
    endLook_.widget = endHandle_;
    for (HandleLook* look : {&startLook_, &endLook_}) {
        look->animation = new QVariantAnimation(this);
        look->animation->setDuration(activityAnimationMs);
        look->animation->setEasingCurve(easeOut());
        connect(look->animation, &QVariantAnimation::valueChanged, this,
                [this, look](const QVariant& value) { setActivity(*look, value.toDouble()); });
        connect(look->widget, &TrimHandle::focusRingChanged, this,
                [this, look] { update(handlePaintBounds(timeOf(*look))); });
    }
    handleAnimation_.setEasingCurve(easeOut());
    connect(&handleAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { showHandleTimes(value.toPointF()); });
    placeHitAreas();
}

double TrimCard::contentWidth() const {
    return width() - 2 * cardPadding;
}

double TrimCard::waveformHeight() const {
    // The card's inside, whatever its height: the layouts keep it at least the minimum where
    // they can, and a window too short for that gets a smaller waveform rather than one cut off
    // at the card's foot.
    return std::max(0.0, height() - 2 * cardPadding);
}

double TrimCard::timeAt(double x) const {
    const double width = contentWidth();
    const TimeRange visible = model_.visibleRange();
    return width > 0 ? visible.lower + (x / width) * visible.length() : visible.lower;
}

void TrimCard::followVisibleRange() {
    placeHitAreas();
    update();
}

void TrimCard::setPeaks(std::vector<float> peaks, TimeRange span) {
    renderer_.setPeaks(std::move(peaks), span);
    update(area().toAlignedRect());
}

QPointF TrimCard::areaPosition(QPointF globalPosition) const {
    return mapFromGlobal(globalPosition) - area().topLeft();
}

void TrimCard::followSelection(TimeRange selection, TimeRange previous,
                               EditorModel::Change change) {
    updateMaskEdge(fractionOf(previous.lower), fractionOf(selection.lower));
    updateMaskEdge(fractionOf(previous.upper), fractionOf(selection.upper));
    const int animationMs =
        change == EditorModel::Change::autoTrim ? autoTrimAnimationMs : selectionAnimationMs;

    const QPointF target(selection.lower, selection.upper);
    handleAnimation_.stop();
    if (animationMs <= 0) {
        showHandleTimes(target);
        return;
    }
    handleAnimation_.setDuration(animationMs);
    handleAnimation_.setStartValue(handleTimes_);
    handleAnimation_.setEndValue(target);
    handleAnimation_.start();
}

void TrimCard::setHandleActive(TrimHandle* handle, bool active) {
    HandleLook& look = lookOf(handle);
    if (look.active == active)
        return;
    look.active = active;
    placeHitAreas();
    look.animation->stop();
    look.animation->setStartValue(look.activity);
    look.animation->setEndValue(active ? 1.0 : 0.0);
    look.animation->start();
}

void TrimCard::setPlayheadTime(std::optional<double> seconds) {
    if (playheadTime_ == seconds)
        return;
    if (playheadTime_)
        update(playheadPaintBounds(*playheadTime_));
    playheadTime_ = seconds;
    if (playheadTime_)
        update(playheadPaintBounds(*playheadTime_));
}

QSize TrimCard::sizeHint() const {
    return {480, static_cast<int>(minimumWaveformHeight + 2 * cardPadding)};
}

QSize TrimCard::minimumSizeHint() const {
    return {static_cast<int>(2 * cardPadding + activeHandleWidth),
            static_cast<int>(minimumWaveformHeight + 2 * cardPadding)};
}

QRectF TrimCard::area() const {
    return {cardPadding, cardPadding, contentWidth(), waveformHeight()};
}

double TrimCard::positionOf(double seconds) const {
    const TimeRange visible = model_.visibleRange();
    if (!(visible.length() > 0))
        return 0.0;
    const double position = contentWidth() * ((seconds - visible.lower) / visible.length());
    // Geometry is made of integers in the end; a NaN time must not reach it.
    return std::isfinite(position) ? std::clamp(position, -farOutside, farOutside) : 0.0;
}

double TrimCard::fractionOf(double seconds) const {
    const TimeRange visible = model_.visibleRange();
    if (!(visible.length() > 0))
        return 0.0;
    const double fraction = (seconds - visible.lower) / visible.length();
    // NaN ends up at 0 as well.
    return fraction >= 0.0 ? std::min(fraction, 1.0) : 0.0;
}

QRectF TrimCard::capsuleRect(double seconds, double activity) const {
    const double width = handleWidth + (activeHandleWidth - handleWidth) * activity;
    const double centreX = area().left() + positionOf(seconds);
    return {centreX - width / 2, area().top(), width, waveformHeight()};
}

QRect TrimCard::handlePaintBounds(double seconds) const {
    return capsuleRect(seconds, 1.0)
        .adjusted(-handleMargin, -handleMargin, handleMargin, handleMargin)
        .toAlignedRect();
}

QRect TrimCard::playheadPaintBounds(double seconds) const {
    const double centreX = area().left() + positionOf(seconds);
    const double margin = playheadShadowRadius + 1.0;
    return QRectF(centreX - playheadWidth / 2 - margin, area().top() - margin,
                  playheadWidth + 2 * margin, waveformHeight() + 2 * margin)
        .toAlignedRect();
}

TrimCard::HandleLook& TrimCard::lookOf(TrimHandle* handle) {
    return handle == endHandle_ ? endLook_ : startLook_;
}

double TrimCard::timeOf(const HandleLook& look) const {
    return &look == &endLook_ ? handleTimes_.y() : handleTimes_.x();
}

void TrimCard::showHandleTimes(QPointF times) {
    if (times.x() != handleTimes_.x()) {
        update(handlePaintBounds(handleTimes_.x()));
        update(handlePaintBounds(times.x()));
    }
    if (times.y() != handleTimes_.y()) {
        update(handlePaintBounds(handleTimes_.y()));
        update(handlePaintBounds(times.y()));
    }
    handleTimes_ = times;
    placeHitAreas();
}

void TrimCard::setActivity(HandleLook& look, double activity) {
    look.activity = activity;
    update(handlePaintBounds(timeOf(look)));
}

void TrimCard::placeHitAreas() {
    for (const HandleLook* look : {&startLook_, &endLook_}) {
        const QRectF hitArea = capsuleRect(timeOf(*look), look->active ? 1.0 : 0.0);
        look->widget->setGeometry(hitArea.toRect());
    }
}

void TrimCard::updateMaskEdge(double oldFraction, double newFraction) {
    if (oldFraction == newFraction)
        return;
    const QRectF waveform = area();
    const double oldX = waveform.left() + oldFraction * waveform.width();
    const double newX = waveform.left() + newFraction * waveform.width();
    update(QRectF(std::min(oldX, newX) - 1.0, waveform.top(), std::abs(newX - oldX) + 2.0,
                  waveform.height())
               .toAlignedRect());
}

void TrimCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (chrome_.size() != (QSizeF(size()) * devicePixelRatio()).toSize() ||
        chrome_.devicePixelRatio() != devicePixelRatio())
        renderChrome();
    painter.drawImage(QPointF(0, 0), chrome_);

    const TimeRange selection = model_.trimRange();
    renderer_.paint(painter, area(), model_.visibleRange(), fractionOf(selection.lower),
                    fractionOf(selection.upper), colors_);

    painter.setRenderHint(QPainter::Antialiasing);
    // Zoomed in, a handle or the playhead outside the shown stretch stays out of sight; one at
    // the very edge keeps its shadow and focus ring, which reach into the card's padding.
    const double reach = std::min(cardPadding, activeHandleWidth / 2 + handleMargin);
    painter.setClipRect(QRectF(area().left() - reach, 0, contentWidth() + 2 * reach, height()));
    painter.setPen(Qt::NoPen);
    if (playheadTime_)
        paintPlayhead(painter);
    paintHandle(painter, startLook_);
    paintHandle(painter, endLook_);
}

void TrimCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeHitAreas();
}

void TrimCard::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        colors_ = Theme::from(palette());
        chrome_ = QImage();
        update();
    }
}

void TrimCard::renderChrome() {
    const double ratio = devicePixelRatio();
    chrome_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
    chrome_.setDevicePixelRatio(ratio);
    chrome_.fill(colors_.window);

    QPainter painter(&chrome_);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card(QPointF(0, 0), QSizeF(size()));
    painter.fillPath(continuousRoundedRect(card, cornerRadius), colors_.card);
    // The border runs along the inside of the card's edge.
    painter.strokePath(
        continuousRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5),
        QPen(colors_.separator, 1.0));
}

void TrimCard::paintPlayhead(QPainter& painter) const {
    const double centreX = area().left() + positionOf(*playheadTime_);
    const QRectF line(centreX - playheadWidth / 2, area().top(), playheadWidth, waveformHeight());
    for (const double spread : {playheadShadowRadius, playheadShadowRadius / 2})
        painter.fillRect(line.adjusted(-spread, -spread, spread, spread),
                         QColor::fromRgbF(0, 0, 0, static_cast<float>(playheadShadowOpacity / 2)));
    painter.fillRect(line, colors_.playhead);
}

void TrimCard::paintHandle(QPainter& painter, const HandleLook& look) const {
    const QRectF body = capsuleRect(timeOf(look), look.activity);
    const double shadowRadius =
        restingShadowRadius + (activeShadowRadius - restingShadowRadius) * look.activity;
    paintCapsuleShadow(painter, body.translated(0, shadowOffsetY), shadowRadius, shadowOpacity);
    painter.fillPath(capsule(body), colors_.handle);

    const QRectF grip(body.center().x() - gripWidth / 2, body.center().y() - gripHeight / 2,
                      gripWidth, gripHeight);
    painter.fillPath(capsule(grip), QColor::fromRgbF(1, 1, 1, static_cast<float>(gripOpacity)));

    if (look.widget->showsFocusRing()) {
        const double inset = -(focusRingGap + focusRingWidth / 2);
        painter.strokePath(capsule(body.adjusted(inset, inset, -inset, -inset)),
                           QPen(colors_.focusRing, focusRingWidth));
    }
}
