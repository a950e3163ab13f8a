#include "SilenceTrimmer.h"

#include <algorithm>

std::optional<TimeRange> SilenceTrimmer::trim(const Waveform::Data& waveform, float threshold,
                                              double padding) {
    const std::vector<float>& peaks = waveform.peaks;
    const auto isSound = [threshold](float peak) { return peak >= threshold; };

    const auto first = std::find_if(peaks.begin(), peaks.end(), isSound);
    if (first == peaks.end())
        return std::nullopt;
    const auto last = std::find_if(peaks.rbegin(), peaks.rend(), isSound);

    // Both ends use the time at which their bin begins.
    const auto binStartSeconds = [&waveform](qint64 index) {
        return static_cast<double>(index * waveform.framesPerPeak) / waveform.sampleRate;
    };
    const qint64 firstIndex = first - peaks.begin();
    const qint64 lastIndex = static_cast<qint64>(peaks.size()) - 1 - (last - peaks.rbegin());

    // Written as "not inside" so a NaN falls to the bound.
    double start = binStartSeconds(firstIndex) - padding;
    if (!(start >= 0.0))
        start = 0.0;
    double end = padding + binStartSeconds(lastIndex);
    const double duration = waveform.duration();
    if (!(end < duration))
        end = duration;

    if (start < end)
        return TimeRange{start, end};
    return std::nullopt;
}
