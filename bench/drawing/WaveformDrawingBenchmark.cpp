// Repaint of the waveform area at the editor's size, 1,172 x 140 points, device pixel ratio 2,
// with 800 bars, both layers and both masks. Run offscreen: QT_QPA_PLATFORM=offscreen.
#include "WaveformRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {
const QSizeF areaSize(1172, 140);
constexpr double ratio = 2.0;

std::vector<float> recordingPeaks() {
    QRandomGenerator random(11);
    std::vector<float> peaks(800);
    for (std::size_t i = 0; i < peaks.size(); ++i)
        peaks[i] = static_cast<float>(std::abs(std::sin(static_cast<double>(i) * 0.04)) *
                                      (0.3 + 0.7 * random.generateDouble()));
    return peaks;
}

TrimPalette palette() {
    return TrimPalette::from(QGuiApplication::palette());
}

QImage canvas() {
    QImage image((areaSize * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(palette().windowBackground);
    return image;
}

// The selection moves every frame, as during a drag.
double startFractionFor(benchmark::IterationCount iteration) {
    return 0.1 + 0.3 * static_cast<double>(iteration % 97) / 97.0;
}

void warmRepaint(benchmark::State& state) {
    QImage target = canvas();
    WaveformRenderer renderer;
    renderer.setPeaks(recordingPeaks());
    const TrimPalette colors = palette();
    {
        QPainter painter(&target);
        renderer.paint(painter, QRectF(QPointF(0, 0), areaSize), 0.2, 0.8, colors);
    }
    benchmark::IterationCount iteration = 0;
    for (auto _ : state) {
        QPainter painter(&target);
        renderer.paint(painter, QRectF(QPointF(0, 0), areaSize), startFractionFor(++iteration), 0.8,
                       colors);
    }
    benchmark::DoNotOptimize(target.constBits());
}

void coldRepaint(benchmark::State& state) {
    QImage target = canvas();
    const std::vector<float> peaks = recordingPeaks();
    const TrimPalette colors = palette();
    for (auto _ : state) {
        // A fresh renderer: the images are rendered before the frame is composed.
        WaveformRenderer renderer;
        renderer.setPeaks(peaks);
        QPainter painter(&target);
        renderer.paint(painter, QRectF(QPointF(0, 0), areaSize), 0.2, 0.8, colors);
    }
    benchmark::DoNotOptimize(target.constBits());
}

void uncachedRepaint(benchmark::State& state) {
    QImage target = canvas();
    const std::vector<float> peaks = recordingPeaks();
    const TrimPalette colors = palette();
    for (auto _ : state) {
        QPainter painter(&target);
        WaveformRenderer::paintUncached(painter, peaks, QRectF(QPointF(0, 0), areaSize), 0.2, 0.8,
                                        colors);
    }
    benchmark::DoNotOptimize(target.constBits());
}
} // namespace

BENCHMARK(warmRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(coldRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(uncachedRepaint)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
