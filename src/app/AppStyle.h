#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QIcon>
#include <QString>

class QAbstractButton;
class QWidget;

// The app's semantic fonts, colours and symbols for the windows around the editor: fonts and
// colours come from Theme, as the editor's do (the accent is the palette's highlight, "secondary"
// the text colour faded, each only as far from the palette as contrast allows); symbols come
// from the icon theme or from our own small drawings. Geometry in the views is in logical
// pixels, so explicit text sizes are pixel sizes too and keep their proportions to the layout.
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

    // The filled, large button of the app's main actions, in the accent or another tint, with a
    // ring along its edge while it has the focus.
    static void makeProminent(QAbstractButton* button, const QColor& tint);
    // The outlined, large button of secondary actions, with a visible keyboard focus ring.
    static void makeBordered(QAbstractButton* button);

    // For a QMessageBox: the title reads as a heading, as in the desktop's own alerts, and a
    // short message still gets a comfortable width, or the given one when wider.
    static QString alertStyleSheet(int textWidth = alertTextWidth);
    static constexpr int alertTextWidth = 320;

    // The desktop's ease-in-out: a slow start and a slow end (cubic 0.42, 0, 0.58, 1).
    static QEasingCurve easeInOut();

    static constexpr int largeControlHeight = 34;
};
