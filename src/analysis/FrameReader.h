#pragma once

#include <QtGlobal>
#include <optional>

// Where the peak extraction gets its audio: a length up front, then interleaved float frames in
// chunks. Kept apart from the binning so a reader that fails on demand can stand in.
class FrameReader {
public:
    virtual ~FrameReader() = default;

    virtual int channelCount() const = 0;
    virtual double sampleRate() const = 0;
    // The length the file reports before reading; the reads may deliver fewer frames.
    virtual qint64 lengthFrames() const = 0;

    // Reads up to `frames` frames into `interleaved` (room for frames × channelCount floats),
    // continuing where the previous read ended. Returns the frames delivered, 0 at the end of
    // the file, or nothing when the read failed.
    virtual std::optional<qint64> read(float* interleaved, qint64 frames) = 0;

    // The next read starts at `frame`; false when the reader can't go there.
    virtual bool seek(qint64 frame) = 0;
};
