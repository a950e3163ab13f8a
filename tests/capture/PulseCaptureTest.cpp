#include "SoundFileContents.h"
#include "SystemAudioRecorder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numbers>
#include <sys/stat.h>

namespace {

constexpr double toneHz = 440;
constexpr double toneAmplitude = 0.5;

bool finishes(const QFuture<void>& future) {
    return QTest::qWaitFor([&future] { return future.isFinished(); }, 15000);
}

bool writeTone(const QString& path, double seconds) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info), &sf_close);
    if (!file)
        return false;
    const auto frames = static_cast<qint64>(seconds * 48000);
    std::vector<float> samples(static_cast<size_t>(frames * 2));
    for (qint64 i = 0; i < frames; ++i) {
        const double phase = 2 * std::numbers::pi * toneHz * static_cast<double>(i) / 48000;
        samples[static_cast<size_t>(2 * i)] = static_cast<float>(toneAmplitude * std::sin(phase));
        samples[static_cast<size_t>(2 * i + 1)] = samples[static_cast<size_t>(2 * i)];
    }
    return sf_writef_float(file.get(), samples.data(), frames) == frames;
}

struct Level {
    double rms = 0;
    double peak = 0;
    double crossingsPerSecond = 0;
};

// Level and pitch of one channel over [fromFrame, toFrame).
Level measure(const SoundFileContents& contents, int channel, qint64 fromFrame, qint64 toFrame) {
    Level level;
    double sumOfSquares = 0;
    int crossings = 0;
    float previous = 0;
    for (qint64 frame = fromFrame; frame < toFrame; ++frame) {
        const float sample =
            contents.samples[static_cast<size_t>(frame * contents.channelCount + channel)];
        sumOfSquares += double(sample) * sample;
        level.peak = std::max(level.peak, double(std::abs(sample)));
        if (frame > fromFrame && (previous < 0) != (sample < 0))
            ++crossings;
        previous = sample;
    }
    const double frames = static_cast<double>(toFrame - fromFrame);
    level.rms = std::sqrt(sumOfSquares / frames);
    level.crossingsPerSecond = crossings / (frames / contents.sampleRateHz);
    return level;
}

bool serverAnswers(const QString& server) {
    QProcess pactl;
    pactl.start("pactl", {"-s", server, "info"});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
           pactl.exitCode() == 0;
}

// A paplay process that is stopped with the object.
struct TonePlayer {
    QProcess process;
    ~TonePlayer() {
        process.kill();
        process.waitForFinished();
    }
};

// Sets PULSE_SERVER for the life of the object.
class ServerOverride {
public:
    explicit ServerOverride(const QString& server) : saved_(qgetenv("PULSE_SERVER")) {
        qputenv("PULSE_SERVER", server.toUtf8());
    }
    ~ServerOverride() { qputenv("PULSE_SERVER", saved_); }

private:
    QByteArray saved_;
};

} // namespace

class PulseCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir workDir_;
    QTemporaryDir recordingsDir_;
    QByteArray savedTmpDir_;
    QString tonePath_;

    // What the running recording holds so far: its file's header is current after every write.
    void clearRecordings() {
        for (const QString& name : QDir(recordingsDir_.path()).entryList({"*.caf"}, QDir::Files))
            QFile::remove(recordingsDir_.filePath(name));
    }

    qint64 framesOnDisk() const {
        const QStringList files =
            QDir(recordingsDir_.path()).entryList({"*.caf"}, QDir::Files, QDir::Time);
        if (files.isEmpty())
            return 0;
        const auto contents = readSoundFile(recordingsDir_.filePath(files.first()));
        return contents ? contents->frames() : 0;
    }

    // Plays the tone into the server's default output until destroyed, and waits until the
    // server has it. A null sink renders as far ahead as its clients' latency allows, and a
    // monitor hears nothing of what was rendered before it was opened; a player with a short
    // latency keeps that head start out of the comparison with the wall clock.
    std::unique_ptr<TonePlayer> playTone(const QString& server) {
        auto player = std::make_unique<TonePlayer>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PULSE_SERVER", server);
        player->process.setProcessEnvironment(environment);
        player->process.start("paplay", {"--latency-msec=50", tonePath_});
        if (!player->process.waitForStarted())
            return nullptr;
        const bool playing = QTest::qWaitFor(
            [&server] {
                QProcess pactl;
                pactl.start("pactl", {"-s", server, "list", "short", "sink-inputs"});
                pactl.waitForFinished(5000);
                return !pactl.readAllStandardOutput().trimmed().isEmpty();
            },
            10000);
        return playing ? std::move(player) : nullptr;
    }

    // The tone is there, on both channels, at its level and pitch. A busy machine may starve the
    // player now and then (an underrun the server fills with silence), so most quarter
    // seconds must carry it, not every one.
    static bool carriesTheTone(const SoundFileContents& contents) {
        constexpr qint64 window = 12000;
        int windows = 0;
        int toneWindows = 0;
        for (qint64 from = 4800; from + window <= contents.frames() - 4800; from += window) {
            ++windows;
            bool tone = true;
            for (int channel = 0; channel < 2; ++channel) {
                const Level level = measure(contents, channel, from, from + window);
                tone = tone && std::abs(level.rms - toneAmplitude / std::sqrt(2.0)) < 0.03 &&
                       std::abs(level.peak - toneAmplitude) < 0.03 &&
                       std::abs(level.crossingsPerSecond - 2 * toneHz) < 12;
            }
            toneWindows += tone ? 1 : 0;
        }
        if (windows == 0 || toneWindows < 0.75 * windows)
            qWarning("the tone is in %d of %d quarter seconds", toneWindows, windows);
        return windows > 0 && toneWindows >= 0.75 * windows;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(workDir_.isValid());
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"),
                 "run under scripts/with-sound-server");
        tonePath_ = workDir_.filePath("tone.wav");
        QVERIFY(writeTone(tonePath_, 60));
        QVERIFY(recordingsDir_.isValid());
        savedTmpDir_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(recordingsDir_.path()));
    }

    void cleanupTestCase() { qputenv("TMPDIR", savedTmpDir_); }

    void init() { clearRecordings(); }

    void recordsWhatTheDefaultOutputPlays() {
        const QString server = qEnvironmentVariable("PULSE_SERVER");
        auto player = playTone(server);
        QVERIFY(player);

        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()));
        QVERIFY2(recorder.isRecording(), qPrintable(recorder.errorMessage().value_or("")));
        // When playback begins, an idle null sink renders its first block up to 2 s ahead and a
        // monitor hears nothing until the sink's clock catches up (parec alike). From the first
        // frame on nothing may be lost, neither while recording nor at the stop.
        QTRY_VERIFY_WITH_TIMEOUT(framesOnDisk() > 0, 10000);
        QElapsedTimer wallClock;
        wallClock.start();
        const qint64 framesAtFirstSight = framesOnDisk();
        QTRY_VERIFY_WITH_TIMEOUT(wallClock.elapsed() >= 2000, 10000);
        const QFuture<void> stopping = recorder.stop();
        const double wallSeconds = wallClock.nsecsElapsed() / 1e9;
        QVERIFY(finishes(stopping));

        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.errorMessage(), std::nullopt);
        const std::optional<QUrl> first = recorder.lastRecordingURL();
        QVERIFY(first && first->isLocalFile());
        const auto contents = readSoundFile(first->toLocalFile());
        QVERIFY(contents);
        QCOMPARE(contents->format & SF_FORMAT_TYPEMASK, SF_FORMAT_CAF);
        QCOMPARE(contents->format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        QCOMPARE(contents->sampleRateHz, 48000);
        QCOMPARE(contents->channelCount, 2);
        const auto describe = [](qint64 frames, double seconds) {
            return qPrintable(QStringLiteral("%1 frames in %2 s").arg(frames).arg(seconds));
        };
        const qint64 framesSinceFirstSight = contents->frames() - framesAtFirstSight;
        QVERIFY2(std::abs(framesSinceFirstSight - wallSeconds * 48000) < 0.1 * 48000,
                 describe(framesSinceFirstSight, wallSeconds));
        QVERIFY(carriesTheTone(*contents));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(first->toLocalFile()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);

        // A second recording gets its own file, the first one stays; with the sink's head start
        // spent, the whole recording matches the wall clock.
        QVERIFY(finishes(recorder.start()));
        wallClock.restart();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.elapsedTime() >= 1.5, 10000);
        const QFuture<void> stoppingAgain = recorder.stop();
        const double secondWallSeconds = wallClock.nsecsElapsed() / 1e9;
        QVERIFY(finishes(stoppingAgain));
        QCOMPARE(recorder.errorMessage(), std::nullopt);
        QVERIFY(recorder.lastRecordingURL() && recorder.lastRecordingURL() != first);
        QVERIFY(QFile::exists(first->toLocalFile()));
        const auto second = readSoundFile(recorder.lastRecordingURL()->toLocalFile());
        QVERIFY(second);
        QVERIFY2(second->frames() > (secondWallSeconds - 0.25) * 48000 &&
                     second->frames() < (secondWallSeconds + 0.1) * 48000,
                 describe(second->frames(), secondWallSeconds));
        QVERIFY(carriesTheTone(*second));
    }

    void anUnreachableServerGivesTheConnectionText() {
        ServerOverride server("unix:/nonexistent/sonabrix/native");
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.errorMessage(),
                 std::optional(SystemAudioRecorder::description(
                     SystemAudioRecorder::RecorderError::permissionDenied)));
    }

    void aServerThatGoesAwayLeavesThePartialRecording() {
        // A daemon of our own: killing the shared one would pull the floor from other tests.
        QTemporaryDir runtime("/tmp/sonabrix-capture-XXXXXX");
        QVERIFY(runtime.isValid());
        const QString socket = runtime.filePath("native");
        const QString server = "unix:" + socket;
        QProcess daemon;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.insert("PULSE_RUNTIME_PATH", runtime.filePath("pulse"));
        environment.insert("PULSE_STATE_PATH", runtime.filePath("state"));
        daemon.setProcessEnvironment(environment);
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.start("pulseaudio",
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                      "--log-target=file:" + runtime.filePath("daemon.log"),
                      "--load=module-null-sink sink_name=vanishing rate=48000 channels=2",
                      "--load=module-null-sink sink_name=doomed rate=48000 channels=2",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        QVERIFY(daemon.waitForStarted());
        const auto stopDaemon = qScopeGuard([&daemon] {
            daemon.kill();
            daemon.waitForFinished();
        });
        QVERIFY(QTest::qWaitFor([&] { return serverAnswers(server); }, 10000));
        QProcess::execute("pactl", {"-s", server, "set-default-sink", "vanishing"});
        ServerOverride override(server);

        // The output goes away under a running recording.
        {
            auto player = playTone(server);
            QVERIFY(player);
            SystemAudioRecorder recorder;
            QVERIFY(finishes(recorder.start()));
            QVERIFY2(recorder.isRecording(), qPrintable(recorder.errorMessage().value_or("")));
            QTRY_VERIFY_WITH_TIMEOUT(framesOnDisk() >= 2 * 48000, 10000);
            QCOMPARE(QProcess::execute("pactl", {"-s", server, "unload-module", "0"}), 0);
            QTRY_VERIFY_WITH_TIMEOUT(!recorder.isRecording(), 10000);
            QVERIFY2(
                recorder.errorMessage().value_or("").startsWith("Capture stopped unexpectedly: "),
                qPrintable(recorder.errorMessage().value_or("")));
            QVERIFY(recorder.lastRecordingURL());
            const auto contents = readSoundFile(recorder.lastRecordingURL()->toLocalFile());
            QVERIFY(contents && contents->frames() >= 2 * 48000);
            QVERIFY(carriesTheTone(*contents));
        }

        // The whole server dies.
        clearRecordings();
        auto player = playTone(server);
        QVERIFY(player);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()));
        QVERIFY2(recorder.isRecording(), qPrintable(recorder.errorMessage().value_or("")));
        QTRY_VERIFY_WITH_TIMEOUT(framesOnDisk() >= 2 * 48000, 10000);
        daemon.kill();
        QVERIFY(daemon.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.isRecording(), 10000);
        QVERIFY2(recorder.errorMessage().value_or("").startsWith("Capture stopped unexpectedly: "),
                 qPrintable(recorder.errorMessage().value_or("")));
        QVERIFY(recorder.lastRecordingURL());
        const auto contents = readSoundFile(recorder.lastRecordingURL()->toLocalFile());
        QVERIFY(contents && contents->frames() >= 2 * 48000);
        QVERIFY(carriesTheTone(*contents));
        QVERIFY(finishes(recorder.stop()));
    }
};

QTEST_GUILESS_MAIN(PulseCaptureTest)
#include "PulseCaptureTest.moc"
