#include "CaptureTestUtil.h"
#include "PulseCaptureService.h"

#include <QProcess>
#include <cmath>
#include <mutex>

using R = SystemAudioRecorder;

namespace {

constexpr double toneHz = 440, toneAmplitude = 0.5;

std::optional<QByteArray> pactl(const QStringList& arguments) {
    QProcess process;
    process.start("pactl", arguments);
    const bool ok = process.waitForFinished(5000) && process.exitCode() == 0;
    return ok ? std::optional(process.readAllStandardOutput()) : std::nullopt;
}

bool playing() {
    return !pactl({"list", "sink-inputs"}).value_or("").isEmpty();
}

// Plays the tone into the default output; a short latency keeps the null sink near the wall clock.
struct TonePlayer : QProcess {
    TonePlayer() {
        start("pacat", {"--latency-msec=50", "--format=float32le", "--rate=48000", "--channels=2"});
        std::vector<float> samples(48000 * 30 * 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = toneAmplitude * std::sin(M_PI * toneHz * double(i / 2) / 24000);
        write(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(float));
    }
    ~TonePlayer() override { kill(), waitForFinished(); }
};

// The tone at its level and pitch in most quarter seconds (a busy machine may starve the player).
bool carriesTheTone(const SoundFile& file) {
    const std::vector<float>& s = file.samples;
    int windows = 0, toneWindows = 0;
    for (size_t from = 9600; from + 24000 <= s.size() - 9600; from += 24000, ++windows) {
        double squares = 0, crossings = 0;
        for (size_t i = from; i < from + 24000; ++i)
            squares += s[i] * s[i], crossings += i >= from + 2 && (s[i] < 0) != (s[i - 2] < 0);
        toneWindows += std::abs(std::sqrt(squares / 24000) - toneAmplitude / std::sqrt(2)) < 0.03 &&
                       std::abs(crossings * 2 - 2 * toneHz) < 12;
    }
    return windows > 0 && toneWindows >= 0.75 * windows;
}

// The recording being made in `dir`, read while it is written.
qint64 framesSoFar(const QString& dir) {
    const QStringList names = QDir(dir).entryList({"*.caf"});
    return names.isEmpty() ? 0 : SoundFile(dir + '/' + names[0]).frames();
}

} // namespace

class PulseCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;
    QString recordings_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "run under with-sound-server");
        recordings_ = useDataHome(dataHome_.path());
    }

    void recordsWhatTheDefaultOutputPlays() {
        TonePlayer player;
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QStringList files;
        for (int round = 0; round < 2; ++round) {
            QVERIFY(finishes(recorder.start()) && recorder.isRecording());
            // An idle null sink renders up to 2 s ahead when playback begins and its monitor hears
            // nothing until its clock catches up (parec alike): count from the first frame on.
            if (round == 0)
                QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) > 0, 10000);
            const qint64 framesBefore = round == 0 ? framesSoFar(recordings_) : 0;
            const QTime started = QTime::currentTime();
            QTest::qWait(2000);
            const QFuture<void> stopping = recorder.stop();
            const double seconds = started.msecsTo(QTime::currentTime()) / 1000.0;
            QVERIFY(finishes(stopping));

            QCOMPARE(recorder.errorMessage(), std::nullopt);
            files << lastRecording(recorder);
            const SoundFile file(files.last());
            QVERIFY(isPrivateRecording(files.last(), file) && carriesTheTone(file));
            const qint64 frames = file.frames() - framesBefore;
            QVERIFY2(frames > (seconds - 0.25) * 48000 && frames < (seconds + 0.1) * 48000,
                     qPrintable(QStringLiteral("%1 frames in %2 s").arg(frames).arg(seconds)));
        }
        QVERIFY(files[0] != files[1] && QFile::exists(files[0]));
    }

    // A pipe source produces exactly the frames written into it and nothing else, so every one
    // of them must arrive, the last partial fragment included, in order.
    void aStopDeliversEveryFrameCapturedUpToIt() {
        const QString fifo = QDir(recordings_).filePath("source.fifo");
        const auto module = pactl({"load-module", "module-pipe-source", "source_name=sonabrix_pipe",
                                   "file=" + fifo, "format=float32le", "rate=48000", "channels=2"});
        QVERIFY(module);
        const auto unload = qScopeGuard([&] { pactl({"unload-module", module->trimmed()}); });
        std::mutex mutex;
        std::vector<float> received;
        PulseCaptureService service;
        QVERIFY(service.queryContent().result().outputs.size() > 0);
        CaptureService::Handlers handlers;
        handlers.samples = [&](PcmBuffer&& buffer) {
            std::lock_guard guard(mutex);
            received.insert(received.end(), buffer.samples.begin(), buffer.samples.end());
        };
        const CaptureOutput pipe{"sonabrix_pipe", "sonabrix_pipe", ""};
        QCOMPARE(service.startCapture(pipe, {}, handlers).result(), std::nullopt);

        const qint64 fragment = PulseCaptureService::fragmentDuration.count() * 48;
        const qint64 frames = 10 * fragment + fragment / 2 + 7;
        std::vector<float> written;
        for (qint64 frame = 0; frame < frames; ++frame)
            written.insert(written.end(), {float(frame) / frames, -float(frame) / frames});
        QFile writer(fifo);
        QVERIFY(writer.open(QIODevice::WriteOnly));
        writer.write(reinterpret_cast<const char*>(written.data()), written.size() * 4);
        writer.close();
        const auto receivedFrames = [&] {
            std::lock_guard guard(mutex);
            return qint64(received.size() / 2);
        };
        // Whole fragments arrive on their own; what follows them waits for the stop.
        QTRY_VERIFY_WITH_TIMEOUT(receivedFrames() > frames - fragment, 5000);
        QCOMPARE(service.stopCapture().result(), std::nullopt);
        QCOMPARE(receivedFrames(), frames);
        QVERIFY(received == written);
    }

    // Last, on a daemon of its own: killing the shared one would pull the floor from other tests.
    void aServerThatDiesLeavesThePartialRecordingAndSaysSo() {
        QTemporaryDir runtime("/tmp/sonabrix-capture-XXXXXX");
        const QString dir = runtime.path();
        QProcess daemon;
        daemon.start(
            "env",
            {"XDG_RUNTIME_DIR=" + dir, "PULSE_RUNTIME_PATH=" + dir, "PULSE_STATE_PATH=" + dir,
             "pulseaudio", "-n", "--daemonize=no", "--load=module-null-sink rate=48000",
             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native"});
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + dir + "/native"));
        const QString recordings = useDataHome(dir);
        QTRY_VERIFY_WITH_TIMEOUT(pactl({"info"}), 10000);
        TonePlayer player;
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings) >= 2 * 48000, 10000);
        daemon.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.isRecording(), 10000);
        QVERIFY(recorder.errorMessage().value_or("").startsWith("Capture stopped unexpectedly: "));
        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file) && carriesTheTone(file));
        QVERIFY(file.frames() >= 2 * 48000);

        // With the server gone, a new recording can't start and says why.
        SystemAudioRecorder another;
        QVERIFY(finishes(another.start()) && !another.isRecording());
        QCOMPARE(another.errorMessage(), R::description(R::RecorderError::permissionDenied));
    }
};

QTEST_GUILESS_MAIN(PulseCaptureTest)
#include "PulseCaptureTest.moc"
