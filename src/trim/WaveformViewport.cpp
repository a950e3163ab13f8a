#include "WaveformViewport.h"

#include "FrameRange.h"
#include "FutureDelivery.h"
#include "Logging.h"
#include "TrimCard.h"

#include <QScrollBar>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>

WaveformViewport::WaveformViewport(EditorModel& model, TrimCard* card, QScrollBar* scrollBar)
    : QObject(card), model_(model), card_(card), scrollBar_(scrollBar) {
    connect(scrollBar_, &QScrollBar::valueChanged, this, &WaveformViewport::scrollBarMoved);
    connect(&model_, &EditorModel::visibleRangeChanged, this,
            &WaveformViewport::followVisibleRange);
    syncScrollBar();
}

void WaveformViewport::followVisibleRange() {
    syncScrollBar();
    refreshPeaks();
}

void WaveformViewport::refreshPeaks() {
    const quint64 request = ++request_;
    const TimeRange shown = model_.visibleRange();
    if (model_.showsAll()) {
        if (card_->peaksSpan() != shown)
            card_->setPeaks(model_.overviewPeaks(), shown);
        return;
    }
    const double sampleRate = model_.sampleRate();
    const double bars = std::max(1.0, card_->contentWidth() / barPitch);
    // The nearest power of two on a log scale.
    const qint64 framesPerPeak =
        PeakLevels::powerOfTwoAtMost(shown.length() * sampleRate / bars * std::sqrt(2.0));
    const std::shared_ptr<PeakLevels>& levels = model_.levels();
    const FrameRange frames = FrameRange::of(shown, sampleRate, levels->totalFrames());
    // Shared rather than optional: the peaks then travel to the view without a copy.
    const auto spanning = QtConcurrent::run([levels, frames, framesPerPeak] {
        std::optional<PeakLevels::Span> span =
            levels->span(frames.first, frames.end, framesPerPeak);
        return span ? std::make_shared<PeakLevels::Span>(std::move(*span)) : nullptr;
    });
    deliverTo(this, spanning,
              [this, request, sampleRate](const std::shared_ptr<PeakLevels::Span>& span) {
                  if (request != request_)
                      return;
                  if (!span) {
                      // The stretched bars of the last view stay; nothing better can be had.
                      qCWarning(lcAnalysis) << "Couldn't read the recording for a zoomed waveform";
                      return;
                  }
                  const double first = static_cast<double>(span->firstFrame) / sampleRate;
                  const double length = static_cast<double>(span->framesPerPeak) *
                                        static_cast<double>(span->peaks.size());
                  card_->setPeaks(std::move(span->peaks), {first, first + length / sampleRate});
              });
}

void WaveformViewport::syncScrollBar() {
    const TimeRange shown = model_.visibleRange();
    const QSignalBlocker blocker(scrollBar_);
    const auto units = [](double seconds) {
        return static_cast<int>(std::lround(seconds * scrollUnitsPerSecond));
    };
    scrollBar_->setPageStep(std::max(1, units(shown.length())));
    scrollBar_->setSingleStep(std::max(1, units(shown.length() / 10)));
    scrollBar_->setRange(0, std::max(0, units(model_.durationSeconds() - shown.length())));
    scrollBar_->setValue(units(shown.lower));
    scrollBar_->setVisible(!model_.showsAll());
}

void WaveformViewport::scrollBarMoved(int value) {
    const double lower = value / scrollUnitsPerSecond;
    model_.setVisibleRange({lower, lower + model_.visibleRange().length()});
}
