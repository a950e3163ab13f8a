#include "PeakLimiter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace {

constexpr double lookAheadSeconds = 0.005;
constexpr double releaseSeconds = 0.05;
// Below this the gain is back at the plain one: -0.001 dB, far below hearing.
constexpr float leastReduction = 1e-4f;

} // namespace

PeakLimiter::PeakLimiter(int channels, int sampleRate, float gain, float ceiling)
    : channels_(channels), gain_(gain), ceiling_(ceiling),
      lookAhead_(std::max(1, int(std::lround(lookAheadSeconds * sampleRate)))),
      delay_(halfTaps + lookAhead_ - 1),
      release_(float(std::exp(-1.0 / std::max(1.0, releaseSeconds * sampleRate)))),
      window_(size_t(lookAhead_), 1.0f), windowSum_(lookAhead_) {
    const auto capacity = int64_t(std::bit_ceil(unsigned(delay_ + 2 * halfTaps + 2)));
    capacityMask_ = capacity - 1;
    history_.assign(size_t(channels), std::vector<float>(size_t(2 * capacity), 0.0f));
}

std::span<const float> PeakLimiter::process(std::span<const float> interleaved) {
    output_.clear();
    const size_t frames = interleaved.size() / size_t(channels_);
    for (size_t frame = 0; frame < frames; ++frame)
        push(interleaved.data() + frame * size_t(channels_));
    return output_;
}

std::span<const float> PeakLimiter::flush() {
    output_.clear();
    for (int i = 0; i < delay_; ++i)
        push(nullptr);
    return output_;
}

// The highest absolute value of any channel from `frame` to just before the next one.
float PeakLimiter::intersamplePeak(int64_t frame) const {
    float peak = 0;
    const auto start = size_t((frame - halfTaps + 1) & capacityMask_);
    for (const std::vector<float>& channel : history_) {
        const float* window = channel.data() + start;
        peak = std::max(peak, std::abs(window[halfTaps - 1]));
        for (const auto& weights : IntersampleFilter::weights()) {
            float value = 0;
            for (int i = 0; i < IntersampleFilter::taps; ++i)
                value += window[i] * weights[size_t(i)];
            peak = std::max(peak, std::abs(value));
        }
    }
    return peak;
}

// Slides the look-ahead one frame on: the lowest gain any peak within it needs, averaged over
// the look-ahead so it is reached gradually, and let back up no faster than the release.
float PeakLimiter::nextGain(float required) {
    const int64_t at = pushed_ - halfTaps;
    while (!minima_.empty() && minima_.back().second >= required)
        minima_.pop_back();
    minima_.emplace_back(at, required);
    while (minima_.front().first <= at - lookAhead_)
        minima_.pop_front();
    float& oldest = window_[size_t(at % lookAhead_ + lookAhead_) % size_t(lookAhead_)];
    windowSum_ += double(minima_.front().second) - double(oldest);
    oldest = minima_.front().second;
    // Summed afresh now and then, so rounding never builds up.
    if (at % lookAhead_ == 0)
        windowSum_ = std::accumulate(window_.begin(), window_.end(), 0.0);
    const float smoothed = std::min(1.0f, float(windowSum_ / lookAhead_));
    const float reduction = (1.0f - envelope_) * release_;
    envelope_ = std::min(smoothed, reduction < leastReduction ? 1.0f : 1.0f - reduction);
    return envelope_;
}

void PeakLimiter::push(const float* frame) {
    if (frame)
        ++inputFrames_;
    const int64_t slot = pushed_ & capacityMask_;
    const int64_t capacity = capacityMask_ + 1;
    for (int channel = 0; channel < channels_; ++channel) {
        const float value = frame ? frame[channel] * gain_ : 0.0f;
        std::vector<float>& history = history_[size_t(channel)];
        history[size_t(slot)] = value;
        history[size_t(slot + capacity)] = value;
    }
    // The frame whose neighbourhood is now complete on both sides. Most frames lie far enough
    // under the ceiling that no interpolation can reach it, and need none.
    float framePeak = 0;
    for (const std::vector<float>& channel : history_)
        framePeak = std::max(framePeak, std::abs(channel[size_t(slot)]));
    while (!loudest_.empty() && loudest_.back().second <= framePeak)
        loudest_.pop_back();
    loudest_.emplace_back(pushed_, framePeak);
    while (loudest_.front().first <= pushed_ - 2 * halfTaps)
        loudest_.pop_front();
    const float bound = loudest_.front().second * IntersampleFilter::overshootBound();
    const float peak = bound <= ceiling_ ? bound : intersamplePeak(pushed_ - halfTaps);
    const float highest = std::max(peak, previousPeak_);
    previousPeak_ = peak;
    const float gain = nextGain(highest > ceiling_ ? ceiling_ / highest : 1.0f);
    const int64_t out = pushed_ - delay_;
    ++pushed_;
    if (out < 0 || out >= inputFrames_)
        return;
    if (gain < 1.0f)
        ++limitedFrames_;
    const auto outSlot = size_t(out & capacityMask_);
    for (const std::vector<float>& channel : history_)
        output_.push_back(channel[outSlot] * gain);
}
