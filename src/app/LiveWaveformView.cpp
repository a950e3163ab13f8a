#include "LiveWaveformView.h"

#include "PeakHistory.h"
#include "TrimPalette.h"
#include "WaveformShape.h"

#include <QPainter>
#include <QScreen>
#include <algorithm>

LiveWaveformView::LiveWaveformView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Live waveform"));
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &LiveWaveformView::nextFrame);
}

void LiveWaveformView::setHistory(std::shared_ptr<const PeakHistory> history) {
    history_ = std::move(history);
    paintedBars_ = -1;
    update();
}

std::vector<float> LiveWaveformView::barPeaks(const PeakHistory& history, int bars) {
    const int binsPerBar = LiveWaveformView::binsPerBar(bars);
    qint64 end = 0;
    const std::vector<float> bins = history.lastBins(bars * binsPerBar, &end);
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
    const int bars = barCount();
    const std::vector<float> peaks = history_ ? barPeaks(*history_, bars) : std::vector<float>{};
    paintedBars_ = history_ ? history_->binCount() / binsPerBar(bars) : -1;
    // Right-aligned: the newest audio at the right edge, the waveform growing leftwards.
    const double used = barPitch * static_cast<double>(peaks.size());
    const QRectF area(width() - used, 0, used, height());
    WaveformShape shape;
    shape.peaks = peaks;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TrimPalette::from(palette()).accent);
    for (const QRectF& bar : shape.bars(area))
        painter.drawRoundedRect(bar.translated(area.topLeft()), WaveformShape::cornerRadius,
                                WaveformShape::cornerRadius);
}

void LiveWaveformView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const qreal rate = screen() ? screen()->refreshRate() : 60.0;
    frameTimer_.start(static_cast<int>(1000.0 / std::clamp(rate, 24.0, 60.0)));
}

void LiveWaveformView::hideEvent(QHideEvent* event) {
    frameTimer_.stop();
    QWidget::hideEvent(event);
}

void LiveWaveformView::nextFrame() {
    // The picture moves by whole bars: in between, only the newest bar could grow a little,
    // which isn't worth a repaint (and the CPU) 60 times a second.
    if (history_ && history_->binCount() / binsPerBar(barCount()) != paintedBars_)
        update();
}

int LiveWaveformView::barCount() const {
    return std::max(1, static_cast<int>(width() / barPitch));
}

int LiveWaveformView::binsPerBar(int bars) {
    return std::max(1, seconds * PeakHistory::binsPerSecond / std::max(1, bars));
}
