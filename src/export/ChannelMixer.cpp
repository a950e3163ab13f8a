#include "ChannelMixer.h"

#include "ExportFailure.h"

#include <algorithm>
#include <cmath>
#include <numbers>

extern "C" {
#include <libavutil/error.h>
}

namespace {

// Every format written here ends at full scale: FLAC and WAV hold 24-bit integers, and the
// lossy formats' players do the same. Louder samples could only clip later, and far larger
// ones make encoders misbehave (AAC spends minutes on values of a million). NaN has no sound.
float safeSample(float sample) {
    return std::isnan(sample) ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
}

// Weights of one channel in the left and the right output.
struct Placement {
    float left, right;
};
// The usual -3 dB for a channel shared by both sides or set aside to one.
constexpr float half = 1 / std::numbers::sqrt2_v<float>;
constexpr Placement frontLeft{1, 0}, frontRight{0, 1}, centre{half, half}, rearLeft{half, 0},
    rearRight{0, half}, lowFrequency{0, 0};

// Recordings of three to six channels are in the sound server's default channel order.
std::vector<Placement> standardPlacements(int channels) {
    switch (channels) {
    case 3:
        return {frontLeft, frontRight, centre};
    case 4:
        return {frontLeft, frontRight, rearLeft, rearRight};
    case 5:
        return {frontLeft, frontRight, centre, rearLeft, rearRight};
    case 6:
        return {frontLeft, rearLeft, centre, frontRight, rearRight, lowFrequency};
    default:
        return {};
    }
}

// Beyond six nothing says where a channel belongs: channels alternate left and right, as
// pairs do.
std::vector<Placement> placementsFor(int channels) {
    std::vector<Placement> placements = standardPlacements(channels);
    if (placements.empty())
        for (int i = 0; i < channels; ++i)
            placements.push_back(i % 2 == 0 ? frontLeft : frontRight);
    return placements;
}

// Each side scaled so that full scale in all its channels is full scale, never beyond.
std::vector<float> stereoMatrix(int channels) {
    const std::vector<Placement> placements = placementsFor(channels);
    float leftSum = 0, rightSum = 0;
    for (const Placement& placement : placements) {
        leftSum += placement.left;
        rightSum += placement.right;
    }
    const float leftScale = 1.0f / std::max(leftSum, 1.0f);
    const float rightScale = 1.0f / std::max(rightSum, 1.0f);
    std::vector<float> matrix(size_t(channels) * 2);
    for (size_t i = 0; i < placements.size(); ++i) {
        matrix[i] = placements[i].left * leftScale;
        matrix[placements.size() + i] = placements[i].right * rightScale;
    }
    return matrix;
}

} // namespace

ChannelMixer::ChannelMixer(int sourceChannels)
    : sourceChannels_(sourceChannels), outputChannels_(std::min(sourceChannels, 2)) {
    if (sourceChannels <= 0)
        throw ExportFailure::fromFFmpeg(AVERROR(EINVAL));
    if (sourceChannels > 2)
        matrix_ = stereoMatrix(sourceChannels);
}

std::span<const float> ChannelMixer::mix(std::span<const float> interleaved) {
    const size_t frames = interleaved.size() / size_t(sourceChannels_);
    mixed_.resize(frames * size_t(outputChannels_));
    if (matrix_.empty()) {
        std::transform(interleaved.begin(), interleaved.begin() + mixed_.size(), mixed_.begin(),
                       safeSample);
        return mixed_;
    }
    const size_t n = size_t(sourceChannels_);
    for (size_t frame = 0; frame < frames; ++frame) {
        const float* in = interleaved.data() + frame * n;
        float left = 0, right = 0;
        for (size_t i = 0; i < n; ++i) {
            const float sample = safeSample(in[i]);
            left += matrix_[i] * sample;
            right += matrix_[n + i] * sample;
        }
        // Each side's weights add up to at most one; rounding may still step past it.
        mixed_[frame * 2] = std::clamp(left, -1.0f, 1.0f);
        mixed_[frame * 2 + 1] = std::clamp(right, -1.0f, 1.0f);
    }
    return mixed_;
}
