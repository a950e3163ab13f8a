#include "PeakLevels.h"

#include "PeakBinner.h"
#include "RecordingFrameReader.h"

#include <QMutexLocker>
#include <algorithm>
#include <cmath>

PeakLevels::PeakLevels(QString path, std::vector<float> detailPeaks, qint64 framesPerDetailPeak,
                       qint64 totalFrames)
    : path_(std::move(path)), detailPeaks_(std::move(detailPeaks)),
      framesPerDetailPeak_(std::max<qint64>(1, framesPerDetailPeak)),
      totalFrames_(std::max<qint64>(0, totalFrames)) {}

qint64 PeakLevels::powerOfTwoAtMost(double frames) {
    qint64 power = 1;
    // Written as "not above" so a NaN stays at 1; the bound keeps the shift in range.
    while (power < (qint64(1) << 40) && static_cast<double>(power * 2) <= frames)
        power *= 2;
    return power;
}

std::optional<PeakLevels::Span> PeakLevels::span(qint64 from, qint64 to, qint64 framesPerPeak) {
    const qint64 level = powerOfTwoAtMost(static_cast<double>(framesPerPeak));
    from = std::clamp<qint64>(from, 0, totalFrames_);
    to = std::clamp<qint64>(to, from, totalFrames_);
    const qint64 firstBin = from / level;
    const qint64 endBin = (to + level - 1) / level;
    if (level >= framesPerDetailPeak_ && level % framesPerDetailPeak_ == 0)
        return foldDetail(firstBin, endBin, level);

    Span result{firstBin * level, level, {}};
    result.peaks.reserve(static_cast<std::size_t>(endBin - firstBin));
    QMutexLocker lock(&mutex_);
    for (qint64 bin = firstBin; bin < endBin;) {
        const qint64 index = bin / binsPerTile;
        const std::vector<float>* peaks = tile(level, index);
        if (!peaks)
            return std::nullopt;
        const qint64 offset = bin - index * binsPerTile;
        const qint64 count = std::min(endBin - bin, static_cast<qint64>(peaks->size()) - offset);
        if (count <= 0)
            break; // the file ended before its header said
        result.peaks.insert(result.peaks.end(), peaks->begin() + offset,
                            peaks->begin() + offset + count);
        bin += count;
    }
    return result;
}

std::optional<PeakLevels::Span> PeakLevels::foldDetail(qint64 firstBin, qint64 endBin,
                                                       qint64 framesPerPeak) const {
    const qint64 group = framesPerPeak / framesPerDetailPeak_;
    const auto detailCount = static_cast<qint64>(detailPeaks_.size());
    Span result{firstBin * framesPerPeak, framesPerPeak, {}};
    result.peaks.reserve(static_cast<std::size_t>(std::max<qint64>(0, endBin - firstBin)));
    for (qint64 bin = firstBin; bin < endBin && bin * group < detailCount; ++bin) {
        const auto first = detailPeaks_.begin() + bin * group;
        const auto last = detailPeaks_.begin() + std::min(detailCount, (bin + 1) * group);
        // The detail peaks are never NaN (the binning drops NaN), so max_element is exact.
        result.peaks.push_back(*std::max_element(first, last));
    }
    return result;
}

const std::vector<float>* PeakLevels::tile(qint64 framesPerPeak, qint64 index) {
    const TileKey key{framesPerPeak, index};
    if (const auto found = tiles_.find(key); found != tiles_.end()) {
        uses_.splice(uses_.begin(), uses_, found->second.use);
        return &found->second.peaks;
    }
    std::optional<std::vector<float>> peaks = readTile(framesPerPeak, index);
    if (!peaks)
        return nullptr;
    if (tiles_.size() >= tilesKept) {
        tiles_.erase(uses_.back());
        uses_.pop_back();
    }
    uses_.push_front(key);
    return &tiles_.emplace(key, Tile{std::move(*peaks), uses_.begin()}).first->second.peaks;
}

std::optional<std::vector<float>> PeakLevels::readTile(qint64 framesPerPeak, qint64 index) const {
    const std::unique_ptr<RecordingFrameReader> reader = RecordingFrameReader::open(path_);
    const qint64 first = index * binsPerTile * framesPerPeak;
    if (!reader || reader->channelCount() < 1 || !reader->seek(first))
        return std::nullopt;
    const qint64 frames = std::min(binsPerTile * framesPerPeak, totalFrames_ - first);
    const int channels = reader->channelCount();
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    PeakBinner binner(framesPerPeak, channels, binsPerTile);
    for (qint64 done = 0; done < frames;) {
        const std::optional<qint64> read = reader->read(samples.data(), frames - done);
        if (!read)
            return std::nullopt;
        if (*read <= 0)
            break;
        binner.consume(samples.data(), *read);
        done += *read;
    }
    return binner.finish();
}
