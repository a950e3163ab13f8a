#pragma once

#include <QColor>
#include <initializer_list>

// Contrast as the Web Content Accessibility Guidelines measure it: text needs 4.5:1 against
// what it sits on, meaningful graphics 3:1.
namespace Contrast {

constexpr double text = 4.5;
constexpr double graphics = 3.0;

// Relative luminance of the opaque colour, 0 (black) … 1 (white).
double luminance(const QColor& color);
// (lighter + 0.05) / (darker + 0.05), 1 … 21.
double ratio(const QColor& a, const QColor& b);
// `top` drawn over the opaque `bottom`, as one opaque colour.
QColor over(const QColor& top, const QColor& bottom);
// `from` moved in a straight line towards `to` by `amount` (0 … 1).
QColor mix(const QColor& from, const QColor& to, double amount);
// The colour nearest `from` on the way to `toward` that reaches `minimum` against every
// background; `toward` when nothing nearer does.
QColor reaching(const QColor& from, const QColor& toward, std::initializer_list<QColor> backgrounds,
                double minimum);
// Black or white, whichever stands out more from `background`.
QColor extremeFor(const QColor& background);

} // namespace Contrast
