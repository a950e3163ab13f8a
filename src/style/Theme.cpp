#include "Theme.h"

#include "Contrast.h"

#include <QFontDatabase>
#include <algorithm>
#include <optional>
#include <utility>

using Contrast::extremeFor;
using Contrast::mix;
using Contrast::over;
using Contrast::reaching;

namespace {
QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

QFont resized(QFont font, double pointsSmaller) {
    if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, font.pointSizeF() - pointsSmaller));
    else
        font.setPixelSize(std::max(8, font.pixelSize() - static_cast<int>(pointsSmaller * 4 / 3)));
    return font;
}
} // namespace

Theme Theme::from(const QPalette& palette) {
    // Per thread, so that drawing off the main thread needs no lock.
    thread_local std::optional<std::pair<qint64, Theme>> last;
    if (!last || last->first != palette.cacheKey())
        last.emplace(palette.cacheKey(), workedOut(palette));
    return last->second;
}

Theme Theme::workedOut(const QPalette& palette) {
    Theme theme;
    theme.window = palette.color(QPalette::Window);
    theme.text = reaching(palette.color(QPalette::WindowText), extremeFor(theme.window),
                          {theme.window}, Contrast::text);
    theme.secondaryText =
        reaching(over(withOpacity(theme.text, secondaryTextOpacity), theme.window), theme.text,
                 {theme.window}, Contrast::text);
    theme.accent = palette.color(QPalette::Highlight);
    // Fusion and most styles shade a button's face a little either way of the Button colour.
    const QColor face = palette.color(QPalette::Button);
    theme.buttonText = reaching(palette.color(QPalette::ButtonText), extremeFor(face),
                                {face, face.lighter(112), face.darker(112)}, Contrast::text);
    theme.accentText = reaching(theme.accent, extremeFor(face),
                                {face, face.lighter(112), face.darker(112)}, Contrast::text);
    theme.separator = withOpacity(palette.color(QPalette::Mid), separatorOpacity);

    theme.card = over(withOpacity(theme.text, cardFillOpacity), theme.window);
    const QColor away = extremeFor(theme.card);
    theme.handle = reaching(theme.accent, away, {theme.card}, Contrast::graphics);
    theme.focusRing =
        reaching(theme.accent, away, {theme.card, theme.window, face}, Contrast::graphics);
    theme.playhead = reaching(theme.text, away, {theme.card}, Contrast::graphics);
    // The quietest grey that still reads on the card, then the accent moved until it stands
    // apart from both.
    theme.dimmedBar = reaching(theme.card, theme.text, {theme.card}, Contrast::graphics);
    theme.selectedBar =
        reaching(theme.accent, away, {theme.card, theme.dimmedBar}, Contrast::graphics);
    return theme;
}

Theme::Filled Theme::filled(const QColor& tint, const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    // White labels, as the desktop's suggested actions have, unless the tint is pale.
    const QColor text = tint.lightnessF() > 0.75 ? QColor(Qt::black) : QColor(Qt::white);
    const QColor deeper = extremeFor(text);
    Filled colors;
    colors.text = text;
    colors.fill = reaching(tint, deeper, {text}, Contrast::text);
    colors.hover = reaching(colors.fill.lighter(108), deeper, {text}, Contrast::text);
    colors.pressed = reaching(colors.fill.darker(115), deeper, {text}, Contrast::text);
    colors.disabled =
        reaching(over(withOpacity(colors.fill, 0.45), window), colors.fill, {text}, 3.0);
    // The ring runs along the button's edge: it must stand out from the window outside and
    // from the fill inside.
    colors.focusRing = reaching(palette.color(QPalette::WindowText), extremeFor(window),
                                {window, colors.fill}, Contrast::graphics);
    return colors;
}

QFont Theme::headlineFont(QFont base) {
    base.setWeight(QFont::DemiBold);
    return base;
}

QFont Theme::calloutFont(QFont base) {
    return resized(std::move(base), 1);
}

QFont Theme::captionFont(QFont base) {
    return resized(std::move(base), 2);
}

QFont Theme::monospacedFont(const QFont& size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (size.pointSizeF() > 0)
        font.setPointSizeF(size.pointSizeF());
    else
        font.setPixelSize(size.pixelSize());
    font.setWeight(size.weight());
    font.setStyleHint(QFont::Monospace);
    return font;
}
