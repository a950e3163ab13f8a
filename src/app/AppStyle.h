#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QIcon>
#include <QString>

class QAbstractButton;
class QWidget;

// How the app's semantic fonts, colours and symbols map onto the desktop's: the accent is the
// palette's highlight, "secondary" is the text colour faded, symbols come from the icon theme
// or from our own small drawings. Geometry in the views is in logical pixels, so explicit text
// sizes are pixel sizes too and keep their proportions to the layout.
class AppStyle {
public:
    AppStyle() = delete;

    static QFont headlineFont();
    static QFont calloutFont();
    static QFont systemFont(int pixelSize, QFont::Weight weight);
    static QFont monospacedFont(int pixelSize, QFont::Weight weight);

    static QColor accentColor();
    static QColor secondaryTextColor();
    static QColor separatorColor();
    static QColor recordingRed();
    // Shows a widget's text in secondaryTextColor.
    static void makeSecondary(QWidget* widget);

    // A symbol from the desktop's icon theme, or our bundled drawing when the theme lacks it.
    static QIcon symbol(const QString& themeName, const QString& bundledName);
    // Our bundled drawing of a symbol in one colour, for symbols that carry a meaning in
    // their colour or sit on a filled button.
    static QIcon tintedSymbol(const QString& bundledName, const QColor& color);
    static QIcon applicationIcon();
    // A bundled symbol for the label of a filled button: one colour, with a gap after it so
    // the text doesn't crowd it. Its size is buttonSymbolSize.
    static QIcon buttonSymbol(const QString& bundledName, const QColor& color);
    static constexpr QSize buttonSymbolSize{24, 18};

    // The filled, large button of the app's main actions, in the accent or another tint.
    static void makeProminent(QAbstractButton* button, const QColor& tint);
    // The outlined, large button of secondary actions.
    static void makeBordered(QAbstractButton* button);

    // For a QMessageBox: the title reads as a heading, as in the desktop's own alerts, and a
    // short message still gets a comfortable width.
    static QString alertStyleSheet();

    // The desktop's ease-in-out: a slow start and a slow end (cubic 0.42, 0, 0.58, 1).
    static QEasingCurve easeInOut();

    static constexpr int largeControlHeight = 34;
};
