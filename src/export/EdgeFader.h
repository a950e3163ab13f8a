#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Fades interleaved float audio in over its first frames and out over its last, each only
// where the cut falls on sound: an edge whose frames all stay below -60 dBFS is left exactly
// as it is. The fade is a raised cosine that starts and ends at zero. The output lags the
// input by the fade's length; flush() hands over the rest.
class EdgeFader {
public:
    // `totalFrames` is the whole selection's length: fades never overlap.
    EdgeFader(int channels, int64_t fadeFrames, int64_t totalFrames);

    // The frames ready so far; valid until the next call.
    std::span<const float> process(std::span<const float> interleaved);
    std::span<const float> flush();

    bool fadedIn() const { return fadedIn_; }
    bool fadedOut() const { return fadedOut_; }

private:
    // Fades the `frames` frames at `samples` in, or out when `out`, if they hold sound.
    bool fadeIfSound(float* samples, int64_t frames, bool out) const;

    int channels_;
    int64_t fadeFrames_;
    bool startDone_ = false;
    bool fadedIn_ = false;
    bool fadedOut_ = false;
    std::vector<float> held_;
    std::vector<float> output_;
};
