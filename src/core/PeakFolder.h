#pragma once

#include "SampleKernels.h"

#include <QtGlobal>
#include <algorithm>
#include <optional>

// Folds interleaved float frames into bins of a fixed number of frames, each bin the largest
// absolute sample over its frames and all channels: the live level while recording and the
// waveform of a finished recording are the same peaks. Frames may come in pieces of any size; a
// bin that straddles pieces is still one bin. A NaN sample never raises a peak.
class PeakFolder {
public:
    explicit PeakFolder(qint64 framesPerBin) : framesPerBin_(std::max<qint64>(1, framesPerBin)) {}

    qint64 framesPerBin() const { return framesPerBin_; }
    // Frames the open bin still takes.
    qint64 room() const { return framesPerBin_ - framesInBin_; }

    // `frames` frames of `channelCount` channels; `closed(peak)` for each bin they complete.
    template <typename Closed>
    void fold(const float* interleaved, qint64 frames, int channelCount, Closed&& closed) {
        const qint64 channels = std::max(0, channelCount);
        while (frames > 0) {
            const qint64 take = std::min(frames, room());
            // A bin's frames are contiguous in the interleaved piece, so the peak over its
            // channels and frames is one flat scan of those samples.
            add(SampleKernels::maxMagnitude(interleaved, take * channels, 0.0f), take, closed);
            interleaved += take * channels;
            frames -= take;
        }
    }

    // `frames` frames (at most room()) whose largest absolute sample is `peak`, a number;
    // `closed(peak)` when they complete the bin.
    template <typename Closed> void add(float peak, qint64 frames, Closed&& closed) {
        openPeak_ = std::max(openPeak_, peak);
        framesInBin_ += frames;
        if (framesInBin_ == framesPerBin_)
            closed(closeBin());
    }

    // The partial bin, closed early; none when it has no frames.
    std::optional<float> closePartial() {
        return framesInBin_ > 0 ? std::optional(closeBin()) : std::nullopt;
    }

private:
    float closeBin() {
        const float peak = openPeak_;
        openPeak_ = 0.0f;
        framesInBin_ = 0;
        return peak;
    }

    qint64 framesPerBin_;
    float openPeak_ = 0.0f;
    qint64 framesInBin_ = 0;
};
