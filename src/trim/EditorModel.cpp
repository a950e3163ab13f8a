#include "EditorModel.h"

#include "FutureDelivery.h"
#include "SilenceTrimmer.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float silenceThreshold = 0.01f;
constexpr double silencePaddingSeconds = 0.15;
// Beyond any recording; keeps the label arithmetic within integer range.
constexpr double longestLabelSeconds = 1e9;
} // namespace

EditorModel::EditorModel(Waveform::Data waveform, TimeRange trimRange, QString sourcePath,
                         QObject* parent)
    : QObject(parent), waveform_(std::move(waveform)), sourcePath_(std::move(sourcePath)),
      trimRange_(trimRange), visible_{0.0, durationSeconds()} {
    // The detail bins move to the levels: the model's own copy is what auto-trim reads.
    levels_ =
        std::make_shared<PeakLevels>(sourcePath_, std::move(waveform_.detailPeaks),
                                     Waveform::Data::framesPerDetailPeak, waveform_.totalFrames);
    waveform_.detailPeaks.clear();
}

EditorModel::~EditorModel() {
    // The player outlives nothing it reports to.
    player_.disconnect();
}

double EditorModel::durationSeconds() const {
    // A recording without frames or without a sample rate has no length to place things on.
    if (!(waveform_.sampleRate > 0) || waveform_.totalFrames <= 0)
        return 0.0;
    const double duration = waveform_.duration();
    return std::isfinite(duration) ? duration : 0.0;
}

void EditorModel::setTrimRange(TimeRange range, Change change) {
    if (range == trimRange_)
        return;
    const TimeRange previous = trimRange_;
    trimRange_ = range;
    // A selection is only heard while it stays as it is.
    player_.stop();
    emit trimRangeChanged(trimRange_, previous, change);
}

void EditorModel::moveBound(Bound bound, double seconds) {
    // No place at all is no move; it would otherwise land at the recording's end.
    if (std::isnan(seconds))
        return;
    const double duration = durationSeconds();
    double clamped = seconds < duration ? seconds : duration;
    clamped = clamped >= 0 ? clamped : 0.0;
    TimeRange range = trimRange_;
    // The gap rule wins over the clamp: near either end a bound may pass 0 or the duration.
    if (bound == Bound::start) {
        const double latest = range.upper - minimumSelectionSeconds;
        range.lower = latest < clamped ? latest : clamped;
    } else {
        const double earliest = range.lower + minimumSelectionSeconds;
        range.upper = clamped <= earliest ? earliest : clamped;
    }
    setTrimRange(range);
}

void EditorModel::stepBound(Bound bound, double seconds) {
    moveBound(bound, boundTime(bound) + seconds);
    reveal(boundTime(bound));
}

double EditorModel::boundTime(Bound bound) const {
    return bound == Bound::start ? trimRange_.lower : trimRange_.upper;
}

double EditorModel::boundMinimum(Bound bound) const {
    return bound == Bound::start ? 0.0 : trimRange_.lower + minimumSelectionSeconds;
}

double EditorModel::boundMaximum(Bound bound) const {
    return bound == Bound::start
               ? std::max(0.0, trimRange_.upper - minimumSelectionSeconds)
               : std::max(durationSeconds(), trimRange_.lower + minimumSelectionSeconds);
}

bool EditorModel::showsAll() const {
    return visible_.lower <= 0.0 && visible_.upper >= durationSeconds();
}

void EditorModel::setVisibleRange(TimeRange wanted) {
    const double total = durationSeconds();
    if (!(total > 0))
        return;
    const double shortest =
        std::min(total, static_cast<double>(minimumVisibleFrames) / waveform_.sampleRate);
    double length = std::clamp(wanted.length(), shortest, total);
    // NaN lengths and starts fall back to showing everything from the start.
    if (!std::isfinite(length))
        length = total;
    const double lower =
        std::isfinite(wanted.lower) ? std::clamp(wanted.lower, 0.0, total - length) : 0.0;
    const TimeRange shown =
        length >= total ? TimeRange{0.0, total} : TimeRange{lower, lower + length};
    if (shown == visible_)
        return;
    visible_ = shown;
    emit visibleRangeChanged(visible_);
}

void EditorModel::zoom(double factor, double anchor) {
    const TimeRange shown = visible_;
    if (!(factor > 0) || !(shown.length() > 0))
        return;
    const double anchored = std::isfinite(anchor) ? std::clamp(anchor, shown.lower, shown.upper)
                                                  : (shown.lower + shown.upper) / 2;
    const double length = shown.length() / factor;
    const double before = (anchored - shown.lower) / shown.length();
    setVisibleRange({anchored - before * length, anchored - before * length + length});
}

void EditorModel::scrollBy(double seconds) {
    setVisibleRange({visible_.lower + seconds, visible_.upper + seconds});
}

void EditorModel::reveal(double seconds) {
    const TimeRange shown = visible_;
    const double margin = shown.length() / 10;
    if (seconds < shown.lower)
        scrollBy(seconds - margin - shown.lower);
    else if (seconds > shown.upper)
        scrollBy(seconds + margin - shown.upper);
}

void EditorModel::autoTrim() {
    const std::optional<TimeRange> trimmed =
        SilenceTrimmer::trim(waveform_, silenceThreshold, silencePaddingSeconds);
    // No sound found: the selection stays, and the user is told why.
    if (!trimmed) {
        emit nothingToTrim();
        return;
    }
    setTrimRange(*trimmed, Change::autoTrim);
    // The bins place the ends to within a bin, which is seconds on a long recording; the
    // samples then place them exactly, unless the user has moved on or the file can't be read.
    const quint64 request = ++autoTrimRequest_;
    deliverTo(
        this,
        SilenceTrimmer::refineFile(sourcePath_, waveform_, silenceThreshold, silencePaddingSeconds),
        [this, request, coarse = *trimmed](std::optional<TimeRange> exact) {
            if (exact && request == autoTrimRequest_ && trimRange_ == coarse)
                setTrimRange(*exact);
        });
}

bool EditorModel::isSilent() const {
    return !SilenceTrimmer::trim(waveform_, silenceThreshold, silencePaddingSeconds);
}

void EditorModel::togglePlayback() {
    player_.toggle(sourcePath_, trimRange_);
}

QString EditorModel::timeLabel(double seconds) {
    // NaN fails the comparison and shows as 0 as well.
    const double clamped = seconds >= 0 ? std::min(seconds, longestLabelSeconds) : 0.0;
    // Truncating tenths of the whole value, not the fractional part times ten, keeps values
    // such as 2.3 (stored as 2.2999…) from showing a tenth less; 59.99 still shows 0:59.9.
    const auto totalTenths = static_cast<qint64>(clamped * 10.0);
    const qint64 whole = totalTenths / 10;
    return QString::asprintf("%lld:%02lld.%lld", whole / 60, whole % 60, totalTenths % 10);
}
