#include "CaptureTestUtil.h"
#include "ServerFixtures.h"
#include "SoundTestSupport.h"
#include "TimedTone.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

namespace {

// Where the output's part of a recording holds `hz`: left minus right, in which a microphone
// (the same in both channels) cancels out.
std::vector<ToneWindow> outputTone(const SoundFile& file, double hz) {
    std::vector<float> output(size_t(std::max<qint64>(0, file.frames())));
    for (size_t i = 0; i < output.size(); ++i)
        output[i] = file.samples[2 * i] - file.samples[2 * i + 1];
    return toneWindows(output, 48000, hz);
}

} // namespace

class TimelineCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir recordings_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
        useDataHome(recordings_.path());
    }

    void cleanup() { QDir(RecordingsFolder::path()).removeRecursively(); }

    void tonesLandWhereTheClockSaysTheyPlayed_data() {
        QTest::addColumn<bool>("withMicrophone");
        QTest::newRow("output alone") << false;
        QTest::newRow("with the microphone") << true;
    }

    // Nothing plays as the recording starts, then two tones at known moments: each is found at
    // its moment, the file is as long as the recording ran, and the microphone is heard all
    // along (right channel) while it delivers.
    void tonesLandWhereTheClockSaysTheyPlayed() {
        QFETCH(bool, withMicrophone);
        std::optional<Microphone> microphone;
        if (withMicrophone) {
            microphone.emplace();
            QVERIFY(microphone->sink.id && microphone->isDefault);
        }
        // The harness's output idle for long enough that it no longer renders ahead.
        QTest::qWait(2500);
        SystemAudioRecorder recorder;
        recorder.setIncludesMicrophone(withMicrophone);
        const auto askedUs = qint64(pa_rtclock_now());
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        const auto startedUs = qint64(pa_rtclock_now());
        QElapsedTimer recording;
        recording.start();

        std::vector<qint64> playedUs;
        for (const auto& [at, hz] : {std::pair{1.5, 440.0}, std::pair{3.5, 660.0}}) {
            QTest::qWait(int(at * 1000 - double(recording.elapsed())));
            TimedTone tone(0.5, hz);
            QTRY_VERIFY_WITH_TIMEOUT(tone.startedAtUs() > 0, 5000);
            playedUs.push_back(tone.startedAtUs());
            QTest::qWait(700);
        }
        QTest::qWait(int(5000 - recording.elapsed()));
        const QFuture<void> stopping = recorder.stop();
        const double ranSeconds = double(recording.elapsed()) / 1000.0;
        QVERIFY(finishes(stopping));

        const SoundFile file(lastRecording(recorder));
        QVERIFY(file.frames() > 0);
        const double fileSeconds = double(file.frames()) / 48000;
        QVERIFY2(std::abs(fileSeconds - ranSeconds) < 0.15,
                 qPrintable(QStringLiteral("%1 s in the file, %2 s recorded")
                                .arg(fileSeconds)
                                .arg(ranSeconds)));
        const double hz[] = {440, 660};
        for (size_t i = 0; i < playedUs.size(); ++i) {
            const std::vector<ToneWindow> heard = outputTone(file, hz[i]);
            QVERIFY2(
                heard.size() >= 20,
                qPrintable(QStringLiteral("%1 Hz in %2 windows").arg(hz[i]).arg(heard.size())));
            // Between the start's request and its answer, the recording's zero.
            const double earliest = double(playedUs[i] - startedUs) / 1e6 - 0.15;
            const double latest = double(playedUs[i] - askedUs) / 1e6 + 0.15;
            QVERIFY2(heard.front().at >= earliest && heard.front().at <= latest,
                     qPrintable(QStringLiteral("%1 Hz heard at %2 s, played at %3..%4 s")
                                    .arg(hz[i])
                                    .arg(heard.front().at)
                                    .arg(earliest + 0.15)
                                    .arg(latest - 0.15)));
        }
        if (withMicrophone) {
            std::vector<float> right(size_t(file.frames()));
            for (size_t i = 0; i < right.size(); ++i)
                right[i] = file.samples[2 * i + 1];
            // From the microphone's first sound on (it starts a moment after the output).
            const std::vector<ToneWindow> voice = toneWindows(right, 48000, 1000);
            QVERIFY(!voice.empty());
            const double heardFor = double(voice.size()) / 50;
            const double deliveredFor = fileSeconds - voice.front().at;
            QVERIFY2(heardFor > 0.95 * deliveredFor - 0.1,
                     qPrintable(QStringLiteral("the microphone in %1 s of %2 s")
                                    .arg(heardFor)
                                    .arg(deliveredFor)));
        }
    }

    // A recorder kept from running for a while (a busy machine, a stalled thread) gets what the
    // server held for it all at once when it runs again: that is late audio, not a gap. The tone
    // goes on unbroken and the file is as long as the recording ran.
    void aRecorderKeptWaitingLosesNoTimeAndAddsNone() {
        // Played by a process that reads the tone itself (this one is about to be stopped), with
        // room enough that a busy machine doesn't starve it.
        const QString toneFile = recordings_.filePath("tone.wav");
        QVERIFY(writeToneFile(toneFile, std::vector<double>(10, 440.0), 48000, 2,
                              SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        QProcess player;
        player.start("paplay", {"--latency-msec=500", toneFile});
        QVERIFY(player.waitForStarted());
        QTest::qWait(2500);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QElapsedTimer recording;
        recording.start();
        for (const auto& [at, seconds] : {std::pair{1000, "0.4"}, std::pair{2500, "0.7"}}) {
            QTest::qWait(int(at - recording.elapsed()));
            QVERIFY(QProcess::startDetached(
                "sh", {"-c", QStringLiteral("kill -STOP %1; sleep %2; kill -CONT %1")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(seconds)}));
        }
        QTest::qWait(int(4500 - recording.elapsed()));
        const QFuture<void> stopping = recorder.stop();
        const double ranSeconds = double(recording.elapsed()) / 1000.0;
        QVERIFY(finishes(stopping));

        player.kill();
        player.waitForFinished();

        const SoundFile file(lastRecording(recorder));
        const double fileSeconds = double(file.frames()) / 48000;
        QVERIFY2(std::abs(fileSeconds - ranSeconds) < 0.15,
                 qPrintable(QStringLiteral("%1 s in the file, %2 s recorded")
                                .arg(fileSeconds)
                                .arg(ranSeconds)));
        std::vector<float> left(size_t(file.frames()));
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = file.samples[2 * i];
        const std::vector<ToneWindow> heard = toneWindows(left, 48000, 440);
        QVERIFY(!heard.empty());
        double longestGap = 0, gapAt = 0;
        for (size_t i = 1; i < heard.size(); ++i) {
            const double gap = heard[i].at - heard[i - 1].at - 0.02;
            if (gap > longestGap)
                longestGap = gap, gapAt = heard[i - 1].at;
        }
        QVERIFY2(longestGap < 0.1,
                 qPrintable(
                     QStringLiteral("the tone stops for %1 s at %2 s").arg(longestGap).arg(gapAt)));
    }
};

QTEST_GUILESS_MAIN(TimelineCaptureTest)
#include "TimelineCaptureTest.moc"
