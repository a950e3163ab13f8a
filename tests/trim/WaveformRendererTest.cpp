#include "WaveformRenderer.h"

#include "SelectionMaskShape.h"
#include "WaveformShape.h"

#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

namespace {
const Theme colors = [] {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0x1d, 0x6f, 0xe0));
    return Theme::from(palette);
}();
const TimeRange all{0, 10};

// The bars drawn straight from their shapes: one path of every bar, whose non-zero fill adds up
// where bars overlap, in each colour inside its mask.
void paintDirectly(QPainter& painter, const std::vector<float>& peaks, const QRectF& area,
                   const QRectF& barsRect, double start, double end, const Theme& palette) {
    QPainterPath bars;
    bars.setFillRule(Qt::WindingFill);
    for (const QRectF& bar : WaveformShape{peaks}.bars(barsRect.translated(area.topLeft())))
        bars.addRoundedRect(bar, WaveformShape::cornerRadius, WaveformShape::cornerRadius);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const bool inside : {false, true})
        for (const QRectF& part : SelectionMaskShape{start, end, !inside}.rectangles(area)) {
            painter.save();
            painter.setClipRect(part);
            painter.fillPath(bars, inside ? palette.selectedBar : palette.dimmedBar);
            painter.restore();
        }
}

std::vector<float> speechLikePeaks(int count, quint32 seed) {
    QRandomGenerator random(seed);
    std::vector<float> peaks;
    for (int i = 0; i < count; ++i)
        peaks.push_back(float(std::abs(std::sin(i * 0.05)) * random.generateDouble()));
    return peaks;
}

// The waveform showing `visible`, cached or drawn directly from the shapes, with a 10-point
// margin around it.
QImage picture(WaveformRenderer& renderer, bool cached, QSizeF size, double ratio, double start,
               double end, const Theme& palette = colors, TimeRange visible = all) {
    QImage image(((size + QSizeF(20, 20)) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(colors.card);
    QPainter painter(&image);
    const QRectF area(QPointF(10, 10), size);
    if (cached) {
        renderer.paint(painter, area, visible, start, end, palette);
    } else {
        painter.setClipRect(area);
        paintDirectly(painter, renderer.peaks(), area,
                      WaveformRenderer::barsRect(size, renderer.span(), visible), start, end,
                      palette);
    }
    return image;
}

// Pixels where the cached picture differs from the direct one by more than antialiasing may.
int cachedAgainstDirect(WaveformRenderer& renderer, QSizeF size, double ratio, double start,
                        double end, const Theme& palette = colors, TimeRange visible = all) {
    const QImage a = picture(renderer, true, size, ratio, start, end, palette, visible);
    const QImage b = picture(renderer, false, size, ratio, start, end, palette, visible);
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
            renderer.setPeaks(speechLikePeaks(peaks, 7), all);
            QVERIFY2(cachedAgainstDirect(renderer, size, ratio, start, end) == 0, name);
        }
    }

    void zoomedBarsLieWhereTheirStretchIs() {
        // Bars for 2.95 … 4.05 s while 3 … 4 s is shown: the outer ones reach past the area.
        WaveformRenderer renderer;
        renderer.setPeaks(speechLikePeaks(550, 5), {2.95, 4.05});
        QCOMPARE(WaveformRenderer::barsRect({1000, 140}, {2.95, 4.05}, {3, 4}),
                 QRectF(-50, 0, 1100, 140));
        QCOMPARE(cachedAgainstDirect(renderer, {1000, 140}, 2.0, 0.3, 0.6, colors, {3, 4}), 0);
        // Shown elsewhere before new bars arrive: the images are stretched, not rebuilt.
        const int builds = renderer.cacheBuildCount();
        const QImage moved =
            picture(renderer, true, {1000, 140}, 2.0, 0.3, 0.6, colors, {3.5, 4.5});
        QCOMPARE(renderer.cacheBuildCount(), builds);
        QVERIFY(moved != picture(renderer, true, {1000, 140}, 2.0, 0.3, 0.6, colors, {3, 4}));
        renderer.setPeaks(speechLikePeaks(550, 6), {3.45, 4.55});
        QCOMPARE(cachedAgainstDirect(renderer, {1000, 140}, 2.0, 0.3, 0.6, colors, {3.5, 4.5}), 0);
        QCOMPARE(renderer.cacheBuildCount(), builds + 1);
    }

    void layersShowWhereTheMasksSay() {
        WaveformRenderer renderer;
        renderer.setPeaks(std::vector<float>(100, 1.0f), all);
        const QImage image = picture(renderer, true, QSizeF(400, 100), 1.0, 0.25, 0.5);
        // Bar i spans 4i … 4i + 3.5 inside the area, which starts at (10, 10).
        const auto bar = [&](int i) { return image.pixelColor(10 + 4 * i + 1, 60); };
        QCOMPARE(bar(30), colors.selectedBar);
        QCOMPARE(bar(10), colors.dimmedBar);
        QCOMPARE(bar(80), colors.dimmedBar);
        QCOMPARE(image.pixelColor(5, 60), colors.card);
        QCOMPARE(image.pixelColor(415, 60), colors.card);
    }

    void cacheIsRebuiltWhenWhatItShowsChanges() {
        WaveformRenderer renderer;
        renderer.setPeaks(speechLikePeaks(800, 3), all);
        Theme dark = colors;
        dark.selectedBar = QColor(0x4c, 0x9a, 0xff);
        // {ratio, width, start, new peaks, dark colours, images built so far}
        const std::tuple<double, double, double, bool, bool, int> steps[] = {
            {1, 300, 0.1, false, false, 1}, {1, 300, 0.4, false, false, 1}, // selection: reused
            {1, 310, 0.4, false, false, 2}, {2, 310, 0.4, false, false, 3}, // size, ratio
            {2, 310, 0.4, true, false, 4},  {2, 310, 0.4, false, true, 5},  // peaks, colours
            {2, 310, 0.6, false, true, 5}};
        for (const auto& [ratio, width, start, newPeaks, isDark, builds] : steps) {
            if (newPeaks)
                renderer.setPeaks(speechLikePeaks(800, 4), all);
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
