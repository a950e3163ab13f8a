#include "AppStyle.h"

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

int pointDelta(const QFont& font, int delta) {
    return std::max(6, font.pointSize() + delta);
}

QString cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF(), 0, 'f', 3);
}

} // namespace

QFont AppStyle::headlineFont() {
    QFont font = QApplication::font();
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont AppStyle::calloutFont() {
    QFont font = QApplication::font();
    font.setPointSize(pointDelta(font, -1));
    return font;
}

QFont AppStyle::systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont AppStyle::monospacedFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setStyleHint(QFont::Monospace);
    return font;
}

QColor AppStyle::accentColor() {
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

QColor AppStyle::secondaryTextColor() {
    QColor color = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

QColor AppStyle::separatorColor() {
    QColor color = QApplication::palette().color(QPalette::Active, QPalette::Mid);
    color.setAlphaF(0.7f);
    return color;
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
    const QColor text = tint.lightnessF() > 0.75 ? QColor(Qt::black) : QColor(Qt::white);
    QColor disabled = tint;
    disabled.setAlphaF(0.45f);
    button->setStyleSheet(
        QStringLiteral("QAbstractButton { background-color: %1; color: %2; border: none;"
                       " border-radius: 7px; padding: 0px 16px; min-height: %6px; }"
                       "QAbstractButton:hover { background-color: %3; }"
                       "QAbstractButton:pressed { background-color: %4; }"
                       "QAbstractButton:disabled { background-color: %5; color: %2; }"
                       // A ring in the label's colour inside the fill shows keyboard focus.
                       "QAbstractButton:focus { outline: none; border: 2px solid %2; }")
            .arg(cssColor(tint), cssColor(text), cssColor(tint.lighter(108)),
                 cssColor(tint.darker(115)), cssColor(disabled))
            .arg(largeControlHeight));
    button->setIconSize(buttonSymbolSize);
    button->setCursor(Qt::PointingHandCursor);
}

void AppStyle::makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor());
    widget->setPalette(palette);
}

void AppStyle::makeBordered(QAbstractButton* button) {
    button->setMinimumHeight(largeControlHeight);
    button->setIconSize(QSize(16, 16));
    // Room around the label, as the filled buttons have.
    button->setMinimumWidth(button->sizeHint().width() + 20);
}

QString AppStyle::alertStyleSheet() {
    return QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; }"
                          "QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
}

QEasingCurve AppStyle::easeInOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}
