#pragma once

#include "IntersampleFilter.h"

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

// Applies one gain to interleaved float audio and keeps its true peak (estimated at four times
// the rate) at or below a ceiling. Only the moments that would pass the ceiling are turned
// down: the gain glides down over a few milliseconds before such a peak and back up slowly
// after it, so the sound neither clicks nor pumps, and audio far from any peak keeps the plain
// gain. The output lags the input by a few milliseconds; flush() hands over the rest.
class PeakLimiter {
public:
    // `gain` and `ceiling` are linear (1.0 is full scale).
    PeakLimiter(int channels, int sampleRate, float gain, float ceiling);

    // The frames ready so far, gained and limited; valid until the next call.
    std::span<const float> process(std::span<const float> interleaved);
    // The frames still held back, once the input has ended.
    std::span<const float> flush();

    // Frames turned down below the plain gain so far.
    int64_t limitedFrames() const { return limitedFrames_; }

private:
    static constexpr int halfTaps = IntersampleFilter::halfTaps;

    void push(const float* frame); // nullptr: a frame of silence after the end
    float intersamplePeak(int64_t frame) const;
    float nextGain(float required);

    int channels_;
    float gain_;
    float ceiling_;
    int lookAhead_;
    int delay_;
    float release_;
    int64_t capacityMask_;
    std::vector<std::vector<float>> history_; // per channel, each frame twice: windows unbroken
    float previousPeak_ = 0;
    std::deque<std::pair<int64_t, float>> loudest_; // falling frame peaks, for a sliding maximum
    std::deque<std::pair<int64_t, float>> minima_;  // rising required gains, for a sliding minimum
    std::vector<float> window_;                     // the last lookAhead_ minima, for their mean
    double windowSum_;
    float envelope_ = 1;
    int64_t pushed_ = 0;
    int64_t inputFrames_ = 0;
    int64_t limitedFrames_ = 0;
    std::vector<float> output_;
};
