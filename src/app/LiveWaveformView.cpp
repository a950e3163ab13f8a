#include "LiveWaveformView.h"

#include "PeakHistory.h"
#include "Theme.h"
#include "WaveformShape.h"

#include <QPainter>
#include <algorithm>

LiveWaveformView::LiveWaveformView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Live waveform"));
    // Paints its own background: a new bar doesn't repaint what lies behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LiveWaveformView::setHistory(std::shared_ptr<const PeakHistory> history) {
    history_ = std::move(history);
    paintedBars_ = -1;
    barsBegun_ = -1;
    update();
}

std::vector<float> LiveWaveformView::barPeaks(const PeakHistory& history, int bars,
                                              qint64* barsBegun) {
    const int binsPerBar = LiveWaveformView::binsPerBar(bars);
    qint64 end = 0;
    const std::vector<float> bins = history.lastBins(bars * binsPerBar, &end);
    if (barsBegun)
        *barsBegun = (end + binsPerBar - 1) / binsPerBar;
    // Bars start at whole multiples of binsPerBar, counted from the first bin of the recording.
    const qint64 first = end - static_cast<qint64>(bins.size());
    const qint64 firstBar = std::max<qint64>(0, (end - 1) / binsPerBar - bars + 1);
    const qint64 skipped = firstBar * binsPerBar - first;
    std::vector<float> peaks;
    for (auto from = bins.begin() + std::max<qint64>(0, skipped); from < bins.end();) {
        const qint64 index = first + (from - bins.begin());
        const auto to = bins.begin() + std::min(static_cast<qint64>(bins.size()),
                                                (index / binsPerBar + 1) * binsPerBar - first);
        peaks.push_back(*std::max_element(from, to));
        from = to;
    }
    return peaks;
}

QSize LiveWaveformView::sizeHint() const {
    return {440, 72};
}

void LiveWaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!history_) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    updateBars();
    painter.drawPixmap(0, 0, bars_);
}

void LiveWaveformView::updateBars() {
    const int count = barCount();
    qint64 begun = 0;
    WaveformShape shape;
    shape.peaks = barPeaks(*history_, count, &begun);
    paintedBars_ = history_->binCount() / binsPerBar(count);
    // Right-aligned: the newest audio at the right edge, the waveform growing leftwards.
    const double used = barPitch * static_cast<double>(shape.peaks.size());
    const QRectF area(width() - used, 0, used, height());
    const std::vector<QRectF> bars = shape.bars(area);

    // Each new bar moves the picture one pitch to the left: the picture is kept and moved, and
    // only the bars that changed (the last one that was still filling, and the new ones) are
    // drawn, as long as a pitch is a whole number of pixels.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    const QColor color = Theme::from(palette()).selectedBar;
    const qint64 added = begun - barsBegun_;
    const double shift = barPitch * ratio * static_cast<double>(added);
    const bool movable = bars_.size() == pixels && barsPalette_ == palette().cacheKey() &&
                         added >= 0 && added < count && shift == std::floor(shift);
    size_t from = 0;
    if (movable) {
        bars_.scroll(-static_cast<int>(shift), 0, bars_.rect());
        from = bars.size() - std::min(bars.size(), static_cast<size_t>(added + 1));
    } else {
        bars_ = QPixmap(pixels);
        bars_.setDevicePixelRatio(ratio);
        barsPalette_ = palette().cacheKey();
    }
    barsBegun_ = begun;

    // Opaque, on the window's colour: copied to the screen as it is, with nothing to blend.
    QPainter painter(&bars_);
    const QBrush background = palette().window();
    const double left = from < bars.size() ? bars[from].left() : width();
    painter.fillRect(movable ? QRectF(left, 0, width() - left, height()) : QRectF(rect()),
                     background);
    // What moved past the first bar's place.
    painter.fillRect(QRectF(0, 0, area.left(), height()), background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (size_t i = from; i < bars.size(); ++i)
        painter.drawRoundedRect(bars[i], WaveformShape::cornerRadius, WaveformShape::cornerRadius);
}

void LiveWaveformView::nextFrame() {
    if (history_ && history_->binCount() / binsPerBar(barCount()) != paintedBars_)
        update();
}

int LiveWaveformView::barCount() const {
    return std::max(1, static_cast<int>(width() / barPitch));
}

int LiveWaveformView::binsPerBar(int bars) {
    return std::max(1, seconds * PeakHistory::binsPerSecond / std::max(1, bars));
}
