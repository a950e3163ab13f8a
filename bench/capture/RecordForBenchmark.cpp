// Records what the default output plays for SECONDS with SystemAudioRecorder, then prints one
// line: frames captured, wall seconds between start and stop, and the process's CPU seconds
// during that time. Further arguments: "microphone" mixes the default input in, "program=NAME"
// records that program alone, "replay=MINUTES" keeps the replay on, listening before the
// recording starts and sharing its capture.
#include "ProcessCpu.h"
#include "SystemAudioRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <sndfile.h>

namespace {

sf_count_t framesIn(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.frames;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 60;
    SystemAudioRecorder recorder;
    for (int i = 2; i < argc; ++i) {
        const QByteArray option(argv[i]);
        if (option == "microphone")
            recorder.setIncludesMicrophone(true);
        else if (option.startsWith("program="))
            recorder.setProgram(
                CaptureProgram::named(QString::fromUtf8(option.mid(int(sizeof "program=") - 1))));
        else if (option.startsWith("replay="))
            recorder.setReplayMinutes(option.mid(int(sizeof "replay=") - 1).toInt());
    }
    QElapsedTimer wallClock;
    double cpuAtStart = 0;
    double wallSeconds = 0;
    double cpuWhileRecording = 0;

    const auto record = [&] {
        recorder.start().then(&recorder, [&] {
            if (!recorder.isRecording()) {
                std::fprintf(stderr, "%s\n", qPrintable(recorder.errorMessage().value_or("")));
                QCoreApplication::exit(1);
                return;
            }
            wallClock.start();
            cpuAtStart = processCpuSeconds();
            QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &recorder, [&] {
                wallSeconds = wallClock.nsecsElapsed() / 1e9;
                recorder.stop().then(&recorder, [&] {
                    cpuWhileRecording = processCpuSeconds() - cpuAtStart;
                    QCoreApplication::exit(recorder.lastRecordingURL() ? 0 : 1);
                });
            });
        });
    };
    if (recorder.replayMinutes() > 0)
        QObject::connect(&recorder, &SystemAudioRecorder::isReplayListeningChanged, &recorder,
                         [&](bool listening) {
                             if (listening && !recorder.isRecording())
                                 record();
                         });
    else
        record();
    const int status = app.exec();
    if (status != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(recorder.errorMessage().value_or("")));
        return status;
    }
    const QString path = recorder.lastRecordingURL()->toLocalFile();
    std::printf("frames=%lld wall_seconds=%.3f cpu_seconds=%.3f file=%s\n",
                static_cast<long long>(framesIn(path)), wallSeconds, cpuWhileRecording,
                qPrintable(path));
    return 0;
}
