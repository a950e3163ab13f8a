#include "CaptureTestUtil.h"
#include "ServerFixtures.h"
#include "SoundTestSupport.h"
#include "TimedTone.h"

#include <QElapsedTimer>
#include <QSignalSpy>

namespace {

// 40 dB below a tone at 0.5.
constexpr double inaudible = 0.005;

std::optional<CaptureProgram> listed(const SystemAudioRecorder& recorder, const QString& name) {
    for (const CaptureProgram& program : recorder.playingPrograms())
        if (program.name == name)
            return program;
    return std::nullopt;
}

// The strongest of `hz` in either channel of the file, over any 0.1 s of it.
double loudestOf(const SoundFile& file, double hz) {
    double loudest = 0;
    for (qint64 from = 0; from + 4800 <= file.frames(); from += 4800)
        for (int channel : {0, 1})
            loudest = std::max(loudest, amplitudeOf(file, channel, hz, from, from + 4800));
    return loudest;
}

} // namespace

class ProgramCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir recordings_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
        useDataHome(recordings_.path());
    }

    void cleanup() { QDir(RecordingsFolder::path()).removeRecursively(); }

    // Two programs play at once: both are listed, and the one picked is in the file alone.
    void recordsTheChosenProgramAlone() {
        Player chosen(tone(30, 440, 0.5f), {}, "Sonabrix Tone A");
        Player other(tone(30, 1000, 0.5f), {}, "Sonabrix Tone B");
        SystemAudioRecorder recorder;
        recorder.checkServer();
        QTRY_VERIFY_WITH_TIMEOUT(listed(recorder, "Sonabrix Tone B"), 3000);
        const std::optional<CaptureProgram> program = listed(recorder, "Sonabrix Tone A");
        QVERIFY(program);
        QCOMPARE(program->binary, QStringLiteral("pacat"));
        recorder.setProgram(program);
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(recorder.level() > 0.45, 5000);
        QVERIFY(!recorder.isWaitingForProgram());
        QTest::qWait(2000);
        QVERIFY(finishes(recorder.stop()));
        QCOMPARE(recorder.errorMessage(), std::nullopt);

        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file));
        const qint64 end = file.frames();
        QVERIFY(end > 96000);
        for (int channel : {0, 1})
            QVERIFY(std::abs(amplitudeOf(file, channel, 440, end - 72000, end) - 0.5) < 0.05);
        const double otherLevel = loudestOf(file, 1000);
        QVERIFY2(otherLevel < inaudible, qPrintable(QString::number(otherLevel)));
    }

    // Nothing of the program plays at the start; it plays twice, each time through a new stream
    // that it ends again, while another program plays all along. Both of its sounds are in one
    // file at the moments they played, the other program never (the recording is never carried
    // over to the whole output when the program's stream ends), the file is as long as the
    // recording ran, and the recorder says when it waits for the program.
    void followsTheProgramThroughItsRestartsAndNothingElse() {
        Player other(tone(30, 1000, 0.5f), {}, "Sonabrix Tone B");
        SystemAudioRecorder recorder;
        // As the command line names it: either its name or its binary, in any case.
        recorder.setProgram(CaptureProgram::named("sonabrix tone a"));
        QSignalSpy waiting(&recorder, &SystemAudioRecorder::isWaitingForProgramChanged);
        const auto askedUs = qint64(pa_rtclock_now());
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        const auto startedUs = qint64(pa_rtclock_now());
        QElapsedTimer recording;
        recording.start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.isWaitingForProgram(), 2000);

        std::vector<qint64> playedUs;
        for (const auto& [at, hz] : {std::pair{1.5, 440.0}, std::pair{3.5, 660.0}}) {
            QTest::qWait(int(at * 1000 - double(recording.elapsed())));
            {
                TimedTone tone(0.5, hz, "Sonabrix Tone A");
                QTRY_VERIFY_WITH_TIMEOUT(tone.startedAtUs() > 0, 5000);
                playedUs.push_back(tone.startedAtUs());
                QTRY_VERIFY_WITH_TIMEOUT(!recorder.isWaitingForProgram(), 2000);
                QTest::qWait(700);
            }
            QTRY_VERIFY_WITH_TIMEOUT(recorder.isWaitingForProgram(), 2000);
        }
        QTest::qWait(int(5500 - recording.elapsed()));
        const QFuture<void> stopping = recorder.stop();
        const double ranSeconds = double(recording.elapsed()) / 1000.0;
        QVERIFY(finishes(stopping));
        QCOMPARE(recorder.errorMessage(), std::nullopt);
        QVERIFY(!recorder.isWaitingForProgram());
        QCOMPARE(waiting.size(), 6); // waits, plays, waits, plays, waits, and no more at the end

        const SoundFile file(lastRecording(recorder));
        const double fileSeconds = double(file.frames()) / 48000;
        QVERIFY2(std::abs(fileSeconds - ranSeconds) < 0.15,
                 qPrintable(QStringLiteral("%1 s in the file, %2 s recorded")
                                .arg(fileSeconds)
                                .arg(ranSeconds)));
        std::vector<float> left(size_t(file.frames()));
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = file.samples[2 * i];
        const double hz[] = {440, 660};
        for (size_t i = 0; i < playedUs.size(); ++i) {
            const std::vector<ToneWindow> heard = toneWindows(left, 48000, hz[i]);
            QVERIFY2(
                heard.size() >= 20,
                qPrintable(QStringLiteral("%1 Hz in %2 windows").arg(hz[i]).arg(heard.size())));
            const double earliest = double(playedUs[i] - startedUs) / 1e6 - 0.15;
            const double latest = double(playedUs[i] - askedUs) / 1e6 + 0.15;
            QVERIFY2(heard.front().at >= earliest && heard.front().at <= latest,
                     qPrintable(QStringLiteral("%1 Hz heard at %2 s, played at %3..%4 s")
                                    .arg(hz[i])
                                    .arg(heard.front().at)
                                    .arg(earliest + 0.15)
                                    .arg(latest - 0.15)));
        }
        const double otherLevel = loudestOf(file, 1000);
        QVERIFY2(otherLevel < inaudible, qPrintable(QString::number(otherLevel)));
    }
};

QTEST_GUILESS_MAIN(ProgramCaptureTest)
#include "ProgramCaptureTest.moc"
