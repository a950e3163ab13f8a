#include "EdgeFader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float silence = 0.001f; // -60 dBFS

} // namespace

EdgeFader::EdgeFader(int channels, int64_t fadeFrames, int64_t totalFrames)
    : channels_(channels), fadeFrames_(std::clamp<int64_t>(fadeFrames, 0, totalFrames / 2)) {}

bool EdgeFader::fadeIfSound(float* samples, int64_t frames, bool out) const {
    const size_t count = size_t(frames) * size_t(channels_);
    if (std::all_of(samples, samples + count, [](float s) { return std::abs(s) < silence; }))
        return false;
    for (int64_t frame = 0; frame < frames; ++frame) {
        const int64_t step = out ? frames - 1 - frame : frame;
        const auto weight =
            float(0.5 - 0.5 * std::cos(std::numbers::pi * double(step) / double(frames)));
        for (int channel = 0; channel < channels_; ++channel)
            samples[size_t(frame) * size_t(channels_) + size_t(channel)] *= weight;
    }
    return true;
}

std::span<const float> EdgeFader::process(std::span<const float> interleaved) {
    held_.insert(held_.end(), interleaved.begin(), interleaved.end());
    const auto heldFrames = int64_t(held_.size()) / channels_;
    if (!startDone_ && heldFrames >= fadeFrames_) {
        fadedIn_ = fadeFrames_ > 0 && fadeIfSound(held_.data(), fadeFrames_, false);
        startDone_ = true;
    }
    output_.clear();
    // The last frames wait until the end is known; so does everything before the start is.
    if (startDone_ && heldFrames > fadeFrames_) {
        const auto ready = size_t(heldFrames - fadeFrames_) * size_t(channels_);
        output_.assign(held_.begin(), held_.begin() + ptrdiff_t(ready));
        held_.erase(held_.begin(), held_.begin() + ptrdiff_t(ready));
    }
    return output_;
}

std::span<const float> EdgeFader::flush() {
    const auto heldFrames = int64_t(held_.size()) / channels_;
    if (fadeFrames_ > 0 && heldFrames >= fadeFrames_)
        fadedOut_ = fadeIfSound(held_.data() + size_t(heldFrames - fadeFrames_) * size_t(channels_),
                                fadeFrames_, true);
    output_.swap(held_);
    held_.clear();
    return output_;
}
