#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace {
double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double lowestRatio(const QColor& color, std::initializer_list<QColor> backgrounds) {
    double lowest = 21.0;
    for (const QColor& background : backgrounds)
        lowest = std::min(lowest, Contrast::ratio(color, background));
    return lowest;
}
} // namespace

double Contrast::luminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double Contrast::ratio(const QColor& a, const QColor& b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor Contrast::over(const QColor& top, const QColor& bottom) {
    QColor opaque = top.toRgb();
    opaque.setAlpha(255);
    return mix(bottom.toRgb(), opaque, top.toRgb().alphaF());
}

QColor Contrast::mix(const QColor& from, const QColor& to, double amount) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    // Whole 8-bit steps, as the colour will be drawn, so its contrast is what the eye gets.
    const auto step = [amount](int x, int y) {
        return static_cast<int>(std::lround(x + (y - x) * amount));
    };
    return QColor(step(a.red(), b.red()), step(a.green(), b.green()), step(a.blue(), b.blue()),
                  step(a.alpha(), b.alpha()));
}

QColor Contrast::reaching(const QColor& from, const QColor& toward,
                          std::initializer_list<QColor> backgrounds, double minimum) {
    if (lowestRatio(from, backgrounds) >= minimum)
        return from;
    if (lowestRatio(toward, backgrounds) < minimum)
        return toward;
    // Contrast grows along the way for the backgrounds that matter here; halve the step until
    // the colours are one 8-bit step apart, and keep the side that reaches.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 12; ++i) {
        const double middle = (low + high) / 2;
        if (lowestRatio(mix(from, toward, middle), backgrounds) >= minimum)
            high = middle;
        else
            low = middle;
    }
    // Rounded to 8 bits, the colour may lose a hair of contrast; step on until it holds.
    QColor result = mix(from, toward, high);
    for (double amount = high; lowestRatio(result, backgrounds) < minimum && amount < 1.0;) {
        amount = std::min(1.0, amount + 1.0 / 256);
        result = mix(from, toward, amount);
    }
    return result;
}

QColor Contrast::extremeFor(const QColor& background) {
    return ratio(Qt::black, background) >= ratio(Qt::white, background) ? QColor(Qt::black)
                                                                        : QColor(Qt::white);
}
