// Repaint of the waveform area at the editor's size, 1,172 x 140 points, device pixel ratio 2,
// both layers and both masks: the whole recording in 800 bars, and zoomed into a three-hour
// recording, where the bars are a power-of-two level's peaks of a stretch reaching a little past
// both edges (1,105 bars: the most the nearest level gives). Run offscreen.
#include "WaveformRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {
const QSizeF areaSize(1172, 140);
constexpr double ratio = 2.0;

const TimeRange wholeRecording{0, 10'800};
// 100 s of the three hours shown; bars of 4,096 frames from 99.95 s on.
const TimeRange zoomedIn{100, 200};
const TimeRange zoomedBars{99.95, 99.95 + 1'105 * 4'096 / 48'000.0};

std::vector<float> recordingPeaks(std::size_t count = 800) {
    QRandomGenerator random(11);
    std::vector<float> peaks(count);
    for (std::size_t i = 0; i < peaks.size(); ++i)
        peaks[i] = static_cast<float>(std::abs(std::sin(static_cast<double>(i) * 0.04)) *
                                      (0.3 + 0.7 * random.generateDouble()));
    return peaks;
}

Theme palette() {
    return Theme::from(QGuiApplication::palette());
}

QImage canvas() {
    QImage image((areaSize * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(palette().card);
    return image;
}

// The selection moves every frame, as during a drag.
double startFractionFor(benchmark::IterationCount iteration) {
    return 0.1 + 0.3 * static_cast<double>(iteration % 97) / 97.0;
}

// state.range(0): 0 for the whole recording, 1 zoomed in.
std::vector<float> peaksFor(const benchmark::State& state) {
    return recordingPeaks(state.range(0) ? 1'105 : 800);
}
TimeRange spanFor(const benchmark::State& state) {
    return state.range(0) ? zoomedBars : wholeRecording;
}
TimeRange visibleFor(const benchmark::State& state) {
    return state.range(0) ? zoomedIn : wholeRecording;
}

void warmRepaint(benchmark::State& state) {
    QImage target = canvas();
    WaveformRenderer renderer;
    renderer.setPeaks(peaksFor(state), spanFor(state));
    const Theme colors = palette();
    const QRectF area(QPointF(0, 0), areaSize);
    {
        QPainter painter(&target);
        renderer.paint(painter, area, visibleFor(state), 0.2, 0.8, colors);
    }
    benchmark::IterationCount iteration = 0;
    for (auto _ : state) {
        QPainter painter(&target);
        renderer.paint(painter, area, visibleFor(state), startFractionFor(++iteration), 0.8,
                       colors);
    }
    benchmark::DoNotOptimize(target.constBits());
}

void coldRepaint(benchmark::State& state) {
    QImage target = canvas();
    const std::vector<float> peaks = peaksFor(state);
    const Theme colors = palette();
    for (auto _ : state) {
        // A fresh renderer: the images are rendered before the frame is composed.
        WaveformRenderer renderer;
        renderer.setPeaks(peaks, spanFor(state));
        QPainter painter(&target);
        renderer.paint(painter, QRectF(QPointF(0, 0), areaSize), visibleFor(state), 0.2, 0.8,
                       colors);
    }
    benchmark::DoNotOptimize(target.constBits());
}

} // namespace

BENCHMARK(warmRepaint)->ArgName("zoomed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(coldRepaint)->ArgName("zoomed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
