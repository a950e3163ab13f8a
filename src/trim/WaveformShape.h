#pragma once

#include <QRectF>
#include <vector>

// The recording's peaks as a row of rounded bars centred on the middle line. Pure geometry:
// colours, masks and layering belong to the trim view.
struct WaveformShape {
    std::vector<float> peaks;

    static constexpr double barGap = 0.5;
    static constexpr double minimumBarWidth = 1.0;
    static constexpr double minimumHalfHeight = 1.0;
    static constexpr double cornerRadius = 1.0;

    // One rectangle per peak, spread evenly over `rect`, each drawn as a rounded rectangle of
    // cornerRadius. Where bars overlap (a pitch below a point) their coverage adds up.
    std::vector<QRectF> bars(const QRectF& rect) const;
};
