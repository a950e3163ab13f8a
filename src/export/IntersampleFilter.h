#pragma once

#include <array>

// How the meter and the limiter both see a true peak: the points a quarter, a half and three
// quarters past each frame (four times the rate), interpolated by a Kaiser-windowed sinc. One
// filter for both, so what the meter reports is what the limiter holds under the ceiling.
struct IntersampleFilter {
    static constexpr int halfTaps = 16; // on either side of the point
    static constexpr int taps = 2 * halfTaps;
    static constexpr int points = 3; // between one frame and the next

    // Per point, the weights of the frames from halfTaps - 1 before it to halfTaps after.
    using Weights = std::array<std::array<float, taps>, points>;
    static const Weights& weights();
    // No interpolated point exceeds the largest frame around it times this.
    static float overshootBound();
};
