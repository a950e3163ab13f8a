// Records what the default output plays for SECONDS with the recording screen shown
// ("visible"), without any window ("hidden"), or with only a small square repainted at the
// screen's frame rate ("frames": what any picture moving at that rate costs, whatever it
// draws), then prints the process's CPU seconds while recording, so that the screen's own cost
// can be told apart.
#include "ProcessCpu.h"
#include "RecordingStageView.h"
#include "SystemAudioRecorder.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class Square : public QWidget {
public:
    Square() {
        resize(16, 16);
        connect(&clock_, &QTimer::timeout, this, [this] {
            ++frame_;
            update();
        });
        clock_.start(RecordingStageView::frameIntervalMs);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor::fromHsv(frame_ % 360, 200, 200));
    }

private:
    QTimer clock_;
    int frame_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? argv[1] : "hidden";
    const bool visible = mode == "visible";
    const double seconds = argc > 2 ? QByteArray(argv[2]).toDouble() : 60;
    SystemAudioRecorder recorder;
    std::unique_ptr<RecordingStageView> screen;
    std::unique_ptr<Square> square;
    double cpuAtStart = 0, cpuWhileRecording = 0;

    recorder.start().then(&recorder, [&] {
        if (!recorder.isRecording()) {
            std::fprintf(stderr, "%s\n", qPrintable(recorder.errorMessage().value_or("")));
            QCoreApplication::exit(1);
            return;
        }
        if (visible) {
            screen = std::make_unique<RecordingStageView>(recorder);
            QObject::connect(&recorder, &SystemAudioRecorder::elapsedTimeChanged, screen.get(),
                             [&](double t) { screen->setElapsedText(QString::number(int(t))); });
            screen->resize(720, 480);
            // SONABRIX_BENCH_HIDE=LevelMeter,LiveWaveformView,PulsingDot: each part's share.
            const QStringList parts = qEnvironmentVariable("SONABRIX_BENCH_HIDE").split(',');
            for (QWidget* part : screen->findChildren<QWidget*>())
                part->setVisible(!parts.contains(part->metaObject()->className()));
            screen->show();
        } else if (mode == "frames") {
            square = std::make_unique<Square>();
            square->show();
        }
        cpuAtStart = processCpuSeconds();
        QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &recorder, [&] {
            cpuWhileRecording = processCpuSeconds() - cpuAtStart;
            recorder.stop().then(
                &recorder, [&] { QCoreApplication::exit(recorder.lastRecordingURL() ? 0 : 1); });
        });
    });
    const int status = app.exec();
    if (status != 0)
        return status;
    std::printf("mode=%s cpu_seconds=%.3f seconds=%.1f\n", mode.constData(), cpuWhileRecording,
                seconds);
    return 0;
}
