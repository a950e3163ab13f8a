#pragma once

#include <QColor>
#include <QPalette>

// The editor's semantic colours, taken from the widget palette.
struct TrimPalette {
    QColor accent;
    QColor primary;
    QColor secondary;
    QColor windowBackground;
    QColor separator;

    static TrimPalette from(const QPalette& palette);
    static QColor withOpacity(QColor color, double opacity);
    friend bool operator==(const TrimPalette&, const TrimPalette&) = default;
};
