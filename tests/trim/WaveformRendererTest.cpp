#include "WaveformRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

namespace {
constexpr int pictureTolerance = 12;

const TrimPalette colors{.accent = QColor(0x1d, 0x6f, 0xe0),
                         .primary = Qt::black,
                         .secondary = QColor(0, 0, 0, 128),
                         .windowBackground = QColor(0xef, 0xef, 0xef),
                         .separator = QColor(0xa0, 0xa0, 0xa0)};

std::vector<float> speechLikePeaks(int count, quint32 seed) {
    QRandomGenerator random(seed);
    std::vector<float> peaks(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        peaks[static_cast<std::size_t>(i)] =
            static_cast<float>(std::abs(std::sin(i * 0.05)) * random.generateDouble());
    return peaks;
}

// The card's backdrop, then the waveform drawn one way or the other.
template <typename Draw> QImage picture(QSizeF areaSize, double ratio, Draw draw) {
    const QSizeF canvas = areaSize + QSizeF(20, 20);
    QImage image((canvas * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(colors.windowBackground);
    QPainter painter(&image);
    draw(painter, QRectF(QPointF(10, 10), areaSize));
    return image;
}

struct Difference {
    int largest = 0;
    qsizetype pixelsAbove = 0;
};

Difference compare(const QImage& a, const QImage& b, int tolerance) {
    Difference difference;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int channel = std::max({std::abs(qRed(lineA[x]) - qRed(lineB[x])),
                                          std::abs(qGreen(lineA[x]) - qGreen(lineB[x])),
                                          std::abs(qBlue(lineA[x]) - qBlue(lineB[x])),
                                          std::abs(qAlpha(lineA[x]) - qAlpha(lineB[x]))});
            difference.largest = std::max(difference.largest, channel);
            if (channel > tolerance)
                ++difference.pixelsAbove;
        }
    }
    return difference;
}
} // namespace

class WaveformRendererTest : public QObject {
    Q_OBJECT

private slots:
    void cachedPictureMatchesDirectDrawing_data();
    void cachedPictureMatchesDirectDrawing();
    void layersShowWhereTheMasksSay();
    void cacheIsRebuiltOnlyWhenWhatItShowsChanges();
};

void WaveformRendererTest::cachedPictureMatchesDirectDrawing_data() {
    QTest::addColumn<int>("peakCount");
    QTest::addColumn<QSizeF>("areaSize");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("editor size, DPR 2") << 800 << QSizeF(1172, 140) << 2.0 << 0.2137 << 0.7731;
    QTest::newRow("editor size, DPR 1") << 800 << QSizeF(1172, 140) << 1.0 << 0.0 << 1.0;
    QTest::newRow("narrow: bars overlap") << 800 << QSizeF(400, 140) << 2.0 << 0.5 << 0.5;
    QTest::newRow("wide: gaps") << 300 << QSizeF(900, 100) << 1.0 << 0.1 << 0.35;
    QTest::newRow("fractional ratio") << 500 << QSizeF(600, 140) << 1.5 << 0.33 << 0.66;
}

void WaveformRendererTest::cachedPictureMatchesDirectDrawing() {
    QFETCH(int, peakCount);
    QFETCH(QSizeF, areaSize);
    QFETCH(double, ratio);
    QFETCH(double, start);
    QFETCH(double, end);
    const std::vector<float> peaks = speechLikePeaks(peakCount, 7);

    WaveformRenderer renderer;
    renderer.setPeaks(peaks);
    const QImage cached = picture(areaSize, ratio, [&](QPainter& painter, QRectF area) {
        renderer.paint(painter, area, start, end, colors);
    });
    const QImage direct = picture(areaSize, ratio, [&](QPainter& painter, QRectF area) {
        WaveformRenderer::paintUncached(painter, peaks, area, start, end, colors);
    });
    // Antialiased edges may differ by a few levels (the bars are rasterized one by one); a
    // misplaced mask or a missing layer differs by far more.
    const Difference difference = compare(cached, direct, pictureTolerance);
    QVERIFY2(difference.pixelsAbove == 0, qPrintable(QString("%1 pixels differ, by up to %2")
                                                         .arg(difference.pixelsAbove)
                                                         .arg(difference.largest)));
}

void WaveformRendererTest::layersShowWhereTheMasksSay() {
    // Full-scale bars: every column of the area is a bar or a gap between bars.
    WaveformRenderer renderer;
    renderer.setPeaks(std::vector<float>(100, 1.0f));
    const QImage image = picture(QSizeF(400, 100), 1.0, [&](QPainter& painter, QRectF area) {
        renderer.paint(painter, area, 0.25, 0.5, colors);
    });
    // Bar i spans 4i … 4i + 3.5 inside the area, which starts at (10, 10).
    const auto barPixel = [&](int bar) { return image.pixelColor(10 + 4 * bar + 1, 60); };
    QCOMPARE(barPixel(30), colors.accent);
    QCOMPARE(barPixel(45), colors.accent);
    const QColor dimmed = barPixel(10);
    QCOMPARE(barPixel(80), dimmed);
    QVERIFY(dimmed != colors.accent);
    QVERIFY(dimmed.lightness() > 128 && dimmed.lightness() < colors.windowBackground.lightness());
    // Outside the area nothing is drawn.
    QCOMPARE(image.pixelColor(5, 60), colors.windowBackground);
    QCOMPARE(image.pixelColor(415, 60), colors.windowBackground);
}

void WaveformRendererTest::cacheIsRebuiltOnlyWhenWhatItShowsChanges() {
    WaveformRenderer renderer;
    renderer.setPeaks(speechLikePeaks(800, 3));
    QImage canvas(1200, 400, QImage::Format_ARGB32_Premultiplied);
    const auto paintAt = [&](double ratio, QSizeF size, double start, const TrimPalette& palette) {
        canvas.setDevicePixelRatio(ratio);
        QPainter painter(&canvas);
        renderer.paint(painter, QRectF(QPointF(0, 0), size), start, 0.9, palette);
    };
    paintAt(1.0, {500, 140}, 0.1, colors);
    QCOMPARE(renderer.cacheBuildCount(), 1);
    paintAt(1.0, {500, 140}, 0.4, colors);
    QCOMPARE(renderer.cacheBuildCount(), 1); // a new selection reuses the images
    paintAt(1.0, {510, 140}, 0.4, colors);
    QCOMPARE(renderer.cacheBuildCount(), 2); // size
    paintAt(2.0, {510, 140}, 0.4, colors);
    QCOMPARE(renderer.cacheBuildCount(), 3); // device pixel ratio
    renderer.setPeaks(speechLikePeaks(800, 4));
    paintAt(2.0, {510, 140}, 0.4, colors);
    QCOMPARE(renderer.cacheBuildCount(), 4); // peaks
    TrimPalette dark = colors;
    dark.accent = QColor(0x4c, 0x9a, 0xff);
    paintAt(2.0, {510, 140}, 0.4, dark);
    QCOMPARE(renderer.cacheBuildCount(), 5); // colours
    paintAt(2.0, {510, 140}, 0.6, dark);
    QCOMPARE(renderer.cacheBuildCount(), 5);

    // The rebuilt images show the new peaks: a picture after the change equals the direct one.
    const std::vector<float> quiet(800, 0.0f);
    renderer.setPeaks(quiet);
    const QImage cached = picture(QSizeF(510, 140), 2.0, [&](QPainter& painter, QRectF area) {
        renderer.paint(painter, area, 0.4, 0.9, colors);
    });
    const QImage direct = picture(QSizeF(510, 140), 2.0, [&](QPainter& painter, QRectF area) {
        WaveformRenderer::paintUncached(painter, quiet, area, 0.4, 0.9, colors);
    });
    QCOMPARE(compare(cached, direct, pictureTolerance).pixelsAbove, qsizetype(0));
}

QTEST_MAIN(WaveformRendererTest)
#include "WaveformRendererTest.moc"
