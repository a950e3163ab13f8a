// A long drag of a trim handle across a 1,200-point-wide trim view at device pixel ratio 2,
// offscreen, over the whole of a one-minute recording and, given a three-hour recording in
// SONABRIX_BENCH_RECORDING, over all of it and zoomed into 10 minutes, 10 s and 0.5 s of it.
// Each step is timed from the mouse-move event to the end of the repaint it causes; between
// steps the event loop runs for 8 ms, as between the moves of a real pointer, so the handles'
// glide animation advances as it would.
//
// Then, on the three-hour recording, the time from a zoom step (one Ctrl+wheel notch) to the
// first paint that shows the new stretch's own peaks: from the whole recording down to a few
// hundred frames, notch by notch, at a different place each time.
#include "TrimCard.h"
#include "TrimHandle.h"
#include "TrimView.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>

namespace {
constexpr int viewWidthPoints = 1200;
constexpr int pointerIntervalMs = 8;

Waveform::Data oneMinute() {
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

std::optional<Waveform::Data> threeHours;
QString threeHoursPath;

// Counts the card's paint events, to show that each timed step includes its repaint, and
// notes which stretch of peaks each one drew.
class PaintCounter : public QObject {
public:
    int paints = 0;
    TimeRange paintedSpan;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            paintedSpan = static_cast<TrimCard*>(watched)->peaksSpan();
        }
        return QObject::eventFilter(watched, event);
    }
};

// Runs the event loop until `done`, looking every half millisecond.
template <typename Predicate> bool runEventLoopUntil(Predicate done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(0);
    if (!done())
        loop.exec();
    return done();
}

bool covers(TimeRange span, TimeRange visible) {
    return span.lower <= visible.lower && span.upper >= visible.upper;
}

// {seconds shown, or 0 for all}, by benchmark argument.
constexpr double shownSeconds[] = {0, 0, 600, 10, 0.5};

// A shown view for the benchmark's recording, zoomed in as asked and with the zoomed peaks
// painted; nothing when the window or the peaks don't come.
std::unique_ptr<TrimView> shownView(benchmark::State& state, PaintCounter& counter) {
    const int which = static_cast<int>(state.range(0));
    if (which > 0 && !threeHours) {
        state.SkipWithError("set SONABRIX_BENCH_RECORDING to a three-hour recording");
        return nullptr;
    }
    const Waveform::Data data = which == 0 ? oneMinute() : *threeHours;
    const double shown = shownSeconds[which] > 0 ? shownSeconds[which] : data.duration();
    const double from = data.duration() * 0.37;
    const TimeRange visible =
        shownSeconds[which] > 0 ? TimeRange{from, from + shown} : TimeRange{0, data.duration()};
    // The start handle a tenth of the way in, so the drag below grabs it.
    const TimeRange selection{visible.lower + visible.length() / 10, visible.upper};
    auto view = std::make_unique<TrimView>(
        data, selection, which == 0 ? QStringLiteral("/nonexistent.caf") : threeHoursPath);
    view->resize(viewWidthPoints, view->sizeHint().height());
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()) || view->devicePixelRatio() != 2.0) {
        state.SkipWithError("no exposed window at device pixel ratio 2");
        return nullptr;
    }
    view->card()->installEventFilter(&counter);
    view->setVisibleRange(visible);
    view->card()->update();
    if (!runEventLoopUntil([&] { return covers(counter.paintedSpan, view->visibleRange()); },
                           5000)) {
        state.SkipWithError("the zoomed peaks never came");
        return nullptr;
    }
    runEventLoopFor(100);
    return view;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

void dragStep(benchmark::State& state) {
    PaintCounter counter;
    const std::unique_ptr<TrimView> shown = shownView(state, counter);
    if (!shown)
        return;
    TrimView& view = *shown;
    QWidget* start = view.card()->startHandle();
    QWindow* window = view.windowHandle();
    QWidget* card = view.card();
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

void zoomStepToDetail(benchmark::State& state) {
    PaintCounter counter;
    const std::unique_ptr<TrimView> shown = shownView(state, counter);
    if (!shown)
        return;
    TrimView& view = *shown;
    TrimCard* card = view.card();
    std::vector<double> stepMs;
    int step = 0;
    for (auto _ : state) {
        // Somewhere new each time: the pointer walks across the area in uneven strides.
        const double x = 40 + std::fmod(step++ * 383.0, card->contentWidth() - 80);
        const QPointF at = view.mapFromGlobal(
            card->mapToGlobal(QPointF(TrimCard::cardPadding + x, card->height() / 2.0)));
        QWheelEvent notch(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        const auto begin = std::chrono::steady_clock::now();
        QApplication::sendEvent(&view, &notch);
        const TimeRange target = view.visibleRange();
        // Peaks of the new stretch, not of a wider one shown before: at most a bar wider at
        // each end.
        const bool arrived = runEventLoopUntil(
            [&] {
                return covers(counter.paintedSpan, target) &&
                       counter.paintedSpan.length() < target.length() * 1.05;
            },
            5000);
        const auto end = std::chrono::steady_clock::now();
        if (!arrived) {
            const std::string why = QString("no peaks for %1 … %2 s came; the last paint showed "
                                            "%3 … %4 s")
                                        .arg(target.lower)
                                        .arg(target.upper)
                                        .arg(counter.paintedSpan.lower)
                                        .arg(counter.paintedSpan.upper)
                                        .toStdString();
            state.SkipWithError(why.c_str());
            return;
        }
        const double seconds = std::chrono::duration<double>(end - begin).count();
        state.SetIterationTime(seconds);
        stepMs.push_back(seconds * 1e3);

        state.PauseTiming();
        // At the closest zoom, start again from the whole recording.
        if (target.length() * threeHours->sampleRate < 1'000) {
            view.setVisibleRange({0, threeHours->duration()});
            runEventLoopFor(50);
        }
        runEventLoopFor(pointerIntervalMs);
        state.ResumeTiming();
    }
    state.counters["median_ms"] = percentile(stepMs, 0.5);
    state.counters["p90_ms"] = percentile(stepMs, 0.9);
    state.counters["max_ms"] = percentile(stepMs, 1.0);
}
} // namespace

// 0: one minute, all of it; 1: three hours, all of it; 2–4: zoomed into 10 min, 10 s, 0.5 s.
BENCHMARK(dragStep)->ArgName("view")->DenseRange(0, 4)->Iterations(1500)->UseManualTime()->Unit(
    benchmark::kMillisecond);
// 35 notches take the three hours down to the closest zoom; twice round.
BENCHMARK(zoomStepToDetail)
    ->ArgName("view")
    ->Arg(1)
    ->Iterations(70)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    if (const QString path = qEnvironmentVariable("SONABRIX_BENCH_RECORDING"); !path.isEmpty()) {
        threeHoursPath = path;
        threeHours = Waveform::extractPeaks(threeHoursPath, 800).result();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
