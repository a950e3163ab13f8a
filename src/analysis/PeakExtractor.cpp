#include "PeakExtractor.h"

#include "PeakBinner.h"

#include <algorithm>
#include <new>
#include <stdexcept>

std::optional<Waveform::Data> PeakExtractor::extract(FrameReader& reader, qint64 targetPeakCount) {
    const qint64 lengthFrames = reader.lengthFrames();
    if (lengthFrames < 1)
        return std::nullopt;
    // A target below 1 would divide by zero; one bin is the closest meaningful request.
    const qint64 framesPerPeak =
        std::max<qint64>(1, lengthFrames / std::max<qint64>(1, targetPeakCount));
    const int channelCount = std::max(0, reader.channelCount());

    // Written so that a header claiming an absurd length cannot overflow.
    const qint64 expectedPeakCount =
        lengthFrames / framesPerPeak + (lengthFrames % framesPerPeak != 0 ? 1 : 0);
    std::vector<float> chunk;
    std::optional<PeakBinner> binning;
    std::optional<PeakBinner> detailBinning;
    try {
        chunk.resize(static_cast<std::size_t>(chunkFrames * channelCount));
        binning.emplace(framesPerPeak, channelCount, expectedPeakCount);
        constexpr qint64 detail = Waveform::Data::framesPerDetailPeak;
        // Room for about five hours up front; a header claiming more is not believed yet.
        detailBinning.emplace(detail, channelCount,
                              std::min<qint64>(lengthFrames / detail + 1, qint64(1) << 20));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
    PeakBinner& binner = *binning;
    PeakBinner& detailBinner = *detailBinning;

    for (;;) {
        // Read errors end the pass and are dropped: what was read still makes a waveform.
        const std::optional<qint64> frames = reader.read(chunk.data(), chunkFrames);
        if (!frames || *frames <= 0)
            break;
        const qint64 delivered = std::min(*frames, chunkFrames);
        // The chunk is still in the cache for the second pass.
        binner.consume(chunk.data(), delivered);
        detailBinner.consume(chunk.data(), delivered);
    }

    Waveform::Data data;
    data.peaks = binner.finish();
    data.detailPeaks = detailBinner.finish();
    data.framesPerPeak = framesPerPeak;
    data.sampleRate = reader.sampleRate();
    data.totalFrames = lengthFrames;
    return data;
}
