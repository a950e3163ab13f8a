#include "LevelMeter.h"

#include "AppStyle.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Where clipping begins to threaten; the bar turns red above it.
constexpr double hotDb = -3.0;
constexpr double barHeight = 6.0;

} // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Level"));
}

double LevelMeter::toDb(double linearPeak) {
    if (!(linearPeak > 0))
        return floorDb;
    return std::clamp(20.0 * std::log10(linearPeak), floorDb, 0.0);
}

void LevelMeter::setLevel(double linearPeak) {
    const double db = toDb(linearPeak);
    const double seconds = sinceUpdate_.isValid() ? sinceUpdate_.restart() / 1000.0 : 0.0;
    if (!sinceUpdate_.isValid())
        sinceUpdate_.start();
    const double fallen = fallDbPerSecond * seconds;
    const QPoint before(xOf(barDb_), xOf(holdDb_));
    barDb_ = std::max(db, barDb_ - fallen);
    if (db >= holdDb_ || !sinceHold_.isValid()) {
        holdDb_ = db;
        sinceHold_.start();
    } else if (sinceHold_.elapsed() > holdMs) {
        holdDb_ = std::max(barDb_, holdDb_ - fallen);
    }
    // A steady sound leaves the picture as it is: no repaint for it.
    if (QPoint(xOf(barDb_), xOf(holdDb_)) != before) {
        setAccessibleDescription(tr("%1 dB").arg(std::lround(barDb_)));
        update();
    }
}

int LevelMeter::xOf(double db) const {
    return static_cast<int>(std::lround(width() * (db - floorDb) / -floorDb));
}

QSize LevelMeter::sizeHint() const {
    return {280, static_cast<int>(barHeight)};
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track(0, (height() - barHeight) / 2, width(), barHeight);
    const double radius = barHeight / 2;
    painter.setBrush(AppStyle::separatorColor());
    painter.drawRoundedRect(track, radius, radius);

    const auto xOf = [&track](double db) { return track.width() * (db - floorDb) / -floorDb; };
    const QColor color = barDb_ > hotDb ? AppStyle::recordingRed() : AppStyle::accentColor();
    if (barDb_ > floorDb) {
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(track.topLeft(), QSizeF(xOf(barDb_), barHeight)), radius,
                                radius);
    }
    if (holdDb_ > floorDb) {
        painter.setBrush(holdDb_ > hotDb ? AppStyle::recordingRed() : AppStyle::accentColor());
        const double x = std::clamp(xOf(holdDb_) - 2.0, 0.0, track.width() - 2);
        painter.drawRect(QRectF(x, track.top(), 2, barHeight));
    }
}
