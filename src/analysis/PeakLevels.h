#pragma once

#include <QMutex>
#include <QString>
#include <QtGlobal>
#include <list>
#include <map>
#include <optional>
#include <vector>

// The peaks of any stretch of a recording, as fine as single frames, for a zoomed waveform. Bins
// hold a power of two of frames and start at multiples of it, so the same bin always has the
// same peak. Levels at or above the analysis' detail bins are folded from them; finer ones are
// read from the file in tiles, and the tiles kept (up to a bound) for the next request. Any
// thread may ask; requests run one at a time.
class PeakLevels {
public:
    PeakLevels(QString path, std::vector<float> detailPeaks, qint64 framesPerDetailPeak,
               qint64 totalFrames);

    struct Span {
        qint64 firstFrame = 0;
        qint64 framesPerPeak = 1;
        // Bin i covers frames firstFrame + i × framesPerPeak onwards; the last may be partial.
        std::vector<float> peaks;
    };

    // The bins of `framesPerPeak` frames (rounded down to a power of two) that hold frames
    // from … to − 1, the range kept within the recording. Nothing when the file can't be read.
    std::optional<Span> span(qint64 from, qint64 to, qint64 framesPerPeak);

    qint64 totalFrames() const { return totalFrames_; }

    // The largest power of two not above `frames`, at least 1.
    static qint64 powerOfTwoAtMost(double frames);

    static constexpr qint64 binsPerTile = 4096;
    static constexpr std::size_t tilesKept = 2048; // 32 MB of peaks

private:
    using TileKey = std::pair<qint64, qint64>; // frames per peak, tile index
    struct Tile {
        std::vector<float> peaks;
        std::list<TileKey>::iterator use;
    };

    std::optional<Span> foldDetail(qint64 firstBin, qint64 endBin, qint64 framesPerPeak) const;
    const std::vector<float>* tile(qint64 framesPerPeak, qint64 index);
    std::optional<std::vector<float>> readTile(qint64 framesPerPeak, qint64 index) const;

    const QString path_;
    const std::vector<float> detailPeaks_;
    const qint64 framesPerDetailPeak_;
    const qint64 totalFrames_;

    QMutex mutex_;
    std::map<TileKey, Tile> tiles_;
    std::list<TileKey> uses_; // most recent first
};
