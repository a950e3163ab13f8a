#pragma once

#include <cstddef>
#include <vector>

// The true peak of interleaved float audio, a block at a time, as IntersampleFilter sees it:
// the highest absolute value of any frame or point between frames. A point needs the frames
// around it, so each block's answer covers the points its frames complete, IntersampleFilter's
// halfTaps frames behind; finish() measures the rest against silence.
class TruePeakMeter {
public:
    explicit TruePeakMeter(int channels);

    // Linear, 1.0 is full scale.
    float add(const float* interleaved, size_t frames);
    // Takes in the frames just before the measured ones, measuring none of them: the first
    // points are then measured against what came before rather than against silence.
    void lead(const float* interleaved, size_t frames);
    float finish();

private:
    // One channel of the frames onto its line; silence for none.
    void append(std::vector<float>& line, size_t channel, const float* interleaved,
                size_t frames) const;

    int channels_;
    // Per channel: the frames the next points still need, then the block's own.
    std::vector<std::vector<float>> lines_;
    std::vector<float> points_;
};
