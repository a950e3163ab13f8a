#include "LoudnessMeasurement.h"

#include "ChannelMixer.h"
#include "IntersampleFilter.h"
#include "SourceRangeReader.h"

#include <algorithm>
#include <future>
#include <vector>

namespace {

constexpr int64_t chunkSamples = 16384;
// Shorter ranges aren't worth a second thread.
constexpr int64_t splitFromSeconds = 20;

// `leadIn`: the audio just before the range, where the true peak's first points need it.
std::optional<LoudnessMeter> measureRange(const QString& sourcePath, FrameRange frames,
                                          std::optional<FrameRange> leadIn,
                                          const std::function<bool(int64_t)>& advanced) {
    SourceRangeReader reader(sourcePath, frames);
    ChannelMixer mixer(reader.channelCount());
    LoudnessMeter meter(mixer.outputChannels(), reader.sampleRate());
    const int64_t chunkFrames = std::max<int64_t>(1, chunkSamples / reader.channelCount());
    std::vector<float> samples(size_t(chunkFrames) * size_t(reader.channelCount()));
    if (leadIn) {
        SourceRangeReader before(sourcePath, *leadIn);
        while (const int64_t frames = before.read(samples))
            meter.lead(mixer.mix(std::span(samples).first(size_t(frames * reader.channelCount()))));
    }
    while (const int64_t frames = reader.read(samples)) {
        meter.add(mixer.mix(std::span(samples).first(size_t(frames * reader.channelCount()))));
        if (!advanced(frames))
            return std::nullopt;
    }
    reader.checkUnchanged();
    meter.finish();
    return meter;
}

} // namespace

std::optional<LoudnessMeter> measureLoudness(const QString& sourcePath, TimeRange range,
                                             const std::function<bool(int64_t frames)>& advanced) {
    const SourceRangeReader whole(sourcePath, range);
    const int rate = whole.sampleRate();
    const FrameRange frames{whole.firstFrame(), whole.firstFrame() + whole.frameCount()};
    if (frames.count() < splitFromSeconds * rate)
        return measureRange(sourcePath, frames, std::nullopt, advanced);
    // The seam on a 100 ms step of the first half's gating blocks.
    const int64_t step = std::max(1, rate / 10);
    const int64_t seam = frames.first + frames.count() / 2 / step * step;
    const FrameRange leadIn{seam - IntersampleFilter::taps, seam};
    auto later = std::async(std::launch::async, measureRange, sourcePath,
                            FrameRange{seam, frames.end}, leadIn, advanced);
    std::optional<LoudnessMeter> first =
        measureRange(sourcePath, FrameRange{frames.first, seam}, std::nullopt, advanced);
    std::optional<LoudnessMeter> second = later.get(); // rethrows what its thread threw
    if (!first || !second)
        return std::nullopt;
    first->append(std::move(*second));
    return first;
}
