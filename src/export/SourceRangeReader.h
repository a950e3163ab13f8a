#pragma once

#include "TimeRange.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>

// Reads a time range of an audio file as interleaved float frames, chunk by chunk, so memory
// stays flat however long the recording is. Throws ExportFailure when the file can't be read,
// the range holds no frames, or the file changes while it is read.
class SourceRangeReader {
public:
    SourceRangeReader(const QString& path, TimeRange range);
    ~SourceRangeReader();
    SourceRangeReader(const SourceRangeReader&) = delete;
    SourceRangeReader& operator=(const SourceRangeReader&) = delete;

    int sampleRate() const;
    int channelCount() const;
    int64_t firstFrame() const;
    int64_t frameCount() const;

    // Fills `samples` with the next whole frames of the range; returns how many frames it
    // read, 0 once the range is done.
    int64_t read(std::span<float> samples);
    // Throws unless the file is still as it was opened (size, time of change): another
    // program may have written to it since.
    void checkUnchanged() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
