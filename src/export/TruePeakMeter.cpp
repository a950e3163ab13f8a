#include "TruePeakMeter.h"

#include "IntersampleFilter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr size_t kept = IntersampleFilter::taps - 1;
constexpr size_t lanes = 8;

// The largest absolute value; in lanes, so the compiler turns it into vector maxima.
float largest(const float* values, size_t count) {
    std::array<float, lanes> highest{};
    size_t i = 0;
    for (; i + lanes <= count; i += lanes)
        for (size_t lane = 0; lane < lanes; ++lane) {
            const float value = std::abs(values[i + lane]);
            highest[lane] = highest[lane] > value ? highest[lane] : value;
        }
    float peak = 0;
    for (; i < count; ++i)
        peak = std::max(peak, std::abs(values[i]));
    for (const float value : highest)
        peak = std::max(peak, value);
    return peak;
}

} // namespace

TruePeakMeter::TruePeakMeter(int channels)
    : channels_(channels), lines_(size_t(channels), std::vector<float>(kept, 0.0f)) {}

float TruePeakMeter::add(const float* interleaved, size_t frames) {
    const auto& weights = IntersampleFilter::weights();
    points_.resize(frames * IntersampleFilter::points);
    float peak = 0;
    for (size_t channel = 0; channel < size_t(channels_); ++channel) {
        std::vector<float>& line = lines_[channel];
        append(line, channel, interleaved, frames);
        // The frames themselves, then the points between them, weight by weight over the whole
        // block: plain loops over arrays, which vectorise.
        peak = std::max(peak, largest(line.data() + IntersampleFilter::halfTaps - 1, frames));
        std::fill(points_.begin(), points_.end(), 0.0f);
        float* quarter = points_.data();
        float* half = quarter + frames;
        float* threeQuarters = half + frames;
        for (size_t tap = 0; tap < size_t(IntersampleFilter::taps); ++tap) {
            const float* from = line.data() + tap;
            const float w0 = weights[0][tap], w1 = weights[1][tap], w2 = weights[2][tap];
            for (size_t i = 0; i < frames; ++i) {
                quarter[i] += w0 * from[i];
                half[i] += w1 * from[i];
                threeQuarters[i] += w2 * from[i];
            }
        }
        peak = std::max(peak, largest(points_.data(), points_.size()));
        line.erase(line.begin(), line.end() - kept);
    }
    return peak;
}

void TruePeakMeter::lead(const float* interleaved, size_t frames) {
    for (size_t channel = 0; channel < size_t(channels_); ++channel) {
        std::vector<float>& line = lines_[channel];
        append(line, channel, interleaved, frames);
        line.erase(line.begin(), line.end() - kept);
    }
}

void TruePeakMeter::append(std::vector<float>& line, size_t channel, const float* interleaved,
                           size_t frames) const {
    const size_t start = line.size();
    line.resize(start + frames, 0.0f);
    if (interleaved)
        for (size_t frame = 0; frame < frames; ++frame)
            line[start + frame] = interleaved[frame * size_t(channels_) + channel];
}

float TruePeakMeter::finish() {
    return add(nullptr, IntersampleFilter::halfTaps);
}
