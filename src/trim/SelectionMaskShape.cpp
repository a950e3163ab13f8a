#include "SelectionMaskShape.h"

namespace {
// A NaN width fails the comparison and becomes 0 as well.
double nonNegative(double width) {
    return width >= 0.0 ? width : 0.0;
}
} // namespace

std::vector<QRectF> SelectionMaskShape::rectangles(const QRectF& rect) const {
    const double startX = rect.left() + startFraction * rect.width();
    const double endX = rect.left() + endFraction * rect.width();
    if (!invert)
        return {QRectF(startX, rect.top(), nonNegative(endX - startX), rect.height())};
    return {QRectF(rect.left(), rect.top(), nonNegative(startX - rect.left()), rect.height()),
            QRectF(endX, rect.top(), nonNegative(rect.right() - endX), rect.height())};
}
