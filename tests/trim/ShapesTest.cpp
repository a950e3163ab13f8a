#include "SelectionMaskShape.h"
#include "WaveformShape.h"

#include <QTest>
#include <cmath>
#include <limits>

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
}

class ShapesTest : public QObject {
    Q_OBJECT

private slots:
    void barPitchAndWidth() {
        // {area width, pitch, bar width}; only the area's size counts, not its origin.
        for (auto [width, pitch, barWidth] : {std::tuple{1600.0, 2.0, 1.5},
                                              {800.0, 1.0, 1.0},
                                              {400.0, 0.5, 1.0},
                                              {NaN, NaN, 1.0}}) {
            const auto bars =
                WaveformShape{std::vector<float>(800, 0.5f)}.bars(QRectF(30, 40, width, 100));
            QCOMPARE(bars.size(), std::size_t(800));
            for (std::size_t i : {std::size_t(1), std::size_t(799)}) {
                QCOMPARE(std::isnan(bars[i].left()), std::isnan(pitch));
                QVERIFY(std::isnan(pitch) || bars[i].left() == pitch * double(i));
                QCOMPARE(bars[i].width(), barWidth);
            }
        }
    }

    void barHeightsAndPath() {
        const float infinity = std::numeric_limits<float>::infinity();
        const auto bars =
            WaveformShape{{0.0f, 1.0f, 0.01f, 0.03125f, 1.5f, float(NaN), -0.5f, infinity}}.bars(
                QRectF(0, 0, 80, 100));
        // {top, height}: silence, tiny, NaN and negative peaks get the two-point minimum bar.
        const std::vector<std::pair<double, double>> expected{
            {49, 2}, {0, 100}, {49, 2}, {48.4375, 3.125}, {-25, 150}, {49, 2}, {49, 2}};
        for (std::size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(std::pair(bars[i].top(), bars[i].height()), expected[i]);
        // An infinite peak stays finite, so the path stays drawable.
        QVERIFY(std::isfinite(bars[7].top()) && bars[7].top() < 0 && bars[7].bottom() > 100);
        QVERIFY(WaveformShape{}.path(QRectF(0, 0, 100, 100)).isEmpty());

        const QPainterPath path = WaveformShape{{0.0f, 1.0f, 0.5f}}.path(QRectF(0, 0, 6, 100));
        QCOMPARE(path.boundingRect(), QRectF(0, 0, 5.5, 100));
        QVERIFY(!path.contains(QPointF(2.02, 0.02))); // rounded corner
        QVERIFY(path.contains(QPointF(2.5, 0.5)));
        QVERIFY(!path.contains(QPointF(1.75, 50.0))); // gap between bars
        // Overlapping bars must add up, not punch even-odd holes.
        const QPainterPath overlapping =
            WaveformShape{std::vector<float>(8, 1.0f)}.path(QRectF(0, 0, 4, 100));
        QVERIFY(overlapping.contains(QPointF(0.75, 50.0)));
    }

    void maskRectangles_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<bool>("invert");
        QTest::addColumn<QList<QRectF>>("expected");
        QTest::newRow("selection") << 0.25 << 0.5 << false << QList<QRectF>{{110, 20, 100, 100}};
        QTest::newRow("inverted: left, then right")
            << 0.25 << 0.5 << true << QList<QRectF>{{10, 20, 100, 100}, {210, 20, 200, 100}};
        QTest::newRow("equal fractions") << 0.5 << 0.5 << false << QList<QRectF>{{210, 20, 0, 100}};
        QTest::newRow("equal fractions, inverted")
            << 0.5 << 0.5 << true << QList<QRectF>{{10, 20, 200, 100}, {210, 20, 200, 100}};
        QTest::newRow("0 to 1") << 0.0 << 1.0 << false << QList<QRectF>{{10, 20, 400, 100}};
        QTest::newRow("0 to 1, inverted")
            << 0.0 << 1.0 << true << QList<QRectF>{{10, 20, 0, 100}, {410, 20, 0, 100}};
        QTest::newRow("reversed") << 0.75 << 0.25 << false << QList<QRectF>{{310, 20, 0, 100}};
        QTest::newRow("NaN start, inverted")
            << NaN << 0.5 << true << QList<QRectF>{{10, 20, 0, 100}, {210, 20, 200, 100}};
    }

    void maskRectangles() {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(bool, invert);
        QFETCH(QList<QRectF>, expected);
        const QRectF area(10, 20, 400, 100);
        const auto rectangles = SelectionMaskShape{start, end, invert}.rectangles(area);
        QCOMPARE(QList<QRectF>(rectangles.begin(), rectangles.end()), expected);
        const QPainterPath path = SelectionMaskShape{start, end, invert}.path(area);
        for (const QRectF& part : expected)
            QCOMPARE(path.contains(part.center()), part.width() > 0);
        if (!invert)
            QVERIFY(!path.contains(QPointF(start * 400 + 9, 70)));
    }
};

QTEST_APPLESS_MAIN(ShapesTest)
#include "ShapesTest.moc"
