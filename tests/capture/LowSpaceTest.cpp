#include "CaptureTestUtil.h"
#include "FutureDelivery.h"

#include <QProcess>
#include <QPromise>
#include <QSignalSpy>

using R = SystemAudioRecorder;

// Runs on a disk of its own: a 24 MB tmpfs mounted in a private mount namespace (a user
// namespace makes that possible without privileges), so the recording folder fills up for real.
class LowSpaceTest : public QObject {
    Q_OBJECT

    static constexpr const char* insideVariable = "SONABRIX_SMALL_DISK";

    // A capture platform that only delivers what the test hands it.
    struct Feed : CaptureService {
        Handlers handlers;
        ShareableContent content{{}, {{"speakers", "m", "Speakers"}}};
        QFuture<ShareableContent> queryContent() override { return readyFuture(content); }
        QFuture<CaptureResult> startCapture(const CaptureOutput&, const StreamConfiguration&,
                                            Handlers streamHandlers) override {
            handlers = std::move(streamHandlers);
            return readyFuture(CaptureResult());
        }
        QFuture<CaptureResult> stopCapture() override { return readyFuture(CaptureResult()); }
    };

private Q_SLOTS:
    void aFillingDiskWarnsThenStopsWithTheRecordingWhole() {
        const QString disk = qEnvironmentVariable(insideVariable);
        if (disk.isEmpty()) {
            QTemporaryDir mountPoint;
            QProcess inside;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(insideVariable, mountPoint.path());
            inside.setProcessEnvironment(environment);
            inside.setProcessChannelMode(QProcess::ForwardedChannels);
            const QString run = "mount -t tmpfs -o size=24m tmpfs \"$1\" && exec \"$2\" \"$3\"";
            inside.start("unshare", {"--user", "--map-root-user", "--mount", "sh", "-c", run, "sh",
                                     mountPoint.path(), QCoreApplication::applicationFilePath(),
                                     QTest::currentTestFunction()});
            QVERIFY(inside.waitForFinished(60000));
            QCOMPARE(inside.exitCode(), 0);
            return;
        }
        useDataHome(disk);
        auto* feed = new Feed;
        R recorder{std::unique_ptr<CaptureService>(feed)};
        QSignalSpy warnings(&recorder, &R::isLowOnSpaceChanged);
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        qint64 delivered = 0;
        // A second at a time, as long as the recorder takes it.
        for (int second = 0; recorder.isRecording() && second < 60; ++second) {
            feed->handlers.samples({48000, 2, std::vector<float>(96000, 0.25f)});
            delivered += 48000;
            QTest::qWait(R::tickerIntervalMs + 50);
        }
        QVERIFY(!recorder.isRecording());
        QVERIFY(!warnings.isEmpty() && warnings.first().first().toBool());
        QVERIFY(recorder.errorMessage().value_or("").contains("the disk is almost full"));
        // Stopped with room for 30 s to spare, and with every buffer up to then in the file.
        const SoundFile file(lastRecording(recorder));
        QCOMPARE(file.frames(), delivered);
        constexpr qint64 fullAt = 24 * 1024 * 1024 / 8, margin = 30 * 48000;
        QVERIFY(delivered > fullAt - margin - 2 * 48000 && delivered < fullAt - margin + 48000);
    }
};

QTEST_GUILESS_MAIN(LowSpaceTest)
#include "LowSpaceTest.moc"
