#include "ContentView.h"
#include "IdleStageView.h"
#include "RecordingStageView.h"
#include "SaveFlow.h"
#include "SystemAudioRecorder.h"
#include "TestSupport.h"
#include "TrimView.h"

#include <QElapsedTimer>

// The whole road for real: the app's own recorder on the private sound server, sound played
// into its null sink, the real buttons pressed.
class SoundFlowTest : public QObject {
    Q_OBJECT

    // Half a minute of a tone, for a player that plays until it is stopped; empty without one.
    static QString longTone() {
        const QString sound = testFolder().filePath("long-tone.wav");
        if (!QFile::exists(sound) &&
            !run("ffmpeg",
                 {"-v", "error", "-f", "lavfi", "-i",
                  "sine=frequency=330:sample_rate=48000:duration=30", "-ac", "2", "-y", sound}))
            return {};
        return sound;
    }

private slots:
    void initTestCase() {
        QVERIFY(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"));
        QVERIFY(testFolder().isValid());
    }

    void recordsAutoTrimsToTheToneAndSavesIt() {
        const QString sound = testFolder().filePath("silence-tone-silence.wav");
        // 1 s of silence, 2 s of a 440 Hz tone, 1 s of silence.
        QVERIFY(
            run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                           "aevalsrc=0.5*sin(2*PI*440*t)*between(t\\,1\\,3):s=48000:c=stereo:d=4",
                           "-y", sound}));
        ContentView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        click(&view, "Record System Audio");
        QTRY_COMPARE_WITH_TIMEOUT(view.stageKind(), Stage::Kind::recording, 10000);
        QElapsedTimer recording;
        recording.start();
        QVERIFY(run("paplay", {sound}));
        click(&view, "Stop Recording");
        const double stoppedAfterSeconds = recording.elapsed() / 1000.0;
        QTRY_COMPARE_WITH_TIMEOUT(view.stageKind(), Stage::Kind::recorded, 15000);
        QCOMPARE(view.recorder().errorMessage().value_or(""), QString());
        // Everything from start to stop is in the file, and all of it is selected.
        const TimeRange whole = view.trimRange();
        QVERIFY2(whole.lower == 0.0 && whole.upper >= 4.0 &&
                     whole.upper <= stoppedAfterSeconds + 0.5,
                 qPrintable(QString("%1 s of %2 s").arg(whole.upper).arg(stoppedAfterSeconds)));
        // Space plays and stops the selection as soon as the editor is up.
        auto* trimView = view.findChild<TrimView*>();
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused == trimView || trimView->isAncestorOf(focused));
        QTest::keyClick(focused, Qt::Key_Space);
        QTRY_VERIFY(trimView->player().isPlaying());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_VERIFY(!trimView->player().isPlaying());

        click(&view, "Auto-Trim Silence");
        QTRY_VERIFY(view.trimRange() != whole);
        // The tone and 0.15 s either side, within the waveform's bin resolution; the silence
        // around it cut but for the padding and the moment the stream takes to start.
        const TimeRange trimmed = view.trimRange();
        const double binSeconds = whole.upper / ContentView::waveformPeakCount;
        QVERIFY2(
            std::abs(trimmed.length() - 2.3) <= 0.02 + 2 * binSeconds && trimmed.lower >= 0.7 &&
                trimmed.upper <= whole.upper - 0.7,
            qPrintable(
                QString("%1 … %2 of %3").arg(trimmed.lower).arg(trimmed.upper).arg(whole.upper)));

        const QString destination = testFolder().filePath("tone.m4a");
        view.saveFlow().setDestinationProvider(
            [&](const QString&) { return std::optional(QUrl::fromLocalFile(destination)); });
        click(&view, "Save Trimmed Audio…");
        QVERIFY(view.saveFlow().isExporting());
        QTRY_VERIFY_WITH_TIMEOUT(!view.saveFlow().isExporting(), 30000);
        QCOMPARE(view.saveFlow().error().value_or(""), QString());
        const auto [codec, seconds] = probe(destination);
        QCOMPARE(codec, QString("aac"));
        QVERIFY2(std::abs(seconds - trimmed.length()) < 0.05,
                 qPrintable(QString("saved %1 s of %2 s").arg(seconds).arg(trimmed.length())));
    }

    // A program playing on the server is offered on the start screen by the name it gives.
    void aPlayingProgramIsOfferedByName() {
        const QString sound = longTone();
        QVERIFY(!sound.isEmpty());
        ContentView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* start = view.findChild<IdleStageView*>();
        QVERIFY(start);
        const auto offered = [&] {
            QStringList texts;
            for (int index = 0; index < start->programChoice()->count(); ++index)
                texts << start->programChoice()->itemText(index);
            return texts;
        };
        QVERIFY(!offered().contains("SonabrixTone"));
        QProcess player;
        player.start("paplay", {"--property=application.name=SonabrixTone", sound});
        QVERIFY(player.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(offered().contains("SonabrixTone"),
                                 3 * IdleStageView::serverCheckIntervalMs);
        player.kill();
        player.waitForFinished();
        // Gone quiet, it stays choosable.
        QTRY_VERIFY_WITH_TIMEOUT(offered().contains("SonabrixTone (not playing)"),
                                 3 * IdleStageView::serverCheckIntervalMs);
    }

    // A program chosen before it plays: the recording waits for it, says so, and stops
    // saying so once the program plays.
    void aChosenProgramIsWaitedFor() {
        const QString sound = longTone();
        QVERIFY(!sound.isEmpty());
        ContentView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // As the server will list the player: paplay runs as the program it links to, pacat.
        const QString binary =
            QFileInfo(QFileInfo(QStandardPaths::findExecutable("paplay")).canonicalFilePath())
                .fileName();
        view.flow().chooseProgram(CaptureProgram{"SonabrixLate", binary, ""});
        click(&view, "Record System Audio");
        QTRY_COMPARE_WITH_TIMEOUT(view.stageKind(), Stage::Kind::recording, 10000);
        auto* screen = view.findChild<RecordingStageView*>();
        QCOMPARE(screen->outputText(), QString("Recording “SonabrixLate”"));
        QTRY_COMPARE_WITH_TIMEOUT(screen->statusText(), QString("Waiting for SonabrixLate…"), 5000);
        QProcess player;
        player.start("paplay", {"--property=application.name=SonabrixLate", sound});
        QVERIFY(player.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(screen->statusText(), QString(), 5000);
        QVERIFY(!view.recorder().isWaitingForProgram());
        player.kill();
        player.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(screen->statusText(), QString("Waiting for SonabrixLate…"), 5000);
        click(&view, "Stop Recording");
        QTRY_COMPARE_WITH_TIMEOUT(view.stageKind(), Stage::Kind::recorded, 15000);
        view.flow().chooseProgram(std::nullopt);
    }
};

QTEST_MAIN(SoundFlowTest)
#include "SoundFlowTest.moc"
