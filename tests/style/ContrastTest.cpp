#include "Contrast.h"

#include "FocusRingStyle.h"
#include "Theme.h"

#include <QApplication>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>

namespace {
QPalette lightFusion() {
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    return fusion->standardPalette();
}

// The dark palette people give Fusion.
QPalette darkFusion() {
    QPalette dark;
    const QColor window(53, 53, 53), base(42, 42, 42), highlight(42, 130, 218);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(35, 35, 35));
    dark.setColor(QPalette::Highlight, highlight);
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// A palette as an unhelpful scheme might have it: grey text on grey, a pale accent.
QPalette murky() {
    QPalette palette = lightFusion();
    palette.setColor(QPalette::WindowText, QColor(150, 150, 150));
    palette.setColor(QPalette::ButtonText, QColor(160, 160, 160));
    palette.setColor(QPalette::Highlight, QColor(170, 200, 255));
    return palette;
}

QString describe(const char* what, const QColor& a, const QColor& b) {
    return QStringLiteral("%1: %2 on %3 is %4")
        .arg(what, a.name(), b.name())
        .arg(Contrast::ratio(a, b), 0, 'f', 2);
}

#define REACHES(minimum, what, a, b)                                                               \
    QVERIFY2(Contrast::ratio(a, b) >= (minimum), qPrintable(describe(what, a, b)))
} // namespace

class ContrastTest : public QObject {
    Q_OBJECT

private slots:
    void ratioMatchesTheGuidelines() {
        QCOMPARE(Contrast::ratio(Qt::black, Qt::white), 21.0);
        QCOMPARE(Contrast::ratio(Qt::white, Qt::white), 1.0);
        // Known pairs: #767676 is the lightest grey at 4.5:1 on white, #949494 at 3:1.
        QVERIFY(Contrast::ratio(QColor(0x76, 0x76, 0x76), Qt::white) >= 4.5);
        QVERIFY(Contrast::ratio(QColor(0x77, 0x77, 0x77), Qt::white) < 4.5);
        QVERIFY(Contrast::ratio(QColor(0x94, 0x94, 0x94), Qt::white) >= 3.0);
        QVERIFY(Contrast::ratio(QColor(0x95, 0x95, 0x95), Qt::white) < 3.0);
        // Reaching moves only as far as needed: one step less would miss.
        const QColor grey = Contrast::reaching(Qt::white, Qt::black, {Qt::white}, 4.5);
        QCOMPARE(grey.name(), QColor(0x76, 0x76, 0x76).name());
    }

    void everyColourReachesItsContrast_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light Fusion") << lightFusion();
        QTest::newRow("dark Fusion") << darkFusion();
        QTest::newRow("murky scheme") << murky();
    }

    void everyColourReachesItsContrast() {
        QFETCH(QPalette, palette);
        const Theme theme = Theme::from(palette);
        const QColor face = palette.color(QPalette::Button);
        REACHES(4.5, "text", theme.text, theme.window);
        REACHES(4.5, "secondary text", theme.secondaryText, theme.window);
        for (const QColor& shade : {face, face.lighter(112), face.darker(112)}) {
            REACHES(4.5, "auto-trim label", theme.accentText, shade);
            REACHES(4.5, "button label", theme.buttonText, shade);
        }
        REACHES(3.0, "handle", theme.handle, theme.card);
        REACHES(3.0, "focus ring on the card", theme.focusRing, theme.card);
        REACHES(3.0, "focus ring on the window", theme.focusRing, theme.window);
        REACHES(3.0, "focus ring on a button", theme.focusRing, face);
        REACHES(3.0, "playhead", theme.playhead, theme.card);
        REACHES(3.0, "dimmed bars", theme.dimmedBar, theme.card);
        REACHES(3.0, "selected bars", theme.selectedBar, theme.card);
        REACHES(3.0, "selected against dimmed bars", theme.selectedBar, theme.dimmedBar);

        // The filled buttons: the accent, and the recording red.
        for (const QColor& tint : {theme.accent, QColor(0xff, 0x3b, 0x30)}) {
            const Theme::Filled filled = Theme::filled(tint, palette);
            for (const QColor& fill : {filled.fill, filled.hover, filled.pressed})
                REACHES(4.5, "filled button label", filled.text, fill);
            REACHES(3.0, "spinner on a disabled button", filled.text, filled.disabled);
            REACHES(3.0, "filled button's focus ring, inside", filled.focusRing, filled.fill);
            REACHES(3.0, "filled button's focus ring, outside", filled.focusRing, theme.window);
        }
    }

    void coloursMoveOnlyWhereContrastIsShort() {
        // Fusion's dark text on its light window is fine as it is; the dark accent too.
        const Theme light = Theme::from(lightFusion());
        QCOMPARE(light.text, lightFusion().color(QPalette::WindowText));
        const Theme dark = Theme::from(darkFusion());
        QCOMPARE(dark.text, QColor(Qt::white));
        // The selection's bars stay recognisably the accent's hue.
        for (const Theme& theme : {light, dark})
            QVERIFY(std::abs(theme.selectedBar.hslHue() - theme.accent.hslHue()) <= 12);
    }

    void keyboardFocusDrawsAVisibleRing() {
        for (const QPalette& palette : {lightFusion(), darkFusion()}) {
            QWidget window;
            window.setPalette(palette);
            auto* first = new QPushButton("First", &window);
            auto* button = new QPushButton("Button", &window);
            first->setGeometry(10, 10, 120, 34);
            button->setGeometry(10, 60, 120, 34);
            button->setStyle(FocusRingStyle::instance());
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            first->setFocus();
            const QImage without = button->grab().toImage();
            QTest::keyClick(first, Qt::Key_Tab); // the keyboard moves the focus
            QVERIFY(button->hasFocus());
            const QImage with = button->grab().toImage();
            // The ring's colour runs along the left edge, a point in from it.
            const QColor ring = Theme::from(palette).focusRing;
            const int x = int(with.devicePixelRatio()), y = with.height() / 2;
            QCOMPARE(with.pixelColor(x, y).name(), ring.name());
            QVERIFY(without.pixelColor(x, y) != with.pixelColor(x, y));
        }
    }
};

QTEST_MAIN(ContrastTest)
#include "ContrastTest.moc"
