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
        // {area width, pitch, bar width}; bars start at the area's left edge.
        for (auto [width, pitch, barWidth] : {std::tuple{1600.0, 2.0, 1.5},
                                              {800.0, 1.0, 1.0},
                                              {400.0, 0.5, 1.0},
                                              {NaN, NaN, 1.0}}) {
            const auto bars =
                WaveformShape{std::vector<float>(800, 0.5f)}.bars(QRectF(30, 40, width, 100));
            QCOMPARE(bars.size(), std::size_t(800));
            for (std::size_t i : {std::size_t(1), std::size_t(799)}) {
                QCOMPARE(std::isnan(bars[i].left()), std::isnan(pitch));
                QVERIFY(std::isnan(pitch) || bars[i].left() == 30 + pitch * double(i));
                QCOMPARE(bars[i].width(), barWidth);
            }
        }
    }

    void barHeights() {
        const float infinity = std::numeric_limits<float>::infinity();
        const auto bars =
            WaveformShape{{0.0f, 1.0f, 0.01f, 0.03125f, 1.5f, float(NaN), -0.5f, infinity}}.bars(
                QRectF(0, 20, 80, 100));
        // {top, height} around the middle line at 70: silence, tiny, NaN and negative peaks get
        // the two-point minimum bar.
        const std::vector<std::pair<double, double>> expected{
            {69, 2}, {20, 100}, {69, 2}, {68.4375, 3.125}, {-5, 150}, {69, 2}, {69, 2}};
        for (std::size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(std::pair(bars[i].top(), bars[i].height()), expected[i]);
        // An infinite peak stays finite, so the bar stays drawable.
        QVERIFY(std::isfinite(bars[7].top()) && bars[7].top() < 20 && bars[7].bottom() > 120);
        QVERIFY(WaveformShape{}.bars(QRectF(0, 0, 100, 100)).empty());
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
    }
};

QTEST_APPLESS_MAIN(ShapesTest)
#include "ShapesTest.moc"
