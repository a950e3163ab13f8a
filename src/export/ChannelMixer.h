#pragma once

#include <span>
#include <vector>

// Makes any interleaved float audio safe to encode: NaN becomes silence, every sample is held
// to full scale (±1), and more than two channels are mixed down to stereo.
class ChannelMixer {
public:
    explicit ChannelMixer(int sourceChannels);

    int outputChannels() const { return outputChannels_; }

    // The mixed frames; valid until the next call.
    std::span<const float> mix(std::span<const float> interleaved);

private:
    int sourceChannels_;
    int outputChannels_;
    std::vector<float> matrix_; // weight of source channel i in output o at [o * sources + i]
    std::vector<float> mixed_;
};
