#pragma once

#include <QRectF>
#include <vector>

// The selection, given as fractions of the width, as the rectangle it covers or as the two
// rectangles outside it. Pure geometry: the trim view clips its layers with it.
struct SelectionMaskShape {
    double startFraction = 0.0;
    double endFraction = 0.0;
    bool invert = false;

    // Not inverted: the selection's rectangle. Inverted: left of it, then right of it.
    // Widths below zero (or NaN) become zero.
    std::vector<QRectF> rectangles(const QRectF& rect) const;
};
