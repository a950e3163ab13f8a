#include "IntersampleFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double sinc(double x) {
    return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// A Kaiser window over [-1, 1].
double kaiser(double x) {
    constexpr double beta = 7.0;
    const double inside = std::max(0.0, 1.0 - x * x);
    return std::cyl_bessel_i(0.0, beta * std::sqrt(inside)) / std::cyl_bessel_i(0.0, beta);
}

IntersampleFilter::Weights designed() {
    IntersampleFilter::Weights weights{};
    for (int point = 0; point < IntersampleFilter::points; ++point)
        for (int i = 0; i < IntersampleFilter::taps; ++i) {
            const double t = double(point + 1) / (IntersampleFilter::points + 1) -
                             double(i - IntersampleFilter::halfTaps + 1);
            weights[size_t(point)][size_t(i)] =
                float(sinc(t) * kaiser(t / IntersampleFilter::halfTaps));
        }
    return weights;
}

} // namespace

const IntersampleFilter::Weights& IntersampleFilter::weights() {
    static const Weights weights = designed();
    return weights;
}

float IntersampleFilter::overshootBound() {
    static const float bound = [] {
        float highest = 0;
        for (const auto& point : weights()) {
            float sum = 0;
            for (const float weight : point)
                sum += std::abs(weight);
            highest = std::max(highest, sum);
        }
        return highest;
    }();
    return bound;
}
