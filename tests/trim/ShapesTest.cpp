#include "SelectionMaskShape.h"
#include "WaveformShape.h"

#include <QTest>
#include <cmath>
#include <limits>

class ShapesTest : public QObject {
    Q_OBJECT

private slots:
    void barPitchAndWidth_data();
    void barPitchAndWidth();
    void barHeights();
    void pathHoldsOneRoundedBarPerPeak();
    void maskRectangles_data();
    void maskRectangles();
};

void ShapesTest::barPitchAndWidth_data() {
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("barWidth");
    QTest::newRow("pitch 2: gap of half a point") << 1600.0 << 2.0 << 1.5;
    QTest::newRow("pitch 1: bars touch") << 800.0 << 1.0 << 1.0;
    QTest::newRow("pitch 0.5: bars overlap") << 400.0 << 0.5 << 1.0;
    QTest::newRow("NaN width: bars stay one point")
        << std::numeric_limits<double>::quiet_NaN() << std::numeric_limits<double>::quiet_NaN()
        << 1.0;
}

void ShapesTest::barPitchAndWidth() {
    QFETCH(double, width);
    QFETCH(double, pitch);
    QFETCH(double, barWidth);
    // Only the area's size counts, not its origin.
    const auto bars = WaveformShape{std::vector<float>(800, 0.5f)}.bars(QRectF(30, 40, width, 100));
    QCOMPARE(bars.size(), std::size_t(800));
    for (std::size_t i : {std::size_t(1), std::size_t(799)}) {
        QCOMPARE(std::isnan(bars[i].left()), std::isnan(pitch));
        if (!std::isnan(pitch))
            QCOMPARE(bars[i].left(), pitch * static_cast<double>(i));
        QCOMPARE(bars[i].width(), barWidth);
    }
}

void ShapesTest::barHeights() {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const auto bars = WaveformShape{{0.0f, 1.0f, 0.01f, 0.03125f, 1.5f, nan, -0.5f, infinity}}.bars(
        QRectF(0, 0, 80, 100));
    // {top, height}: silence, 0.01 (half-height 0.5), NaN and negative peaks get the two-point
    // minimum; just above it the peak shows as it is; full scale fills the area, above it
    // reaches beyond (nothing is clamped).
    const QList<QPair<double, double>> expected{{49, 2},    {0, 100}, {49, 2}, {48.4375, 3.125},
                                                {-25, 150}, {49, 2},  {49, 2}};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(bars[static_cast<std::size_t>(i)].top(), expected[i].first);
        QCOMPARE(bars[static_cast<std::size_t>(i)].height(), expected[i].second);
    }
    // An infinite peak stays finite, so the path stays drawable, and still covers the area.
    QVERIFY(std::isfinite(bars[7].top()) && bars[7].top() < 0 && bars[7].bottom() > 100);
    QVERIFY(WaveformShape{}.path(QRectF(0, 0, 100, 100)).isEmpty());
}

void ShapesTest::pathHoldsOneRoundedBarPerPeak() {
    const QPainterPath path = WaveformShape{{0.0f, 1.0f, 0.5f}}.path(QRectF(0, 0, 6, 100));
    QCOMPARE(path.toSubpathPolygons().size(), qsizetype(3));
    QCOMPARE(path.boundingRect(), QRectF(0, 0, 5.5, 100));
    // Rounded corners: the bar's own corner point is outside, a point just inside it is covered.
    QVERIFY(!path.contains(QPointF(2.02, 0.02)));
    QVERIFY(path.contains(QPointF(2.5, 0.5)));
    QVERIFY(!path.contains(QPointF(1.75, 50.0))); // the gap between bars

    // Pitch 0.5 with bars 1 point wide: an even-odd fill would punch holes where bars overlap.
    const QPainterPath overlapping =
        WaveformShape{std::vector<float>(8, 1.0f)}.path(QRectF(0, 0, 4, 100));
    QVERIFY(overlapping.contains(QPointF(0.75, 50.0)));
    QVERIFY(overlapping.contains(QPointF(2.25, 50.0)));
}

void ShapesTest::maskRectangles_data() {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<QList<QRectF>>("expected");
    QTest::newRow("selection") << 0.25 << 0.5 << false << QList<QRectF>{{110, 20, 100, 100}};
    QTest::newRow("outside the selection")
        << 0.25 << 0.5 << true << QList<QRectF>{{10, 20, 100, 100}, {210, 20, 200, 100}};
    QTest::newRow("equal fractions cover nothing")
        << 0.5 << 0.5 << false << QList<QRectF>{{210, 20, 0, 100}};
    QTest::newRow("equal fractions, inverted, cover everything")
        << 0.5 << 0.5 << true << QList<QRectF>{{10, 20, 200, 100}, {210, 20, 200, 100}};
    QTest::newRow("whole width") << 0.0 << 1.0 << false << QList<QRectF>{{10, 20, 400, 100}};
    QTest::newRow("whole width, inverted, dims nothing")
        << 0.0 << 1.0 << true << QList<QRectF>{{10, 20, 0, 100}, {410, 20, 0, 100}};
    QTest::newRow("reversed fractions give no negative width")
        << 0.75 << 0.25 << false << QList<QRectF>{{310, 20, 0, 100}};
    QTest::newRow("NaN start, inverted: left width 0")
        << std::numeric_limits<double>::quiet_NaN() << 0.5 << true
        << QList<QRectF>{{10, 20, 0, 100}, {210, 20, 200, 100}};
}

void ShapesTest::maskRectangles() {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(bool, invert);
    QFETCH(QList<QRectF>, expected);
    const QRectF area(10, 20, 400, 100);
    const auto rectangles = SelectionMaskShape{start, end, invert}.rectangles(area);
    QCOMPARE(QList<QRectF>(rectangles.begin(), rectangles.end()), expected);

    // The path covers exactly these rectangles.
    const QPainterPath path = SelectionMaskShape{start, end, invert}.path(area);
    for (const QRectF& part : expected)
        if (part.width() > 0)
            QVERIFY(path.contains(part.center()));
    if (!invert && expected.front().width() > 0)
        QVERIFY(!path.contains(QPointF(expected.front().left() - 1, 50)));
}

QTEST_APPLESS_MAIN(ShapesTest)
#include "ShapesTest.moc"
