#pragma once

#include "PcmBuffer.h"

#include <deque>
#include <map>
#include <optional>
#include <vector>

// Mixes streams that come and go into one unbroken timeline that starts at `originUs`, on the
// server's clock: where no stream has audio the timeline holds silence, so the recording's length
// is the wall clock's. Each stream's audio is put where its first delivery's capture time says and
// runs on from there unbroken (its gathering fills its own gaps); audio that would land where the
// timeline has already been given out goes right after it instead, so nothing is dropped. The
// streams share the output's clock, so none is resampled.
class StreamMix {
public:
    // Without a stream the timeline is given out this far behind the clock: a stream that opens
    // now has its first audio captured after that.
    static constexpr qint64 holdBackUs = 200'000;

    StreamMix(int sampleRateHz, int channelCount, qint64 originUs);

    // A stream joins; it holds the timeline back until it delivers, or ends.
    int addStream();
    // One of its deliveries, in order; capturedAtUs places the first one.
    void add(int stream, PcmBuffer&& buffer);
    // It will deliver no more; what it delivered still goes out.
    void endStream(int stream);
    bool hasOpenStreams() const;

    // The timeline as far as every open stream has delivered (without one, up to holdBackUs
    // before `nowUs`); empty when nothing more is decided.
    PcmBuffer take(qint64 nowUs);
    // All of it: every stream's audio, then silence up to `nowUs`.
    PcmBuffer finish(qint64 nowUs);

private:
    struct Stream {
        // Where its queued audio starts on the timeline, in frames; none before its first audio.
        std::optional<qint64> start;
        std::deque<float> queued;
        bool open = true;

        qint64 end(int channels) const { return *start + qint64(queued.size()) / channels; }
    };

    qint64 frameAt(qint64 us) const;
    PcmBuffer mixUpTo(qint64 frame);

    const int rate_;
    const int channels_;
    const qint64 originUs_;
    // The timeline given out so far, in frames.
    qint64 given_ = 0;
    int lastId_ = 0;
    std::map<int, Stream> streams_;
};
