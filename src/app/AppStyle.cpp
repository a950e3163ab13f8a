#include "AppStyle.h"

#include "FocusRingStyle.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <algorithm>

// Resources compiled into a static library have to be registered by name.
static void registerBundledResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(sonabrix);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

QString bundledPath(const QString& name) {
    return QStringLiteral(":/sonabrix/icons/%1.svg").arg(name);
}

QString cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF(), 0, 'f', 3);
}

Theme currentTheme() {
    return Theme::from(QApplication::palette());
}

} // namespace

QFont AppStyle::headlineFont() {
    return Theme::headlineFont(QApplication::font());
}

QFont AppStyle::calloutFont() {
    return Theme::calloutFont(QApplication::font());
}

QFont AppStyle::systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont AppStyle::monospacedFont(int pixelSize, QFont::Weight weight) {
    return Theme::monospacedFont(systemFont(pixelSize, weight));
}

QColor AppStyle::accentColor() {
    return currentTheme().accent;
}

QColor AppStyle::secondaryTextColor() {
    return currentTheme().secondaryText;
}

QColor AppStyle::separatorColor() {
    return currentTheme().separator;
}

QColor AppStyle::recordingRed() {
    return QColor(0xff, 0x3b, 0x30);
}

QIcon AppStyle::symbol(const QString& themeName, const QString& bundledName) {
    registerBundledResources();
    return QIcon::fromTheme(themeName, QIcon(bundledPath(bundledName)));
}

QIcon AppStyle::tintedSymbol(const QString& bundledName, const QColor& color) {
    registerBundledResources();
    const QIcon source(bundledPath(bundledName));
    QIcon tinted;
    for (const int side : {16, 20, 24, 32, 40, 48, 64, 96, 128}) {
        QPixmap pixmap = source.pixmap(QSize(side, side));
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        painter.end();
        tinted.addPixmap(pixmap);
    }
    return tinted;
}

QIcon AppStyle::buttonSymbol(const QString& bundledName, const QColor& color) {
    const QIcon glyph = tintedSymbol(bundledName, color);
    const int glyphSide = buttonSymbolSize.height();
    QIcon symbol;
    for (const int scale : {1, 2, 3}) {
        QPixmap canvas(buttonSymbolSize * scale);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.drawPixmap(0, 0, glyph.pixmap(QSize(glyphSide, glyphSide) * scale));
        painter.end();
        canvas.setDevicePixelRatio(scale);
        symbol.addPixmap(canvas);
    }
    return symbol;
}

QIcon AppStyle::applicationIcon() {
    registerBundledResources();
    return QIcon(QStringLiteral(":/sonabrix/sonabrix.svg"));
}

void AppStyle::makeProminent(QAbstractButton* button, const QColor& tint) {
    const Theme::Filled colors = Theme::filled(tint, button->palette());
    // The focus ring is the button's border; unfocused, the border is there but clear, so the
    // label doesn't move when the focus arrives.
    button->setStyleSheet(
        QStringLiteral("QAbstractButton { background-color: %1; color: %2;"
                       " border: 2px solid transparent; border-radius: 7px; padding: 0px 14px;"
                       " min-height: %7px; }"
                       "QAbstractButton:hover { background-color: %3; }"
                       "QAbstractButton:pressed { background-color: %4; }"
                       "QAbstractButton:disabled { background-color: %5; color: %2; }"
                       "QAbstractButton:focus { outline: none; border-color: %6; }")
            .arg(cssColor(colors.fill), cssColor(colors.text), cssColor(colors.hover),
                 cssColor(colors.pressed), cssColor(colors.disabled), cssColor(colors.focusRing))
            .arg(largeControlHeight - 4));
    button->setIconSize(buttonSymbolSize);
    button->setCursor(Qt::PointingHandCursor);
}

void AppStyle::makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor());
    widget->setPalette(palette);
}

void AppStyle::makeBordered(QAbstractButton* button) {
    button->setStyle(FocusRingStyle::instance());
    button->setMinimumHeight(largeControlHeight);
    button->setIconSize(QSize(16, 16));
    // Room around the label, as the filled buttons have.
    button->setMinimumWidth(button->sizeHint().width() + 20);
}

QString AppStyle::alertStyleSheet(int textWidth) {
    return QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; }"
                          "QLabel#qt_msgbox_informativelabel { min-width: %1px; }")
        .arg(std::max(textWidth, alertTextWidth));
}

QEasingCurve AppStyle::easeInOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}
