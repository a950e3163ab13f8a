#include "DetailPeaksFile.h"
#include "Logging.h"
#include "PeakExtractor.h"
#include "RecordingFrameReader.h"
#include "Waveform.h"

#include <algorithm>

std::optional<Waveform::Data> Waveform::fromSavedPeaks(const QString& path,
                                                       qint64 targetPeakCount) {
    std::optional<DetailPeaksFile> saved = DetailPeaksFile::load(path);
    if (!saved)
        return std::nullopt;
    // Only the header is read: the length and rate the file reports must be the ones the
    // peaks were folded from.
    const std::unique_ptr<RecordingFrameReader> reader = RecordingFrameReader::open(path);
    if (!reader || reader->lengthFrames() != saved->totalFrames ||
        reader->sampleRate() != saved->sampleRateHz) {
        qCInfo(lcAnalysis) << "The saved peaks of" << path << "don't match it; reading it instead";
        return std::nullopt;
    }

    const qint64 framesPerPeak =
        std::max<qint64>(1, saved->totalFrames / std::max<qint64>(1, targetPeakCount));
    // An overview finer than the detail bins can't come from them; such a recording is short
    // enough to read in a moment.
    if (framesPerPeak < DetailPeaksFile::framesPerPeak)
        return PeakExtractor::extract(*reader, targetPeakCount);

    Data data;
    data.totalFrames = saved->totalFrames;
    data.sampleRate = saved->sampleRateHz;
    data.framesPerPeak = framesPerPeak;
    const qint64 count = (data.totalFrames + data.framesPerPeak - 1) / data.framesPerPeak;
    data.peaks.reserve(std::size_t(count));
    constexpr qint64 detail = DetailPeaksFile::framesPerPeak;
    static_assert(detail == Data::framesPerDetailPeak);
    for (qint64 bin = 0; bin < count; ++bin) {
        const qint64 first = bin * data.framesPerPeak;
        const qint64 last = std::min(first + data.framesPerPeak, data.totalFrames) - 1;
        const auto begin = saved->peaks.begin() + first / detail;
        data.peaks.push_back(*std::max_element(begin, saved->peaks.begin() + last / detail + 1));
    }
    data.detailPeaks = std::move(saved->peaks);
    return data;
}
