#include "SilenceTrimmer.h"

#include "Logging.h"
#include "RecordingFrameReader.h"

#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct LoudBins {
    qint64 first = 0;
    qint64 last = 0;
};

std::optional<LoudBins> loudBins(const std::vector<float>& peaks, float threshold) {
    const auto isSound = [threshold](float peak) { return peak >= threshold; };
    const auto first = std::find_if(peaks.begin(), peaks.end(), isSound);
    if (first == peaks.end())
        return std::nullopt;
    const auto last = std::find_if(peaks.rbegin(), peaks.rend(), isSound);
    return LoudBins{first - peaks.begin(),
                    static_cast<qint64>(peaks.size()) - 1 - (last - peaks.rbegin())};
}

// Written as "not inside" so a NaN falls to the bound.
std::optional<TimeRange> padded(double soundStart, double soundEnd, double padding,
                                double duration) {
    double start = soundStart - padding;
    if (!(start >= 0.0))
        start = 0.0;
    double end = soundEnd + padding;
    if (!(end < duration))
        end = duration;
    if (start < end)
        return TimeRange{start, end};
    return std::nullopt;
}

// The first (or last) frame in [from, to) with a sample of any channel at or above the
// threshold; nothing when there is none or the read fails.
std::optional<qint64> loudFrame(FrameReader& reader, qint64 from, qint64 to, float threshold,
                                bool last) {
    const int channels = reader.channelCount();
    if (channels < 1 || to <= from || !reader.seek(from))
        return std::nullopt;
    std::vector<float> samples(static_cast<std::size_t>((to - from) * channels));
    qint64 delivered = 0;
    while (delivered < to - from) {
        const std::optional<qint64> frames =
            reader.read(samples.data() + delivered * channels, to - from - delivered);
        if (!frames)
            return std::nullopt;
        if (*frames <= 0)
            break;
        delivered += *frames;
    }
    const auto isLoud = [&](qint64 frame) {
        const float* sample = samples.data() + frame * channels;
        return std::any_of(sample, sample + channels,
                           [threshold](float s) { return std::fabs(s) >= threshold; });
    };
    for (qint64 i = 0; i < delivered; ++i) {
        const qint64 frame = last ? delivered - 1 - i : i;
        if (isLoud(frame))
            return from + frame;
    }
    return std::nullopt;
}

} // namespace

std::optional<TimeRange> SilenceTrimmer::trim(const Waveform::Data& waveform, float threshold,
                                              double padding) {
    const std::optional<LoudBins> bins = loudBins(waveform.peaks, threshold);
    if (!bins)
        return std::nullopt;
    // Sound runs from the start of the first loud bin to the end of the last one.
    const auto seconds = [&waveform](qint64 bin) {
        return static_cast<double>(bin * waveform.framesPerPeak) / waveform.sampleRate;
    };
    return padded(seconds(bins->first), seconds(bins->last + 1), padding, waveform.duration());
}

std::optional<TimeRange> SilenceTrimmer::refine(FrameReader& reader, const Waveform::Data& waveform,
                                                float threshold, double padding) {
    const std::optional<LoudBins> bins = loudBins(waveform.peaks, threshold);
    if (!bins || !(waveform.sampleRate > 0) || waveform.framesPerPeak < 1)
        return std::nullopt;
    const qint64 length = waveform.totalFrames;
    const auto frameOfBin = [&](qint64 bin) {
        return std::clamp<qint64>(bin * waveform.framesPerPeak, 0, length);
    };
    const std::optional<qint64> first = loudFrame(reader, frameOfBin(bins->first - 1),
                                                  frameOfBin(bins->first + 2), threshold, false);
    const std::optional<qint64> last =
        loudFrame(reader, frameOfBin(bins->last - 1), frameOfBin(bins->last + 2), threshold, true);
    if (!first || !last || *last < *first)
        return std::nullopt;
    const double rate = waveform.sampleRate;
    return padded(static_cast<double>(*first) / rate, static_cast<double>(*last + 1) / rate,
                  padding, waveform.duration());
}

QFuture<std::optional<TimeRange>> SilenceTrimmer::refineFile(const QString& path,
                                                             Waveform::Data waveform,
                                                             float threshold, double padding) {
    return QtConcurrent::run(
        [path, waveform = std::move(waveform), threshold, padding]() -> std::optional<TimeRange> {
            const std::unique_ptr<RecordingFrameReader> reader = RecordingFrameReader::open(path);
            std::optional<TimeRange> refined;
            if (reader)
                refined = refine(*reader, waveform, threshold, padding);
            if (refined)
                qCDebug(lcAnalysis) << "Auto-trim on the samples:" << refined->lower << "…"
                                    << refined->upper << "s";
            else
                qCInfo(lcAnalysis) << "Auto-trim kept the bins' ends: the samples couldn't be read "
                                      "or held no sound";
            return refined;
        });
}
