#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// A recording's detail peaks (the largest absolute sample over all channels of every
// `framesPerPeak` frames from frame 0), kept in a small hidden file beside the recording
// (".<recording name>.peaks") so that opening it needs no pass over its audio. Binary: a
// versioned header with the frame count and sample rate they were folded from, then the peaks as
// little-endian floats. Written by the recorder's writer at a recording's end; a recording that
// was killed has none, and is read as any other file.
struct DetailPeaksFile {
    static constexpr qint64 framesPerPeak = 1024;

    qint64 totalFrames = 0;
    int sampleRateHz = 0;
    std::vector<float> peaks;

    static QString pathFor(const QString& recordingPath);

    // Replaces the file in one step, readable by its owner only; false when it couldn't be
    // written. A link in its place is replaced, never written through.
    bool save(const QString& recordingPath) const;
    // Nothing when there is no file, or it isn't one whole set of peaks of this layout.
    static std::optional<DetailPeaksFile> load(const QString& recordingPath);
    // How many peaks `frames` frames fold into: the last one may be partial, and even no frames
    // give one.
    static qint64 peakCountFor(qint64 frames);
};
