#include "SystemAudioRecorder.h"

#include "FakeCaptureService.h"
#include "SoundFileContents.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

bool finishes(const QFuture<void>& future) {
    return QTest::qWaitFor([&future] { return future.isFinished(); }, 5000);
}

const QString noAudioText =
    QStringLiteral("No audio was captured — is anything actually playing sound?");

} // namespace

class SystemAudioRecorderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tempDir_;
    QByteArray savedTmpDir_;
    std::shared_ptr<FakeCaptureService::Script> script_;

    std::unique_ptr<SystemAudioRecorder> makeRecorder() {
        return std::make_unique<SystemAudioRecorder>(std::make_unique<FakeCaptureService>(script_));
    }

    void startRecording(SystemAudioRecorder& recorder) {
        QVERIFY(finishes(recorder.start()));
        QVERIFY(recorder.isRecording());
    }

    QStringList recordingsOnDisk() const {
        return QDir(tempDir_->path()).entryList({"*.caf"}, QDir::Files);
    }

private Q_SLOTS:
    void init() {
        tempDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tempDir_->isValid());
        savedTmpDir_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tempDir_->path()));
        script_ = std::make_shared<FakeCaptureService::Script>();
    }

    void cleanup() {
        qputenv("TMPDIR", savedTmpDir_);
        tempDir_.reset();
    }

    void recordsIntoANewPrivateFileAndPublishesIt() {
        auto recorder = makeRecorder();
        recorder->setErrorMessage(QStringLiteral("an earlier failure"));
        QSignalSpy recordingSpy(recorder.get(), &SystemAudioRecorder::isRecordingChanged);

        const QDateTime before = QDateTime::currentDateTime();
        startRecording(*recorder);
        const QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(recorder->errorMessage(), std::nullopt);
        QCOMPARE(recorder->elapsedTime(), 0.0);
        QCOMPARE(recordingSpy.count(), 1);
        QCOMPARE(script_->streamOutput->monitorSourceName, QStringLiteral("speakers.monitor"));
        QCOMPARE(script_->streamConfiguration->sampleRateHz, 48000);
        QCOMPARE(script_->streamConfiguration->channelCount, 2);

        QTRY_VERIFY_WITH_TIMEOUT(recorder->elapsedTime() > 0.15, 2000);
        QVERIFY(recorder->elapsedTime() < 5);

        for (float value : {0.1f, 0.2f, 0.3f})
            script_->deliver(constantBuffer(480, value));
        QCOMPARE(recorder->lastRecordingURL(), std::nullopt);

        QVERIFY(finishes(recorder->stop()));
        QVERIFY(!recorder->isRecording());
        QCOMPARE(recorder->errorMessage(), std::nullopt);
        QVERIFY(recorder->lastRecordingDate() >= before && recorder->lastRecordingDate() <= after);

        const std::optional<QUrl> url = recorder->lastRecordingURL();
        QVERIFY(url && url->isLocalFile());
        const QFileInfo file(url->toLocalFile());
        QCOMPARE(file.absolutePath(), QFileInfo(tempDir_->path()).absoluteFilePath());
        QVERIFY2(QRegularExpression("^Sonabrix-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                    "[0-9A-F]{12}\\.caf$")
                     .match(file.fileName())
                     .hasMatch(),
                 qPrintable(file.fileName()));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file.filePath()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);

        auto contents = readSoundFile(file.filePath());
        QVERIFY(contents);
        QCOMPARE(contents->format & SF_FORMAT_TYPEMASK, SF_FORMAT_CAF);
        QCOMPARE(contents->format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        QCOMPARE(contents->frames(), 1440);
        QCOMPARE(contents->samples.front(), 0.1f);
        QCOMPARE(contents->samples[480 * 2], 0.2f);
        QCOMPARE(contents->samples.back(), 0.3f);

        // The ticker ended with the stop; the last value stays on show.
        const double elapsed = recorder->elapsedTime();
        QTest::qWait(3 * SystemAudioRecorder::tickerIntervalMs);
        QCOMPARE(recorder->elapsedTime(), elapsed);

        // A stream that kept delivering after its stop can't touch the closed recording.
        script_->sampleHandler(constantBuffer(480, 0.9f));
        QCOMPARE(readSoundFile(file.filePath())->frames(), 1440);
        QCOMPARE(recordingsOnDisk().size(), 1);
    }

    void aFailedStartSaysWhyAndLeavesTheRecorderReady_data() {
        QTest::addColumn<int>("failingStep");
        QTest::addColumn<QString>("expectedMessage");
        QTest::newRow("no sound server")
            << 0
            << SystemAudioRecorder::description(
                   SystemAudioRecorder::RecorderError::permissionDenied);
        QTest::newRow("no output")
            << 1 << SystemAudioRecorder::description(SystemAudioRecorder::RecorderError::noDisplay);
        QTest::newRow("stream refused") << 2 << "Couldn't start capture: No such entity";
        QTest::newRow("start refused") << 3 << "Couldn't start capture: Access denied";
    }

    void aFailedStartSaysWhyAndLeavesTheRecorderReady() {
        QFETCH(int, failingStep);
        QFETCH(QString, expectedMessage);
        if (failingStep == 0)
            script_->content = {QStringLiteral("Connection refused"), {}};
        if (failingStep == 1)
            script_->content.outputs.clear();
        if (failingStep == 2)
            script_->createResult = QStringLiteral("No such entity");
        if (failingStep == 3)
            script_->startResult = QStringLiteral("Access denied");

        auto recorder = makeRecorder();
        recorder->setErrorMessage(QStringLiteral("an earlier failure"));
        QSignalSpy messageSpy(recorder.get(), &SystemAudioRecorder::errorMessageChanged);
        QSignalSpy recordingSpy(recorder.get(), &SystemAudioRecorder::isRecordingChanged);
        QVERIFY(finishes(recorder->start()));

        QVERIFY(!recorder->isRecording());
        QCOMPARE(recordingSpy.count(), 0);
        QCOMPARE(recorder->errorMessage(), std::optional(expectedMessage));
        // Cleared first, then the reason.
        QCOMPARE(messageSpy.count(), 2);
        QCOMPARE(messageSpy.at(0).at(0).value<std::optional<QString>>(), std::nullopt);
        QCOMPARE(script_->createdStreams, failingStep >= 2 ? 1 : 0);
        QCOMPARE(recorder->lastRecordingURL(), std::nullopt);
        QCOMPARE(recorder->lastRecordingDate(), std::nullopt);

        // Nothing is left half-started: stop does nothing, and a start that can succeed does.
        QVERIFY(finishes(recorder->stop()));
        QCOMPARE(script_->stops, 0);
        *script_ = FakeCaptureService::Script{};
        startRecording(*recorder);
        QCOMPARE(recorder->errorMessage(), std::nullopt);
    }

    void aSecondStartWhileStartingOrRecordingChangesNothing() {
        script_->holdStart = true;
        auto recorder = makeRecorder();
        const QFuture<void> first = recorder->start();
        QTRY_VERIFY(script_->heldStart);
        const QFuture<void> second = recorder->start();
        QVERIFY(!second.isFinished());
        // And a stop while starting is no stop at all.
        QVERIFY(finishes(recorder->stop()));

        script_->releaseStart();
        QVERIFY(finishes(first));
        QVERIFY(finishes(second));
        QVERIFY(recorder->isRecording());
        QCOMPARE(script_->queries, 1);
        QCOMPARE(script_->createdStreams, 1);
        QCOMPARE(script_->stops, 0);

        recorder->setErrorMessage(QStringLiteral("still shown"));
        QVERIFY(finishes(recorder->start()));
        QCOMPARE(recorder->errorMessage(), std::optional<QString>("still shown"));
        QCOMPARE(script_->queries, 1);
    }

    void stoppingReportsWhatBecameOfTheAudio_data() {
        QTest::addColumn<bool>("audioArrives");
        QTest::addColumn<bool>("stopFails");
        QTest::addColumn<QString>("expectedMessage");
        QTest::newRow("nothing played") << false << false << noAudioText;
        QTest::newRow("stop failed after audio")
            << true << false << "Couldn't stop capture cleanly: Timeout";
        QTest::newRow("stop failed, no audio") << false << true << noAudioText;
    }

    void stoppingReportsWhatBecameOfTheAudio() {
        QFETCH(bool, audioArrives);
        QFETCH(bool, stopFails);
        QFETCH(QString, expectedMessage);
        if (audioArrives || stopFails)
            script_->stopResult = QStringLiteral("Timeout");
        auto recorder = makeRecorder();
        startRecording(*recorder);
        const QDateTime startDate = QDateTime::currentDateTime();
        if (audioArrives)
            script_->deliver(constantBuffer(960, 0.5f));
        QVERIFY(finishes(recorder->stop()));

        QVERIFY(!recorder->isRecording());
        QCOMPARE(recorder->errorMessage(), std::optional(expectedMessage));
        QCOMPARE(recorder->lastRecordingURL().has_value(), audioArrives);
        QVERIFY(recorder->lastRecordingDate());
        QVERIFY(qAbs(recorder->lastRecordingDate()->msecsTo(startDate)) < 1000);
        if (audioArrives)
            QCOMPARE(readSoundFile(recorder->lastRecordingURL()->toLocalFile())->frames(), 960);

        // Once stopped, stopping again asks nothing of the platform.
        QVERIFY(finishes(recorder->stop()));
        QCOMPARE(script_->stops, 1);
    }

    void aStreamThatStopsByItselfPublishesWhatWasRecorded() {
        auto recorder = makeRecorder();
        startRecording(*recorder);
        script_->deliver(constantBuffer(4800, 0.25f));

        QStringList order;
        std::optional<QUrl> urlSeenWhenRecordingEnded;
        connect(recorder.get(), &SystemAudioRecorder::errorMessageChanged, this,
                [&order] { order << "errorMessage"; });
        connect(recorder.get(), &SystemAudioRecorder::lastRecordingURLChanged, this,
                [&order] { order << "lastRecordingURL"; });
        connect(recorder.get(), &SystemAudioRecorder::lastRecordingDateChanged, this,
                [&order] { order << "lastRecordingDate"; });
        connect(recorder.get(), &SystemAudioRecorder::isRecordingChanged, this, [&] {
            order << "isRecording";
            urlSeenWhenRecordingEnded = recorder->lastRecordingURL();
        });

        script_->stopByItself(QStringLiteral("Connection terminated"));
        QTRY_VERIFY_WITH_TIMEOUT(!recorder->isRecording(), 5000);
        QCOMPARE(order, QStringList({"errorMessage", "lastRecordingURL", "lastRecordingDate",
                                     "isRecording"}));
        QCOMPARE(recorder->errorMessage(),
                 std::optional<QString>("Capture stopped unexpectedly: Connection terminated"));
        QVERIFY(urlSeenWhenRecordingEnded);
        QCOMPARE(urlSeenWhenRecordingEnded, recorder->lastRecordingURL());
        QCOMPARE(readSoundFile(urlSeenWhenRecordingEnded->toLocalFile())->frames(), 4800);
        // The dead stream was released before the file was closed, once.
        QCOMPARE(script_->stops, 1);

        QVERIFY(finishes(recorder->stop()));
        QCOMPARE(script_->stops, 1);
        QCOMPARE(recorder->errorMessage(),
                 std::optional<QString>("Capture stopped unexpectedly: Connection terminated"));
    }

    void stopNoticesAreTiedToTheirOwnStream() {
        auto recorder = makeRecorder();
        startRecording(*recorder);
        // Silent so far: the notice alone speaks, there was no file to lose.
        const CaptureService::StoppedHandler firstStreamsNotice = script_->stoppedHandler;
        script_->stopByItself(QStringLiteral("Killed"));
        QTRY_VERIFY_WITH_TIMEOUT(!recorder->isRecording(), 5000);
        QCOMPARE(recorder->errorMessage(),
                 std::optional<QString>("Capture stopped unexpectedly: Killed"));
        QCOMPARE(recorder->lastRecordingURL(), std::nullopt);

        startRecording(*recorder);
        firstStreamsNotice(QStringLiteral("Killed"));
        QTest::qWait(50);
        QVERIFY(recorder->isRecording());

        // A notice while a stop is under way joins that stop instead of starting another.
        script_->holdStop = true;
        script_->deliver(constantBuffer(960, 0.5f));
        const QFuture<void> stopping = recorder->stop();
        script_->stopByItself(QStringLiteral("Connection terminated"));
        QTest::qWait(50);
        QVERIFY(recorder->isRecording());
        script_->releaseStop();
        QVERIFY(finishes(stopping));
        QVERIFY(!recorder->isRecording());
        QCOMPARE(script_->stops, 2);
        QCOMPARE(recorder->errorMessage(),
                 std::optional<QString>("Capture stopped unexpectedly: Connection terminated"));
        QVERIFY(recorder->lastRecordingURL());
    }

    void aRecordingFileThatCantBeCreatedIsReported() {
        const QString missing = tempDir_->filePath("not-yet");
        qputenv("TMPDIR", QFile::encodeName(missing));
        auto recorder = makeRecorder();
        startRecording(*recorder);
        script_->deliver(constantBuffer(960, 0.5f));
        script_->deliver(constantBuffer(960, 0.5f));
        QVERIFY(finishes(recorder->stop()));
        QCOMPARE(recorder->lastRecordingURL(), std::nullopt);
        const QString message = recorder->errorMessage().value_or(QString());
        QVERIFY2(message.startsWith("Couldn't create the recording file: ") &&
                     message.contains(qt_error_string(ENOENT)),
                 qPrintable(message));

        // The next buffer tries again: a file from then on, and the loss is said.
        startRecording(*recorder);
        script_->deliver(constantBuffer(960, 0.1f));
        QVERIFY(QDir().mkpath(missing));
        script_->deliver(constantBuffer(480, 0.2f));
        script_->deliver(constantBuffer(480, 0.3f));
        QVERIFY(finishes(recorder->stop()));
        QVERIFY(recorder->lastRecordingURL());
        QVERIFY2(recorder->errorMessage().value_or(QString()).startsWith(
                     "Part of the recording couldn't be saved: "),
                 qPrintable(recorder->errorMessage().value_or(QString())));
        const auto contents = readSoundFile(recorder->lastRecordingURL()->toLocalFile());
        QCOMPARE(contents->frames(), 960);
        QCOMPARE(contents->samples.front(), 0.2f);
        QCOMPARE(contents->samples.back(), 0.3f);
    }

    void aFailedWriteIsReportedAndRecordingGoesOn() {
        auto recorder = makeRecorder();
        startRecording(*recorder);
        script_->deliver(constantBuffer(480, 0.1f));
        const QString path = QDir(tempDir_->path()).filePath(recordingsOnDisk().value(0));

        // A nearly full disk, for this process only.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 4096);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        script_->deliver(constantBuffer(48000, 0.2f));
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, SIG_DFL);
        script_->deliver(constantBuffer(480, 0.3f));

        QVERIFY(finishes(recorder->stop()));
        const QString message = recorder->errorMessage().value_or(QString());
        QVERIFY2(message.startsWith("Part of the recording couldn't be saved: "),
                 qPrintable(message));
        const auto contents = readSoundFile(path);
        QVERIFY(contents);
        QVERIFY(contents->frames() >= 960 && contents->frames() < 48000 + 960);
        QCOMPARE(contents->samples.front(), 0.1f);
        QCOMPARE(contents->samples.back(), 0.3f);
    }

    void twoRecordingsGiveTwoFiles() {
        auto recorder = makeRecorder();
        startRecording(*recorder);
        script_->deliver(constantBuffer(480, 0.1f));
        QVERIFY(finishes(recorder->stop()));
        const auto first = recorder->lastRecordingURL();
        const auto firstDate = recorder->lastRecordingDate();

        QTest::qWait(20);
        startRecording(*recorder);
        QCOMPARE(recorder->lastRecordingURL(), first);
        QCOMPARE(recorder->lastRecordingDate(), firstDate);
        script_->deliver(constantBuffer(960, 0.2f));
        QVERIFY(finishes(recorder->stop()));

        QVERIFY(recorder->lastRecordingURL() && recorder->lastRecordingURL() != first);
        QVERIFY(recorder->lastRecordingDate() > firstDate);
        QCOMPARE(readSoundFile(first->toLocalFile())->frames(), 480);
        QCOMPARE(readSoundFile(recorder->lastRecordingURL()->toLocalFile())->frames(), 960);
        QCOMPARE(recordingsOnDisk().size(), 2);
    }

    void aRecorderGoneMidRecordingLeavesACompleteFile() {
        auto recorder = makeRecorder();
        startRecording(*recorder);
        script_->deliver(constantBuffer(2400, 0.4f));
        recorder.reset();
        const QStringList files = recordingsOnDisk();
        QCOMPARE(files.size(), 1);
        QCOMPARE(readSoundFile(QDir(tempDir_->path()).filePath(files.first()))->frames(), 2400);
    }
};

QTEST_GUILESS_MAIN(SystemAudioRecorderTest)
#include "SystemAudioRecorderTest.moc"
