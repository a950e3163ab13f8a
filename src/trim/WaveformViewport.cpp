#include "WaveformViewport.h"

#include "FrameRange.h"
#include "FutureDelivery.h"
#include "Logging.h"
#include "TrimCard.h"

#include <QScrollBar>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>

WaveformViewport::WaveformViewport(TrimCard* card, QScrollBar* scrollBar,
                                   std::vector<float> overview, std::shared_ptr<PeakLevels> levels,
                                   double sampleRate, double durationSeconds)
    : QObject(card), card_(card), scrollBar_(scrollBar), overview_(std::move(overview)),
      levels_(std::move(levels)), sampleRate_(sampleRate), duration_(durationSeconds) {
    connect(scrollBar_, &QScrollBar::valueChanged, this, &WaveformViewport::scrollBarMoved);
    syncScrollBar();
}

TimeRange WaveformViewport::visible() const {
    return card_->visibleRange();
}

bool WaveformViewport::showsAll() const {
    const TimeRange shown = visible();
    return shown.lower <= 0.0 && shown.upper >= duration_;
}

void WaveformViewport::show(TimeRange wanted) {
    const double total = duration_;
    if (!(total > 0))
        return;
    const double shortest =
        std::min(total, static_cast<double>(minimumVisibleFrames) / sampleRate_);
    double length = std::clamp(wanted.length(), shortest, total);
    // NaN lengths and starts fall back to showing everything from the start.
    if (!std::isfinite(length))
        length = total;
    const double lower =
        std::isfinite(wanted.lower) ? std::clamp(wanted.lower, 0.0, total - length) : 0.0;
    const TimeRange shown =
        length >= total ? TimeRange{0.0, total} : TimeRange{lower, lower + length};
    if (shown == visible())
        return;
    card_->setVisibleRange(shown);
    syncScrollBar();
    refreshPeaks();
}

void WaveformViewport::zoom(double factor, double anchor) {
    const TimeRange shown = visible();
    if (!(factor > 0) || !(shown.length() > 0))
        return;
    const double anchored = std::isfinite(anchor) ? std::clamp(anchor, shown.lower, shown.upper)
                                                  : (shown.lower + shown.upper) / 2;
    const double length = shown.length() / factor;
    const double before = (anchored - shown.lower) / shown.length();
    show({anchored - before * length, anchored - before * length + length});
}

void WaveformViewport::scrollBy(double seconds) {
    const TimeRange shown = visible();
    show({shown.lower + seconds, shown.upper + seconds});
}

void WaveformViewport::reveal(double seconds) {
    const TimeRange shown = visible();
    const double margin = shown.length() / 10;
    if (seconds < shown.lower)
        scrollBy(seconds - margin - shown.lower);
    else if (seconds > shown.upper)
        scrollBy(seconds + margin - shown.upper);
}

void WaveformViewport::refreshPeaks() {
    const quint64 request = ++request_;
    const TimeRange shown = visible();
    if (showsAll()) {
        if (card_->peaksSpan() != shown)
            card_->setPeaks(overview_, shown);
        return;
    }
    const double bars = std::max(1.0, card_->contentWidth() / barPitch);
    // The nearest power of two on a log scale.
    const qint64 framesPerPeak =
        PeakLevels::powerOfTwoAtMost(shown.length() * sampleRate_ / bars * std::sqrt(2.0));
    const FrameRange frames = FrameRange::of(shown, sampleRate_, levels_->totalFrames());
    // Shared rather than optional: the peaks then travel to the view without a copy.
    const auto spanning = QtConcurrent::run([levels = levels_, frames, framesPerPeak] {
        std::optional<PeakLevels::Span> span =
            levels->span(frames.first, frames.end, framesPerPeak);
        return span ? std::make_shared<PeakLevels::Span>(std::move(*span)) : nullptr;
    });
    deliverTo(this, spanning, [this, request](const std::shared_ptr<PeakLevels::Span>& span) {
        if (request != request_)
            return;
        if (!span) {
            // The stretched bars of the last view stay; nothing better can be had.
            qCWarning(lcAnalysis) << "Couldn't read the recording for a zoomed waveform";
            return;
        }
        const double first = static_cast<double>(span->firstFrame) / sampleRate_;
        const double length =
            static_cast<double>(span->framesPerPeak) * static_cast<double>(span->peaks.size());
        card_->setPeaks(std::move(span->peaks), {first, first + length / sampleRate_});
    });
}

void WaveformViewport::syncScrollBar() {
    const TimeRange shown = visible();
    const QSignalBlocker blocker(scrollBar_);
    const auto units = [](double seconds) {
        return static_cast<int>(std::lround(seconds * scrollUnitsPerSecond));
    };
    scrollBar_->setPageStep(std::max(1, units(shown.length())));
    scrollBar_->setSingleStep(std::max(1, units(shown.length() / 10)));
    scrollBar_->setRange(0, std::max(0, units(duration_ - shown.length())));
    scrollBar_->setValue(units(shown.lower));
    scrollBar_->setVisible(!showsAll());
}

void WaveformViewport::scrollBarMoved(int value) {
    const TimeRange shown = visible();
    const double lower = value / scrollUnitsPerSecond;
    show({lower, lower + shown.length()});
}
