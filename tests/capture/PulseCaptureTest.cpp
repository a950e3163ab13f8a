#include "CaptureTestUtil.h"
#include "PulseCaptureService.h"

#include <QProcess>
#include <QTemporaryFile>
#include <cmath>
#include <csignal>
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

// Plays the tone into the default output from a file, so the player never waits on this test's
// event loop; a short latency keeps the null sink near the wall clock.
struct TonePlayer : QProcess {
    QTemporaryFile samples;
    TonePlayer() {
        std::vector<float> tone(48000 * 30 * 2);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = toneAmplitude * std::sin(M_PI * toneHz * double(i / 2) / 24000);
        if (samples.open())
            samples.write(reinterpret_cast<const char*>(tone.data()), tone.size() * sizeof(float));
        samples.close();
        setStandardInputFile(samples.fileName());
        start("pacat", {"--latency-msec=50", "--format=float32le", "--rate=48000", "--channels=2"});
    }
    ~TonePlayer() override { kill(), waitForFinished(); }
};

// Whether the recording holds the tone at its level and pitch on both channels, judged in 20 ms
// windows. A busy machine can starve the player for a moment, and the output then plays a few
// milliseconds of silence that any recorder hears: short, sparse gaps pass. Long gaps or a tone
// missing from much of the recording fail. Lost frames show in the frame count instead.
bool carriesTheTone(const SoundFile& file) {
    constexpr qint64 window = 960, margin = 4800;
    const double crossingsPerWindow = 2 * toneHz * window / 48000;
    int windows = 0, toneWindows = 0, gap = 0, longestGap = 0;
    for (qint64 from = margin; from + window <= file.frames() - margin; from += window, ++windows) {
        bool holds = true;
        for (int channel = 0; channel < 2; ++channel) {
            double squares = 0, crossings = 0;
            for (qint64 frame = from; frame < from + window; ++frame) {
                const float now = file.samples[frame * 2 + channel];
                squares += now * now;
                crossings += (now < 0) != (file.samples[(frame - 1) * 2 + channel] < 0);
            }
            holds = holds &&
                    std::abs(std::sqrt(squares / window) - toneAmplitude / std::sqrt(2)) < 0.03 &&
                    std::abs(crossings - crossingsPerWindow) <= 2;
        }
        toneWindows += holds;
        gap = holds ? 0 : gap + 1;
        longestGap = std::max(longestGap, gap);
    }
    const double share = windows > 0 ? double(toneWindows) / windows : 0;
    const bool carries = share >= 0.8 && longestGap * window < 48000 / 4;
    if (!carries)
        qWarning("The tone is in %.1f %% of the recording; the longest gap is %lld ms.",
                 100 * share, longestGap * window / 48);
    return carries;
}

// A private server of the shared one's kind, from the same script, for this test alone to kill.
// It goes away when this closes its input, or when the test process dies.
struct OwnServer : QProcess {
    QByteArray address;
    QList<pid_t> pids;
    OwnServer() {
        start(SOUND_SERVER_SCRIPT,
              {"sh", "-c", R"(echo "$PULSE_SERVER $SONABRIX_SOUND_SERVER_PIDS"; exec cat)"});
        if (!waitForReadyRead(30000))
            return;
        const QList<QByteArray> words = readLine().simplified().split(' ');
        address = words.value(0);
        for (const QByteArray& pid : words.mid(1))
            pids << pid.toInt();
    }
    void killServer() {
        for (pid_t pid : pids)
            ::kill(pid, SIGKILL);
    }
    ~OwnServer() override { closeWriteChannel(), waitForFinished(10000); }
};

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
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
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
        if (qgetenv("SONABRIX_SOUND_SERVER") == "pipewire")
            QSKIP("PipeWire's pipe source holds back a partial cycle, so its frame count isn't "
                  "exact; PulseAudio's is");
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

    // Last, on a server of its own: killing the shared one would pull the floor from other tests.
    void aServerThatDiesLeavesThePartialRecordingAndSaysSo() {
        OwnServer server;
        QVERIFY2(!server.pids.isEmpty(), server.readAllStandardError().constData());
        QTemporaryDir dataHome;
        qputenv("PULSE_SERVER", server.address);
        const QString recordings = useDataHome(dataHome.path());
        TonePlayer player;
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings) >= 2 * 48000, 10000);
        server.killServer();
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
