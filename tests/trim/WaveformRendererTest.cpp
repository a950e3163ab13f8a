#include "WaveformRenderer.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

namespace {
// {accent, primary, secondary, window background, separator}
const TrimPalette colors{QColor(0x1d, 0x6f, 0xe0), Qt::black, QColor(0, 0, 0, 128),
                         QColor(0xef, 0xef, 0xef), QColor(0xa0, 0xa0, 0xa0)};

std::vector<float> speechLikePeaks(int count, quint32 seed) {
    QRandomGenerator random(seed);
    std::vector<float> peaks;
    for (int i = 0; i < count; ++i)
        peaks.push_back(float(std::abs(std::sin(i * 0.05)) * random.generateDouble()));
    return peaks;
}

// The waveform, cached or drawn directly from the shapes, with a 10-point margin around it.
QImage picture(WaveformRenderer& renderer, bool cached, QSizeF size, double ratio, double start,
               double end, const TrimPalette& palette = colors) {
    QImage image(((size + QSizeF(20, 20)) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(colors.windowBackground);
    QPainter painter(&image);
    const QRectF area(QPointF(10, 10), size);
    if (cached)
        renderer.paint(painter, area, start, end, palette);
    else
        WaveformRenderer::paintUncached(painter, renderer.peaks(), area, start, end, palette);
    return image;
}

// Pixels where the cached picture differs from the direct one by more than antialiasing may.
int cachedAgainstDirect(WaveformRenderer& renderer, QSizeF size, double ratio, double start,
                        double end, const TrimPalette& palette = colors) {
    const QImage a = picture(renderer, true, size, ratio, start, end, palette);
    const QImage b = picture(renderer, false, size, ratio, start, end, palette);
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            count +=
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) > 12;
        }
    return count;
}
} // namespace

class WaveformRendererTest : public QObject {
    Q_OBJECT

private slots:
    void cachedPictureMatchesDirectDrawing() {
        for (auto [name, peaks, size, ratio, start, end] :
             {std::tuple{"editor size", 800, QSizeF(1172, 140), 2.0, 0.2137, 0.7731},
              {"narrow: bars overlap", 800, QSizeF(400, 140), 2.0, 0.5, 0.5},
              {"wide: gaps, whole selection", 300, QSizeF(900, 100), 1.0, 0.0, 1.0},
              {"fractional ratio", 500, QSizeF(600, 140), 1.5, 0.33, 0.66}}) {
            WaveformRenderer renderer;
            renderer.setPeaks(speechLikePeaks(peaks, 7));
            QVERIFY2(cachedAgainstDirect(renderer, size, ratio, start, end) == 0, name);
        }
    }

    void layersShowWhereTheMasksSay() {
        WaveformRenderer renderer;
        renderer.setPeaks(std::vector<float>(100, 1.0f));
        const QImage image = picture(renderer, true, QSizeF(400, 100), 1.0, 0.25, 0.5);
        // Bar i spans 4i … 4i + 3.5 inside the area, which starts at (10, 10).
        const auto bar = [&](int i) { return image.pixelColor(10 + 4 * i + 1, 60); };
        QCOMPARE(bar(30), colors.accent);
        QCOMPARE(bar(80), bar(10));
        QVERIFY(bar(10) != colors.accent && bar(10).lightness() > 128 &&
                bar(10).lightness() < colors.windowBackground.lightness());
        QCOMPARE(image.pixelColor(5, 60), colors.windowBackground);
        QCOMPARE(image.pixelColor(415, 60), colors.windowBackground);
    }

    void cacheIsRebuiltWhenWhatItShowsChanges() {
        WaveformRenderer renderer;
        renderer.setPeaks(speechLikePeaks(800, 3));
        TrimPalette dark = colors;
        dark.accent = QColor(0x4c, 0x9a, 0xff);
        // {ratio, width, start, new peaks, dark colours, images built so far}
        const std::tuple<double, double, double, bool, bool, int> steps[] = {
            {1, 300, 0.1, false, false, 1}, {1, 300, 0.4, false, false, 1}, // selection: reused
            {1, 310, 0.4, false, false, 2}, {2, 310, 0.4, false, false, 3}, // size, ratio
            {2, 310, 0.4, true, false, 4},  {2, 310, 0.4, false, true, 5},  // peaks, colours
            {2, 310, 0.6, false, true, 5}};
        for (const auto& [ratio, width, start, newPeaks, isDark, builds] : steps) {
            if (newPeaks)
                renderer.setPeaks(speechLikePeaks(800, 4));
            // The rebuilt images show what changed: the picture equals the direct one.
            QCOMPARE(cachedAgainstDirect(renderer, {width, 100}, ratio, start, 0.9,
                                         isDark ? dark : colors),
                     0);
            QCOMPARE(renderer.cacheBuildCount(), builds);
        }
    }
};

QTEST_MAIN(WaveformRendererTest)
#include "WaveformRendererTest.moc"
