#pragma once

#include <QFuture>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// A recording reduced to peak levels: what the editor draws and the silence trimmer searches.
class Waveform {
public:
    Waveform() = delete;

    struct Data {
        // Largest absolute sample of each bin over all channels; raw, not normalised.
        std::vector<float> peaks;
        qint64 framesPerPeak = 1;
        double sampleRate = 0.0;
        // The file's length as it reports it before reading.
        qint64 totalFrames = 0;
        // The same peaks in bins of framesPerDetailPeak frames from frame 0: what zooming
        // starts from without reading the whole file again.
        std::vector<float> detailPeaks;
        static constexpr qint64 framesPerDetailPeak = 1024;

        double duration() const { return static_cast<double>(totalFrames) / sampleRate; }
    };

    // Reads the file once on Qt Concurrent's pool. Nothing when the file can't be opened or
    // holds no frames.
    static QFuture<std::optional<Data>> extractPeaks(const QString& path, qint64 targetPeakCount);

    // The same, at once, from the detail peaks the recorder saved beside a recording, without
    // reading its audio. An overview bin whose edge falls inside a detail bin takes that whole
    // detail bin's peak, a few milliseconds more than its own. A recording too short for its
    // overview to come from the detail bins is read at once: a moment's work. Nothing when there
    // are no saved peaks or they don't match the file (a recording killed before its end, a
    // file changed since).
    static std::optional<Data> fromSavedPeaks(const QString& path, qint64 targetPeakCount);
};
