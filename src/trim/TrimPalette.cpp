#include "TrimPalette.h"

namespace {
// The same strengths as the rest of the window uses for secondary text and separators.
constexpr double secondaryOpacity = 0.6;
constexpr double separatorOpacity = 0.7;
} // namespace

TrimPalette TrimPalette::from(const QPalette& palette) {
    const QColor primary = palette.color(QPalette::WindowText);
    return {.accent = palette.color(QPalette::Highlight),
            .primary = primary,
            .secondary = withOpacity(primary, secondaryOpacity),
            .windowBackground = palette.color(QPalette::Window),
            .separator = withOpacity(palette.color(QPalette::Mid), separatorOpacity)};
}

QColor TrimPalette::withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}
