#include "WaveformShape.h"

#include <algorithm>
#include <cmath>

namespace {
// An infinite peak (a corrupt sample) would put non-finite coordinates into the path; a bar a
// million points tall reaches past any area just the same.
constexpr double maximumHalfHeight = 1e6;
} // namespace

std::vector<QRectF> WaveformShape::bars(const QRectF& rect) const {
    std::vector<QRectF> result;
    if (peaks.empty())
        return result;
    result.reserve(peaks.size());

    const double halfArea = rect.height() * 0.5;
    const double mid = rect.top() + halfArea;
    const double step = rect.width() / static_cast<double>(peaks.size());
    // fmax yields the other operand when one is NaN.
    const double barWidth = std::fmax(step - barGap, minimumBarWidth);

    for (std::size_t i = 0; i < peaks.size(); ++i) {
        const double halfHeight =
            std::min(halfArea * static_cast<double>(peaks[i]), maximumHalfHeight);
        // A NaN half-height fails the comparison and gets the minimum bar.
        const bool tallEnough = halfHeight >= minimumHalfHeight;
        const double top = tallEnough ? mid - halfHeight : mid - minimumHalfHeight;
        const double height = tallEnough ? 2.0 * halfHeight : 2.0 * minimumHalfHeight;
        result.emplace_back(rect.left() + step * static_cast<double>(i), top, barWidth, height);
    }
    return result;
}
