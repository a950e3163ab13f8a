#pragma once

#include <QtGlobal>
#include <vector>

// A finished stretch of the replay's audio. Never changed once made, so that snapshots share it
// with the store across threads: silence, which holds no samples at all; raw float frames, until
// the store's worker has compressed them; or one FLAC stream.
struct ReplayBlock {
    enum class Form { Silence, Raw, Flac };

    qint64 firstFrame = 0;
    qint64 frames = 0;
    Form form = Form::Silence;
    std::vector<float> raw;
    std::vector<unsigned char> flac;

    qint64 endFrame() const { return firstFrame + frames; }
    // What it holds in memory, its own bookkeeping included.
    qint64 memoryBytes() const;
    // Its frames, interleaved, into `out` (resized to fit), as 24-bit storage keeps them even
    // while still raw; false when its stream can't be decoded.
    bool decodeInto(std::vector<float>& out, int channelCount) const;
};
