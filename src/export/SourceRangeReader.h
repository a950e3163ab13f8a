#pragma once

#include "FrameRange.h"
#include "RecordingReader.h"

#include <QString>
#include <cstdint>
#include <span>

// Reads a run of a recording's frames chunk by chunk for saving, so memory stays flat however
// long the recording is. Throws ExportFailure when the file can't be read, the run holds no
// frames, or the file changes while it is read.
class SourceRangeReader {
public:
    // The selection in seconds becomes frames the one way FrameRange makes them.
    SourceRangeReader(const QString& path, TimeRange range);
    SourceRangeReader(const QString& path, FrameRange frames);

    int sampleRate() const { return recording_.sampleRate(); }
    int channelCount() const { return recording_.channelCount(); }
    int64_t firstFrame() const { return frames_.first; }
    int64_t frameCount() const { return frames_.count(); }

    // Fills `samples` with the next whole frames of the run; returns how many frames it read,
    // 0 once the run is done.
    int64_t read(std::span<float> samples);
    // Throws unless the file is still as it was opened (size, time of change): another
    // program may have written to it since.
    void checkUnchanged() const;

private:
    void begin();

    RecordingReader recording_;
    FrameRange frames_;
    int64_t next_ = 0;
};
