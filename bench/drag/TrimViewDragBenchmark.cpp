// A long drag of a trim handle across a 1,200-point-wide trim view at device pixel ratio 2,
// offscreen. Each step is timed from the mouse-move event to the end of the repaint it causes;
// between steps the event loop runs for 8 ms, as between the moves of a real pointer, so the
// handles' glide animation advances as it would.
#include "TrimView.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>

namespace {
constexpr int viewWidthPoints = 1200;
constexpr int pointerIntervalMs = 8;

Waveform::Data recording() {
    Waveform::Data data;
    data.sampleRate = 48000;
    data.totalFrames = 48000 * 60;
    data.framesPerPeak = data.totalFrames / 800;
    for (int bin = 0; bin < 800; ++bin)
        data.peaks.push_back(static_cast<float>(0.1 + 0.8 * std::abs(std::sin(bin * 0.05)) *
                                                          std::abs(std::cos(bin * 0.31))));
    return data;
}

// Sleeps in the event loop, so timers and animations run but the machine stays idle.
void runEventLoopFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Time this thread spent on the CPU: what the step costs, without waiting for a busy machine.
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Counts the card's paint events, to show that each timed step includes its repaint.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

void dragStep(benchmark::State& state) {
    TrimView view(recording(), {10.0, 50.0}, QUrl::fromLocalFile("/nonexistent.caf"));
    view.resize(viewWidthPoints, view.sizeHint().height());
    view.show();
    if (!QTest::qWaitForWindowExposed(&view) || view.devicePixelRatio() != 2.0) {
        state.SkipWithError("no exposed window at device pixel ratio 2");
        return;
    }
    runEventLoopFor(100);

    QWidget* start = nullptr;
    for (QWidget* child : view.findChildren<QWidget*>())
        if (child->accessibleName() == "Trim start")
            start = child;
    QWindow* window = view.windowHandle();
    QWidget* card = start->parentWidget();
    PaintCounter counter;
    card->installEventFilter(&counter);
    int stepsWithPaint = 0;
    const int y = card->mapTo(&view, QPoint(0, 84)).y();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier,
                      start->mapTo(&view, start->rect().center()));

    std::vector<double> stepMs;
    std::vector<double> stepCpuMs;
    int step = 0;
    for (auto _ : state) {
        // Back and forth over the left two thirds, two points per step.
        const int travel = 760;
        const int offset = step % (2 * travel);
        const int x = 20 + (offset < travel ? offset : 2 * travel - offset);
        ++step;

        const double cpuBegin = threadCpuSeconds();
        const int paintsBefore = counter.paints;
        const auto begin = std::chrono::steady_clock::now();
        QTest::mouseMove(window, QPoint(x, y));
        // The repaint the move asked for: the view's deferred update request.
        QCoreApplication::sendPostedEvents();
        const auto end = std::chrono::steady_clock::now();
        stepCpuMs.push_back((threadCpuSeconds() - cpuBegin) * 1e3);
        if (counter.paints > paintsBefore)
            ++stepsWithPaint;
        const double seconds = std::chrono::duration<double>(end - begin).count();
        state.SetIterationTime(seconds);
        stepMs.push_back(seconds * 1e3);

        state.PauseTiming();
        runEventLoopFor(pointerIntervalMs);
        state.ResumeTiming();
    }
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, QPoint(20, y));
    if (!stepMs.empty()) {
        state.counters["median_ms"] = percentile(stepMs, 0.5);
        state.counters["p99_ms"] = percentile(stepMs, 0.99);
        state.counters["max_ms"] = percentile(stepMs, 1.0);
        state.counters["cpu_median_ms"] = percentile(stepCpuMs, 0.5);
        state.counters["cpu_p99_ms"] = percentile(stepCpuMs, 0.99);
        state.counters["painted_steps"] =
            static_cast<double>(stepsWithPaint) / static_cast<double>(stepMs.size());
    }
}
} // namespace

BENCHMARK(dragStep)->Iterations(1500)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
