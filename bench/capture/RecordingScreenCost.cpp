// Records what the default output plays for SECONDS with the recording screen shown
// ("visible") or without any window ("hidden"), then prints the process's CPU seconds while
// recording, so that the screen's own cost can be told apart.
#include "ProcessCpu.h"
#include "RecordingStageView.h"
#include "SystemAudioRecorder.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool visible = argc > 1 && qstrcmp(argv[1], "visible") == 0;
    const double seconds = argc > 2 ? QByteArray(argv[2]).toDouble() : 60;
    SystemAudioRecorder recorder;
    std::unique_ptr<RecordingStageView> screen;
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
    std::printf("mode=%s cpu_seconds=%.3f seconds=%.1f\n", visible ? "visible" : "hidden",
                cpuWhileRecording, seconds);
    return 0;
}
