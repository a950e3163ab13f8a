#include "CaptureTestUtil.h"
#include "ServerFixtures.h"
#include "SoundTestSupport.h"
#include "TimedTone.h"

#include <QElapsedTimer>

namespace {

// Where the left channel holds `hz` (the tone plays there alone).
std::vector<ToneWindow> leftTone(const SoundFile& file, double hz) {
    std::vector<float> left(size_t(std::max<qint64>(0, file.frames())));
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = file.samples[2 * i];
    return toneWindows(left, 48000, hz);
}

// Plays `hz` for half a second now; when the server began to play it.
qint64 playTone(double hz) {
    TimedTone tone(0.5, hz);
    if (!QTest::qWaitFor([&tone] { return tone.startedAtUs() > 0; }, 5000))
        return -1;
    QTest::qWait(700);
    return tone.startedAtUs();
}

QFuture<SystemAudioRecorder::ReplaySave>
saving(SystemAudioRecorder& recorder, std::optional<double> lastSeconds, qint64& pressedUs) {
    pressedUs = qint64(pa_rtclock_now());
    return recorder.saveReplay(lastSeconds);
}

} // namespace

class ReplayCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

    // The saved replay, checked to be a private recording that ends as it was asked for.
    static SoundFile savedReplay(const QFuture<SystemAudioRecorder::ReplaySave>& save) {
        if (!QTest::qWaitFor([&save] { return save.isFinished(); }, 10000))
            return SoundFile(QString());
        const SystemAudioRecorder::ReplaySave result = save.result();
        if (result.errorMessage || !result.url)
            qWarning() << "Replay not saved:" << result.errorMessage.value_or("");
        SoundFile file(result.url ? result.url->toLocalFile() : QString());
        if (result.url && !isPrivateRecording(result.url->toLocalFile(), file))
            return SoundFile(QString());
        return file;
    }

    // Where a tone played at `playedUs` is in a replay that ends at `pressedUs`, against where
    // it was heard; within 50 ms.
    static void verifyToneAt(const SoundFile& file, double hz, qint64 playedUs, qint64 pressedUs) {
        const std::vector<ToneWindow> heard = leftTone(file, hz);
        QVERIFY2(heard.size() >= 20,
                 qPrintable(QStringLiteral("%1 Hz in %2 windows").arg(hz).arg(heard.size())));
        const double fileSeconds = double(file.frames()) / 48000;
        const double expected = fileSeconds - double(pressedUs - playedUs) / 1e6;
        // The first window that holds the tone whole starts up to one window (20 ms) later.
        const double error = heard.front().at - expected;
        QVERIFY2(error > -0.05 && error < 0.05 + 0.02,
                 qPrintable(QStringLiteral("%1 Hz heard at %2 s, played at %3 s of %4 s")
                                .arg(hz)
                                .arg(heard.front().at)
                                .arg(expected)
                                .arg(fileSeconds)));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
        useDataHome(dataHome_.path());
    }

    void cleanup() { QDir(RecordingsFolder::path()).removeRecursively(); }

    // The replay keeps what played before anyone pressed a key, a recording made meanwhile
    // shares its capture, and a save ends with what played as it was asked for: tones played
    // at known moments are found there, before, during and after the recording.
    void tonesInASavedReplayLandWhereTheyPlayed() {
        // The harness's output idle for long enough that it no longer renders ahead.
        QTest::qWait(2500);
        SystemAudioRecorder recorder;
        recorder.setReplayMinutes(1);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.isReplayListening(), 5000);
        QTest::qWait(500);
        const qint64 before = playTone(440);
        QVERIFY(before > 0);

        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        const qint64 during = playTone(660);
        QVERIFY(during > 0);
        QVERIFY(finishes(recorder.stop()));
        QVERIFY(recorder.isReplayListening());
        const SoundFile recording(lastRecording(recorder));
        QVERIFY(leftTone(recording, 440).empty());
        QVERIFY(leftTone(recording, 660).size() >= 20);

        QTest::qWait(1000);
        const qint64 after = playTone(880);
        QVERIFY(after > 0);
        qint64 pressedUs = 0;
        const SoundFile all = savedReplay(saving(recorder, std::nullopt, pressedUs));
        QVERIFY(all.frames() > 0);
        verifyToneAt(all, 440, before, pressedUs);
        verifyToneAt(all, 660, during, pressedUs);
        verifyToneAt(all, 880, after, pressedUs);

        // The last second: the last tone alone, at its place.
        const SoundFile last = savedReplay(saving(recorder, 1.0, pressedUs));
        QCOMPARE(last.frames(), qint64(48000));
        QVERIFY(leftTone(last, 660).empty());
        verifyToneAt(last, 880, after, pressedUs);
    }

    // What the replay keeps stays in memory: with nothing saved, switching it off or ending
    // the app leaves no file behind.
    void aReplayNeverSavedLeavesNothingOnDisk() {
        {
            SystemAudioRecorder recorder;
            recorder.setReplayMinutes(1);
            QTRY_VERIFY_WITH_TIMEOUT(recorder.isReplayListening(), 5000);
            QVERIFY(playTone(440) > 0);
            QVERIFY(recorder.replayKeptSeconds() > 0.5);
            recorder.setReplayMinutes(0);
            QCOMPARE(recorder.replayKeptSeconds(), 0.0);
            recorder.setReplayMinutes(1);
            QTRY_VERIFY_WITH_TIMEOUT(recorder.isReplayListening(), 5000);
            QVERIFY(playTone(440) > 0);
        }
        const QDir folder(RecordingsFolder::path());
        QVERIFY2(!folder.exists() || folder.isEmpty(),
                 qPrintable(folder.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(", ")));
    }
};

QTEST_GUILESS_MAIN(ReplayCaptureTest)
#include "ReplayCaptureTest.moc"
