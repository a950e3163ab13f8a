#pragma once

#include "Failure.h"
#include "FrameRange.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// A recording opened for reading: its length, rate and channels, and any run of its frames as
// interleaved floats. Everything that reads a recording back (peaks, playback, saving, the
// library) goes through here.
//
// The file is opened once, by a descriptor of its own: a file renamed over the path or a link
// swapped in after the open doesn't change what is read, and isUnchanged() can tell whether
// another program wrote to it since.
class RecordingReader {
public:
    // Why not, when `path` can't be opened or isn't audio libsndfile reads.
    static Result<RecordingReader> open(const QString& path);

    ~RecordingReader();
    RecordingReader(RecordingReader&&) noexcept;
    RecordingReader& operator=(RecordingReader&&) noexcept;

    int64_t frameCount() const;
    int sampleRate() const;
    int channelCount() const;
    FrameRange allFrames() const { return {0, frameCount()}; }

    // Reads `frames` into `interleaved`, which has room for frames.count() × channelCount()
    // floats. Returns the frames read: fewer than asked at the end of the file, nothing when the
    // read failed (errorText() says why). Reads that follow one another need no seek.
    std::optional<int64_t> read(FrameRange frames, std::span<float> interleaved);

    // True while the file's size and time of change are as they were at the open.
    bool isUnchanged() const;
    // Why the last read failed.
    QString errorText() const;

private:
    struct State;
    explicit RecordingReader(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
