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

// The amplitude of `hz` in one channel over [from, to) frames, through a Hann window: without it
// a tone 340 Hz away (the chosen program's) leaks into the estimate at 40 dB down all by itself.
double windowedAmplitude(const SoundFile& file, int channel, double hz, qint64 from, qint64 to) {
    double re = 0, im = 0, weights = 0;
    for (qint64 i = from; i < to; ++i) {
        const double weight = 0.5 - 0.5 * std::cos(2 * M_PI * double(i - from) / double(to - from));
        const double v = weight * file.samples[size_t(2 * i + channel)];
        re += v * std::cos(2 * M_PI * hz * double(i) / 48000);
        im += v * std::sin(2 * M_PI * hz * double(i) / 48000);
        weights += weight;
    }
    return 2 * std::hypot(re, im) / weights;
}

// The strongest of `hz` in either channel of the file over any half second of it, and when. As
// long as that, the broadband edge where the chosen program's tone stops short stays well below
// 40 dB down, while another program's tone heard for a moment of it would not.
std::pair<double, double> loudestOf(const SoundFile& file, double hz) {
    std::pair<double, double> loudest{0, 0};
    for (qint64 from = 0; from + 24000 <= file.frames(); from += 12000)
        for (int channel : {0, 1})
            loudest = std::max(loudest, {windowedAmplitude(file, channel, hz, from, from + 24000),
                                         double(from) / 48000});
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
        // The last 1.5 s before the stop's last moments, whose edge the timeline tests look at.
        for (int channel : {0, 1}) {
            const double heard = amplitudeOf(file, channel, 440, end - 84000, end - 12000);
            QVERIFY2(std::abs(heard - 0.5) < 0.05, qPrintable(QString::number(heard)));
        }
        const auto [otherLevel, otherAt] = loudestOf(file, 1000);
        QVERIFY2(otherLevel < inaudible,
                 qPrintable(QStringLiteral("%1 at %2 s").arg(otherLevel).arg(otherAt)));
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
        const auto [otherLevel, otherAt] = loudestOf(file, 1000);
        QVERIFY2(otherLevel < inaudible,
                 qPrintable(QStringLiteral("%1 at %2 s").arg(otherLevel).arg(otherAt)));
    }

    // The program's stream is moved to another output mid-recording (as a user picks headphones
    // for it): the recording goes on hearing it there.
    void followsTheProgramToAnotherOutput() {
        Module headphones(
            {"module-null-sink", "sink_name=sonabrix_headphones", "rate=48000", "channels=2"});
        QVERIFY(headphones.id);
        Player player(tone(30, 440, 0.5f), {}, "Sonabrix Tone A");
        SystemAudioRecorder recorder;
        recorder.setProgram(CaptureProgram::named("Sonabrix Tone A"));
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(recorder.level() > 0.45, 5000);
        const QByteArray streams = pactl({"list", "short", "sink-inputs"}).value_or("");
        QVERIFY(!streams.isEmpty());
        QVERIFY(pactl({"move-sink-input", streams.split('\t').first(), "sonabrix_headphones"}));
        // An idle output renders ahead for a moment before its first sound.
        QTest::qWait(4000);
        QVERIFY(finishes(recorder.stop()));
        QCOMPARE(recorder.errorMessage(), std::nullopt);
        const SoundFile file(lastRecording(recorder));
        const qint64 end = file.frames();
        QVERIFY(end > 96000);
        const double heard = amplitudeOf(file, 0, 440, end - 48000, end);
        QVERIFY2(std::abs(heard - 0.5) < 0.05, qPrintable(QString::number(heard)));
    }
};

QTEST_GUILESS_MAIN(ProgramCaptureTest)
#include "ProgramCaptureTest.moc"
