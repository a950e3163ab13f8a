#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The app's semantic colours, derived from the desktop's palette so that a light or a dark
// scheme both work: every text reaches 4.5:1 against what it sits on and every meaningful
// graphic 3:1, each colour moved from the palette's own only as far as that needs.
struct Theme {
    QColor window;
    QColor text;
    // Quieter text, e.g. times and hints: the text colour faded towards the window.
    QColor secondaryText;
    QColor accent;
    // The accent as the label of a plain button, on the button's face.
    QColor accentText;
    QColor buttonText;
    QColor separator;
    // The trim card's fill and what is drawn on it.
    QColor card;
    QColor handle;
    QColor focusRing;
    QColor playhead;
    QColor dimmedBar;   // outside the selection
    QColor selectedBar; // inside it: apart from the card and from the dimmed bars

    // Worked out once per palette: painting asks for it every frame, and the contrast search
    // behind it costs more than the painting.
    static Theme from(const QPalette& palette);
    friend bool operator==(const Theme&, const Theme&) = default;

    // A filled button in a tint (the accent, the recording red): its label colour and fills
    // for each state, the tint darkened or lightened only as far as the label needs.
    struct Filled {
        QColor fill;
        QColor hover;
        QColor pressed;
        // Still carries a white spinner or label at 3:1.
        QColor disabled;
        QColor text;
        QColor focusRing;
    };
    static Filled filled(const QColor& tint, const QPalette& palette);

    // Sizes relative to the desktop's font, so everything scales with it.
    static QFont headlineFont(QFont base);
    static QFont calloutFont(QFont base);
    static QFont captionFont(QFont base);
    // The fixed-width system font at the size of `size`.
    static QFont monospacedFont(const QFont& size);

    static constexpr double cardFillOpacity = 0.035;
    static constexpr double secondaryTextOpacity = 0.6;
    static constexpr double separatorOpacity = 0.7;

private:
    static Theme workedOut(const QPalette& palette);
};
