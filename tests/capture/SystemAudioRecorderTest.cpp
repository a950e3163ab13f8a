#include "SystemAudioRecorder.h"

#include "CaptureTestUtil.h"
#include "FutureDelivery.h"

#include <QElapsedTimer>
#include <QPromise>
#include <QScopeGuard>
#include <QSignalSpy>
#include <csignal>
#include <sys/resource.h>

using Message = std::optional<QString>;
using R = SystemAudioRecorder;

// The platform's answer when it fails for `reason`; none for an empty one.
CaptureResult failing(const QString& reason) {
    return reason.isEmpty() ? CaptureResult() : Failure::because(reason);
}

const QString unreachable = "Sonabrix couldn't reach the sound server to capture system audio. "
                            "Make sure PulseAudio or PipeWire is running, then try again. The "
                            "reason given: ";

// A capture platform the tests steer: it fails with the texts it is given.
struct FakeService : CaptureService {
    ShareableContent content{{}, {{"speakers", "speakers.monitor", ""}}};
    CaptureResult startResult, stopResult;
    bool hold = false;             // leaves the next start or stop pending until release()
    bool dieWhileStarting = false; // the stream stops by itself before its start is answered
    std::optional<QPromise<CaptureResult>> held;
    int starts = 0, stops = 0;
    Handlers handlers;
    StreamConfiguration configuration;

    QFuture<ShareableContent> queryContent() override { return readyFuture(content); }
    QFuture<CaptureResult> startCapture(const CaptureOutput&,
                                        const StreamConfiguration& streamConfiguration,
                                        Handlers streamHandlers) override {
        handlers = std::move(streamHandlers);
        configuration = streamConfiguration;
        if (dieWhileStarting)
            handlers.stopped(QStringLiteral("Killed"));
        return ++starts, answer(startResult);
    }
    QFuture<CaptureResult> stopCapture() override { return ++stops, answer(stopResult); }
    QFuture<CaptureResult> answer(const CaptureResult& result) {
        if (!hold)
            return readyFuture(result);
        held.emplace().start();
        return held->future();
    }
    void release() { // lets what is already queued happen first
        QTest::qWait(50);
        held->addResult(std::nullopt);
        held->finish();
    }
    // `seconds` of audio at `v` in tenths of a second, captured right after what came before,
    // or ending now when nothing came yet, as a running stream delivers it.
    std::optional<qint64> timelineUs;
    void deliverOnTimeline(double seconds, float v) {
        const int tenths = int(std::lround(seconds * 10));
        if (!timelineUs)
            timelineUs = monotonicNowUs() - tenths * 100'000;
        for (int i = 0; i < tenths; ++i, *timelineUs += 100'000)
            handlers.samples({48000, 2, std::vector(4800 * 2, v), *timelineUs});
    }
    // The same, each tenth delivered once the clock has passed it, as a server does.
    void deliverInRealTime(double seconds, float v) {
        for (int i = 0; i < int(std::lround(seconds * 10)); ++i) {
            const qint64 endUs = timelineUs.value_or(monotonicNowUs()) + 100'000;
            if (!QTest::qWaitFor([endUs] { return monotonicNowUs() >= endUs; }, 1000))
                return;
            deliverOnTimeline(0.1, v);
        }
    }
    void deliver(qint64 frames, float v) {
        handlers.samples({48000, 2, std::vector(frames * 2, v)});
    }
    void stopped(const QString& reason) { handlers.stopped(reason); }
    // 100 ms of each stream, captured at the same moments: the output (left, -right) and a
    // two-channel microphone that downmixes to `voice`.
    qint64 capturedUs = 1'000'000;
    void deliverCall(float output, float voice, bool withMicrophone = true) {
        for (int piece = 0; piece < 5; ++piece, capturedUs += 20'000) {
            PcmBuffer out{48000, 2, {}, capturedUs};
            PcmBuffer mic{48000, 2, {}, capturedUs};
            for (int i = 0; i < 960; ++i) {
                out.samples.insert(out.samples.end(), {output, -output});
                mic.samples.insert(mic.samples.end(), {1.5f * voice, 0.5f * voice});
            }
            handlers.samples(std::move(out));
            if (withMicrophone)
                handlers.microphoneSamples(std::move(mic));
        }
    }
};

class SystemAudioRecorderTest : public QObject {
    Q_OBJECT

    const QByteArray savedDataHome_ = qgetenv("XDG_DATA_HOME");
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
    FakeService* fake_ = nullptr;
    std::unique_ptr<R> recorder_;

    void startRecording() {
        QVERIFY(finishes(recorder_->start()));
        QVERIFY(recorder_->isRecording());
    }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        folder_ = useDataHome(dir_->path());
        recorder_ = std::make_unique<R>(std::unique_ptr<CaptureService>(fake_ = new FakeService));
    }

    void cleanup() { qputenv("XDG_DATA_HOME", savedDataHome_); }

    void recordsIntoPrivateFilesOfTheirOwnAndPublishesThem() {
        recorder_->setErrorMessage(QStringLiteral("an earlier failure"));
        fake_->hold = true;
        const QDateTime from = QDateTime::currentDateTime();
        const QFuture<void> starting = recorder_->start();
        QTRY_VERIFY(fake_->held);
        QVERIFY(!recorder_->start().isFinished()); // one start at a time: the second joins it
        QVERIFY(finishes(recorder_->stop()));      // and a stop while starting is no stop at all
        fake_->hold = false;
        fake_->release();
        QVERIFY(finishes(starting) && recorder_->isRecording());
        const QDateTime to = QDateTime::currentDateTime();
        QVERIFY(finishes(recorder_->start()));
        QVERIFY(fake_->starts == 1 && fake_->stops == 0);
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->elapsedTime() > 0.15, 2000);
        for (float value : {0.1f, 0.2f, 0.3f})
            fake_->deliver(480, value);
        const auto firstStreamsNotice = fake_->handlers.stopped;
        QVERIFY(finishes(recorder_->stop()));
        QVERIFY(!recorder_->isRecording() && !recorder_->errorMessage());
        QVERIFY(recorder_->lastRecordingDate() >= from && recorder_->lastRecordingDate() <= to);
        const QString first = lastRecording(*recorder_);
        const SoundFile file(first);
        QVERIFY(isPrivateRecording(first, file) && file.frames() == 1440);
        QVERIFY(file.samples[0] == 0.1f && file.samples[960] == 0.2f && file.samples[2879] == 0.3f);

        // A stream still delivering after its stop can't touch the closed recording.
        fake_->deliver(480, 0.9f);
        QCOMPARE(SoundFile(first).frames(), 1440);

        // The next recording has a file of its own, complete even when the recorder goes away,
        // and a late notice from the last stream doesn't end it.
        startRecording();
        QCOMPARE(lastRecording(*recorder_), first);
        fake_->deliver(960, 0.5f);
        firstStreamsNotice(QStringLiteral("Killed"));
        QTest::qWait(50);
        QVERIFY(recorder_->isRecording());
        recorder_.reset();
        const QStringList files = QDir(folder_).entryList({"*.caf"}, QDir::Files, QDir::Time);
        QVERIFY(files.size() == 2 && SoundFile(folder_ + '/' + files[0]).frames() == 960);
    }

    void aFailedStartSaysWhyAndLeavesTheRecorderReady_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << 0 << unreachable + "Connection refused";
        QTest::newRow("turned away") << 4 << R::description(R::RecorderError::permissionDenied);
        QTest::newRow("no answer") << 3
                                   << "Sonabrix couldn't get the list of audio outputs from the "
                                      "sound server: The sound server didn't answer.";
        QTest::newRow("no output") << 1 << R::description(R::RecorderError::noDisplay);
        QTest::newRow("start refused") << 2 << "Couldn't start capture: Access denied";
    }

    void aFailedStartSaysWhyAndLeavesTheRecorderReady() {
        QFETCH(int, step);
        QFETCH(QString, message);
        const auto fail = [step](int at, const QString& why) {
            return failing(step == at ? why : QString());
        };
        fake_->content.error = fail(0, "Connection refused");
        if (step == 3) {
            fake_->content.error = Failure::because("The sound server didn't answer.");
            fake_->content.serverReached = true;
        }
        if (step == 4) {
            fake_->content.error = Failure::because("Access denied");
            fake_->content.accessRefused = true;
        }
        if (step == 1)
            fake_->content.outputs.clear();
        fake_->startResult = fail(2, "Access denied");
        QVERIFY(finishes(recorder_->start()));
        QVERIFY(!recorder_->isRecording());
        QCOMPARE(recorder_->errorMessage(), Message(message));

        // Nothing is left half-started: stop asks nothing, and a start that can succeed does.
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(fake_->stops, 0);
        fake_->content = FakeService().content;
        fake_->startResult = std::nullopt;
        startRecording();
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
    }

    // On the real platform, with no server where the environment points: what libpulse says is
    // shown, not a question of permission.
    void aServerThatIsntThereIsToldWithLibpulsesReason() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        const auto restore = qScopeGuard([&] { qputenv("PULSE_SERVER", saved); });
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix-test-no-server");
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.errorMessage(), Message(unreachable + "Connection refused"));
    }

    void anEndingRecordingSaysWhatBecameOfItsAudio_data() {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("stopError");
        QTest::addColumn<int>("ending"); // 0 stopped, 1 stopped by itself, 2 died while stopping
        QTest::addColumn<QString>("message");
        const QString noAudio = "No audio was captured — is anything actually playing sound?";
        const QString gone =
            "The recording stopped by itself: the sound server ended it. Check that sound works on "
            "your computer, then record again.\n\nThe reason given: Connection terminated";
        QTest::newRow("nothing played") << false << QString() << 0 << noAudio;
        QTest::newRow("stop failed")
            << true << "Timeout" << 0 << "Couldn't stop capture cleanly: Timeout";
        QTest::newRow("stop failed, no audio") << false << "Timeout" << 0 << noAudio;
        QTest::newRow("stopped by itself") << true << QString() << 1 << gone;
        QTest::newRow("stopped by itself, silent") << false << QString() << 1 << gone;
        QTest::newRow("died while stopping") << true << QString() << 2 << gone;
    }

    void anEndingRecordingSaysWhatBecameOfItsAudio() {
        QFETCH(bool, audio);
        QFETCH(QString, stopError);
        QFETCH(int, ending);
        QFETCH(QString, message);
        fake_->stopResult = failing(stopError);
        startRecording();
        if (audio)
            fake_->deliver(4800, 0.5f);
        // Whoever hears isRecording turn false finds the outcome already published.
        QString seenAtTheEnd;
        connect(recorder_.get(), &R::isRecordingChanged, this, [&] {
            seenAtTheEnd = recorder_->errorMessage().value_or("") + lastRecording(*recorder_);
        });
        fake_->hold = ending == 2;
        if (ending != 1)
            recorder_->stop();
        if (ending != 0)
            fake_->stopped(QStringLiteral("Connection terminated"));
        if (ending == 2)
            fake_->release();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder_->isRecording(), 5000);
        QCOMPARE(recorder_->errorMessage(), Message(message));
        QCOMPARE(seenAtTheEnd, message + lastRecording(*recorder_));
        QCOMPARE(SoundFile(lastRecording(*recorder_)).frames(), audio ? 4800 : -1);
        // The stream was released once; stopping again asks nothing of the platform.
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(fake_->stops, 1);
    }

    // Whatever way a recording ended, the next one knows nothing of it: not paused, its clock
    // from zero, not stopped for the last one's reasons, every buffer in its own file.
    void eachRecordingStartsAfresh_data() {
        QTest::addColumn<int>("first");
        QTest::newRow("start failed after the stream died") << 0;
        QTest::newRow("stopped while paused") << 1;
        QTest::newRow("stopped by itself") << 2;
        QTest::newRow("file failed") << 3;
        QTest::newRow("microphone lost") << 4;
    }
    void eachRecordingStartsAfresh() {
        QFETCH(int, first);
        fake_->dieWhileStarting = first == 0;
        fake_->startResult = failing(first == 0 ? "Access denied" : "");
        recorder_->setIncludesMicrophone(first == 4);
        fake_->content.microphone = CaptureInput{"mic", "Microphone", 1};
        QVERIFY(finishes(recorder_->start()));
        QCOMPARE(recorder_->isRecording(), first != 0);
        fake_->deliver(4800, 0.5f);
        QTest::qWait(2 * R::tickerIntervalMs);
        if (first == 1)
            recorder_->setPaused(true);
        if (first == 2)
            fake_->stopped(QStringLiteral("Connection terminated"));
        if (first == 3) // the file is stereo at 48 kHz: this can't be written to it
            fake_->handlers.samples({44100, 2, std::vector<float>(882, 0.5f)});
        if (first == 4)
            fake_->handlers.microphoneLost(QStringLiteral("Entity killed"));
        if (first == 1 || first == 4)
            recorder_->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder_->isRecording(), 5000);
        QCOMPARE(recorder_->errorMessage().has_value(), first != 1 && first != 4);
        QCOMPARE(recorder_->microphoneProblem().has_value(), first == 4);
        QVERIFY(!recorder_->isPaused());

        fake_->dieWhileStarting = false;
        fake_->startResult = std::nullopt;
        recorder_->setIncludesMicrophone(false);
        QSignalSpy paused(recorder_.get(), &R::isPausedChanged);
        startRecording();
        QVERIFY(!recorder_->isPaused() && recorder_->elapsedTime() == 0.0);
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        QCOMPARE(recorder_->microphoneProblem(), std::nullopt);
        fake_->deliver(960, 0.25f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() == 0.25f, 1000);
        QTest::qWait(3 * R::tickerIntervalMs);
        QVERIFY(recorder_->isRecording() && recorder_->elapsedTime() > 0.0);
        QVERIFY(recorder_->elapsedTime() < 3 * R::tickerIntervalMs / 1000.0 + 0.2);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        QCOMPARE(paused.size(), 0);
        const SoundFile file(lastRecording(*recorder_));
        QVERIFY(file.frames() == 960 && file.samples.front() == 0.25f);
    }

    // The recording ends at once, not at Stop: the clock mustn't run on over lost audio.
    void theMicrophoneIsMixedInWhenAskedAndItsLossIsTold() {
        const CaptureInput microphone{"mic", "Built-in Microphone", 2};
        fake_->content.microphone = microphone;
        QSignalSpy switched(recorder_.get(), &R::includesMicrophoneChanged);
        QVERIFY(!recorder_->includesMicrophone());
        recorder_->setIncludesMicrophone(true);
        recorder_->setIncludesMicrophone(true);
        QCOMPARE(switched.size(), 1);
        startRecording();
        QCOMPARE(fake_->configuration.microphone.value_or(CaptureInput{}).name, microphone.name);
        fake_->deliverCall(0.1f, 0.2f);
        // Each meter shows its own stream.
        QTRY_VERIFY(std::abs(recorder_->microphoneLevel() - 0.3) < 1e-6);
        QVERIFY(std::abs(recorder_->level() - 0.1) < 1e-6);
        fake_->deliverCall(0.1f, 0.2f);
        fake_->handlers.microphoneLost(QStringLiteral("Entity killed"));
        QTRY_VERIFY(recorder_->microphoneProblem().has_value());
        QCOMPARE(recorder_->microphoneLevel(), 0.0);
        QVERIFY(recorder_->isRecording());
        fake_->deliverCall(0.1f, 0.2f, false);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        const SoundFile file(lastRecording(*recorder_));
        QVERIFY(isPrivateRecording(lastRecording(*recorder_), file));
        // All of the output; the microphone at equal level in both channels until it went.
        QCOMPARE(file.frames(), 3 * 4800);
        const auto near = [](float a, float b) { return std::abs(a - b) < 1e-4; };
        for (qint64 frame : {100, 4800, 9500}) {
            QVERIFY(near(file.samples[2 * frame], 0.3f));
            QVERIFY(near(file.samples[2 * frame + 1], 0.1f));
        }
        QVERIFY(near(file.samples[2 * 12000], 0.1f) && near(file.samples[2 * 12000 + 1], -0.1f));

        // Switched off, the next recording asks for no microphone, and nothing of it is left.
        recorder_->setIncludesMicrophone(false);
        startRecording();
        QCOMPARE(recorder_->microphoneProblem(), std::nullopt);
        QVERIFY(!fake_->configuration.microphone && !fake_->handlers.microphoneSamples);
        fake_->deliverCall(0.1f, 0.2f, false);
        QTRY_VERIFY(recorder_->level() > 0.09);
        QCOMPARE(recorder_->microphoneLevel(), 0.0);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(SoundFile(lastRecording(*recorder_)).frames(), 4800);
    }

    void withoutAMicrophoneTheOutputIsRecordedAloneAndTheReasonShown() {
        recorder_->checkServer();
        QTRY_COMPARE(recorder_->noMicrophoneReason(), Message("No microphone found."));
        recorder_->setIncludesMicrophone(true);
        startRecording();
        QVERIFY(!fake_->configuration.microphone);
        QCOMPARE(recorder_->microphoneProblem(), Message("No microphone found."));
        fake_->deliverCall(0.1f, 0.0f, false);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(SoundFile(lastRecording(*recorder_)).frames(), 4800);

        // A microphone that turns up is found by the next check.
        fake_->content.microphone = CaptureInput{"mic", "USB", 1};
        recorder_->checkServer();
        QTRY_COMPARE(recorder_->noMicrophoneReason(), std::nullopt);
    }

    void aFileThatCantBeWrittenEndsTheRecordingAtOnce() {
        // A file stands where the data folder should be.
        const QString blocked = dir_->filePath("blocked");
        QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
        useDataHome(blocked);
        startRecording();
        fake_->deliver(960, 0.5f);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder_->isRecording(), 1000);
        QCOMPARE(fake_->stops, 1);
        QCOMPARE(recorder_->lastRecordingURL(), std::nullopt);
        QCOMPARE(recorder_->errorMessage(),
                 Message("Couldn't create the recording file: " + blocked +
                         "/Sonabrix: " + qt_error_string(ENOTDIR)));

        // A disk that fills up keeps what fitted, and nothing after the failure.
        const QString missing = useDataHome(dir_->filePath("data"));
        startRecording();
        fake_->deliver(480, 0.1f);
        const auto written = [&missing] {
            return QDir(missing).entryInfoList({"*.caf"}).value(0).size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(written() >= 480 * 8, 1000);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit tight{rlim_t(written() + 4096), saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        fake_->deliver(48000, 0.2f);
        fake_->deliver(480, 0.3f);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder_->isRecording(), 1000);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(recorder_->errorMessage().value_or("").startsWith(
            "Part of the recording couldn't be saved: "));
        const SoundFile file(lastRecording(*recorder_));
        QVERIFY(file.frames() >= 480 && file.frames() < 480 + 48000);
        QVERIFY(file.samples.front() == 0.1f && file.samples.back() == 0.2f);
    }

    // Paused buffers are dropped whole, the clock stands, and the file goes on after Resume.
    void pauseDropsExactlyWhatPlayedWhilePaused() {
        recorder_->setPaused(true); // not recording: nothing to pause
        QVERIFY(!recorder_->isPaused());
        startRecording();
        QSignalSpy pausedChanges(recorder_.get(), &R::isPausedChanged);
        fake_->deliver(480, 0.1f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() == 0.1f, 1000);
        recorder_->setPaused(true);
        QVERIFY(recorder_->isPaused() && recorder_->level() == 0);
        QTest::qWait(2 * R::tickerIntervalMs);
        const double clockWhenPaused = recorder_->elapsedTime();
        fake_->deliver(960, 0.5f);
        QTest::qWait(3 * R::tickerIntervalMs);
        QCOMPARE(recorder_->elapsedTime(), clockWhenPaused);
        QCOMPARE(recorder_->level(), 0.0);
        recorder_->setPaused(false);
        fake_->deliver(480, 0.3f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->elapsedTime() > clockWhenPaused, 1000);
        QVERIFY(recorder_->elapsedTime() < clockWhenPaused + 0.5);
        // Less than the writer's chunk: paused, it goes to the disk all the same.
        recorder_->setPaused(true);
        const auto onDisk = [this] {
            const QFileInfoList files = QDir(folder_).entryInfoList({"*.caf"});
            return files.isEmpty() ? 0 : SoundFile(files[0].filePath()).frames();
        };
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(), 960, 2000);
        QVERIFY(finishes(recorder_->stop()));
        QVERIFY(!recorder_->isPaused());
        QCOMPARE(pausedChanges.size(), 4);
        const SoundFile file(lastRecording(*recorder_));
        QCOMPARE(file.frames(), 960);
        QVERIFY(file.samples[0] == 0.1f && file.samples[959] == 0.1f && file.samples[960] == 0.3f);
    }

    // The level is the latest peak over all channels; the output is named; both reset at the end.
    void publishesTheLevelAndTheOutputWhileRecording() {
        fake_->content.outputs[0].description = "Built-in Speakers";
        startRecording();
        QCOMPARE(recorder_->outputName(), "Built-in Speakers");
        QSignalSpy levels(recorder_.get(), &R::levelChanged);
        std::vector<float> samples(2 * 4800, 0.01f);
        samples[2 * 4000 + 1] = -0.75f; // one loud sample on the right channel, 16 ms from the end
        fake_->handlers.samples({48000, 2, samples});
        QTRY_COMPARE_WITH_TIMEOUT(recorder_->level(), 0.75, 1000);
        fake_->deliver(4800, 0.25f);
        QTRY_COMPARE_WITH_TIMEOUT(recorder_->level(), 0.25, 1000);
        QVERIFY(!recorder_->isCapturingSilence());
        fake_->handlers.outputChanged({"hdmi", "hdmi.monitor", "HDMI Output"});
        QTRY_COMPARE(recorder_->outputName(), "HDMI Output");
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->level(), 0.0);
        QVERIFY(levels.size() >= 3);
    }

    void saysWhenItHearsOnlySilence() {
        startRecording();
        for (int i = 0; i < 35; ++i) {
            fake_->deliver(4800, 0.0005f);
            QTest::qWait(100);
        }
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->isCapturingSilence(), 1000);
        fake_->deliver(480, 0.01f);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder_->isCapturingSilence(), 1000);
        recorder_->setPaused(true);
        QVERIFY(!recorder_->isCapturingSilence());
    }
    // The replay listens by itself, a recording shares its capture, and it goes on after the
    // recording; a save gives the last seconds, ending when it was asked for.
    void theReplayAndARecordingShareOneCapture() {
        recorder_->setReplayMinutes(1);
        QTRY_VERIFY(recorder_->isReplayListening());
        QVERIFY(!recorder_->isRecording());
        QCOMPARE(fake_->starts, 1);
        fake_->deliverOnTimeline(2.0, 0.25f);

        // The recording takes what was captured from its start to its stop, the stretch after
        // the stop arriving as it does, a moment later.
        startRecording();
        QElapsedTimer recording;
        recording.start();
        fake_->deliverInRealTime(0.5, 0.5f);
        const QFuture<void> stopping = recorder_->stop();
        const double recordedFor = double(recording.nsecsElapsed()) / 1e9;
        QVERIFY(!stopping.isFinished());
        fake_->deliverInRealTime(0.1, 0.5f);
        QVERIFY(finishes(stopping));
        QCOMPARE(fake_->starts, 1);
        QCOMPARE(fake_->stops, 0);
        QVERIFY(recorder_->isReplayListening());
        const SoundFile recorded(lastRecording(*recorder_));
        QVERIFY2(std::abs(double(recorded.frames()) / 48000 - recordedFor) < 0.02,
                 qPrintable(
                     QStringLiteral("%1 frames in %2 s").arg(recorded.frames()).arg(recordedFor)));
        QCOMPARE(recorded.samples.front(), 0.5f);

        QCOMPARE(recorder_->replayKeptSeconds(), 2.6);
        const QDateTime pressed = QDateTime::currentDateTime();
        QFuture<R::ReplaySave> saving = recorder_->saveReplay(1.0);
        QVERIFY(recorder_->isSavingReplay());
        const QFuture<R::ReplaySave> second = recorder_->saveReplay();
        QVERIFY(second.isFinished() && second.result().errorMessage);
        QVERIFY(QTest::qWaitFor([&saving] { return saving.isFinished(); }, 5000));
        QVERIFY(!recorder_->isSavingReplay());
        const R::ReplaySave save = saving.result();
        QVERIFY2(!save.errorMessage, qPrintable(save.errorMessage.value_or("")));
        const SoundFile saved(save.url->toLocalFile());
        QCOMPARE(saved.frames(), qint64(48000));
        // Its last half second is what the recording heard, its first what played before.
        QCOMPARE(saved.samples.front(), 0.25f);
        QCOMPARE(saved.samples.back(), 0.5f);
        QVERIFY(std::abs(save.startDate->msecsTo(pressed) - 1000) < 100);
        QVERIFY(isPrivateRecording(save.url->toLocalFile(), saved));

        // Longer than what is kept: all of it; and afresh, nothing is left for the next.
        saving = recorder_->saveReplay(600, true);
        QVERIFY(QTest::qWaitFor([&saving] { return saving.isFinished(); }, 5000));
        QCOMPARE(SoundFile(saving.result().url->toLocalFile()).frames(), qint64(124800));
        QCOMPARE(recorder_->replayKeptSeconds(), 0.0);
        const QFuture<R::ReplaySave> nothing = recorder_->saveReplay();
        QVERIFY(nothing.isFinished() && nothing.result().errorMessage && !nothing.result().url);
    }

    // A capture that dies while only the replay listens is opened again, and the time it was
    // away is kept as silence; a new choice of program opens a capture of it; switching off
    // releases the capture and drops what was kept.
    void theReplayComesBackAfterAFailureFollowsTheChoiceAndLetsGo() {
        recorder_->setReplayMinutes(5);
        QTRY_VERIFY(recorder_->isReplayListening());
        fake_->deliverOnTimeline(1.0, 0.25f);
        fake_->stopped(QStringLiteral("Connection terminated"));
        QTRY_VERIFY(recorder_->replayProblem().has_value());
        QVERIFY(recorder_->replayProblem()->contains("Connection terminated"));
        QTRY_COMPARE(fake_->stops, 1);
        QVERIFY(!recorder_->isReplayListening());
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->isReplayListening(), 2 * R::replayRetryMs);
        QCOMPARE(fake_->starts, 2);
        QCOMPARE(recorder_->replayProblem(), std::nullopt);
        fake_->timelineUs.reset();
        fake_->deliverOnTimeline(0.5, 0.5f);
        // The kept sound runs to now: the seconds it was away are in it, as silence (a coarse
        // timer may fire a little early).
        const double kept = recorder_->replayKeptSeconds();
        QVERIFY2(kept > 1.0 + 0.9 * R::replayRetryMs / 1000.0, qPrintable(QString::number(kept)));

        recorder_->setProgram(CaptureProgram::named(QStringLiteral("player")));
        QTRY_COMPARE(fake_->starts, 3);
        QTRY_VERIFY(recorder_->isReplayListening());
        QCOMPARE(fake_->stops, 2);
        QCOMPARE(fake_->configuration.program->name, QStringLiteral("player"));
        QCOMPARE(recorder_->replayKeptSeconds(), kept);

        recorder_->setReplayMinutes(0);
        QTRY_COMPARE(fake_->stops, 3);
        QVERIFY(!recorder_->isReplayListening());
        QCOMPARE(recorder_->replayKeptSeconds(), 0.0);
        const QFuture<R::ReplaySave> nothing = recorder_->saveReplay();
        QVERIFY(nothing.isFinished() && nothing.result().errorMessage);
    }
};

QTEST_GUILESS_MAIN(SystemAudioRecorderTest)
#include "SystemAudioRecorderTest.moc"
