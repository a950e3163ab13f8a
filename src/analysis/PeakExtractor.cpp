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
    std::optional<PeakBinnerPair> binning;
    try {
        chunk.resize(static_cast<std::size_t>(chunkFrames * channelCount));
        constexpr qint64 detail = Waveform::Data::framesPerDetailPeak;
        // Room for about five hours of detail up front; a header claiming more is not believed
        // yet.
        binning.emplace(PeakBinner(framesPerPeak, channelCount, expectedPeakCount),
                        PeakBinner(detail, channelCount,
                                   std::min<qint64>(lengthFrames / detail + 1, qint64(1) << 20)),
                        channelCount);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }

    for (;;) {
        // Read errors end the pass and are dropped: what was read still makes a waveform.
        const std::optional<qint64> frames = reader.read(chunk.data(), chunkFrames);
        if (!frames || *frames <= 0)
            break;
        binning->consume(chunk.data(), std::min(*frames, chunkFrames));
    }

    Waveform::Data data;
    data.peaks = binning->first().finish();
    data.detailPeaks = binning->second().finish();
    data.framesPerPeak = framesPerPeak;
    data.sampleRate = reader.sampleRate();
    data.totalFrames = lengthFrames;
    return data;
}
