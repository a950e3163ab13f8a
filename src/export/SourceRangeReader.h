#pragma once

#include "TimeRange.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>

// Reads a time range of an audio file as interleaved float frames, chunk by chunk, so memory
// stays flat however long the recording is. Throws ExportFailure when the file can't be read
// or the range holds no frames.
class SourceRangeReader {
public:
    SourceRangeReader(const QString& path, TimeRange range);
    ~SourceRangeReader();
    SourceRangeReader(const SourceRangeReader&) = delete;
    SourceRangeReader& operator=(const SourceRangeReader&) = delete;

    int sampleRate() const;
    int channelCount() const;
    int64_t frameCount() const;

    // Fills `samples` with the next whole frames of the range; returns how many frames it
    // read, 0 once the range is done.
    int64_t read(std::span<float> samples);

private:
    struct State;
    std::unique_ptr<State> state_;
};
