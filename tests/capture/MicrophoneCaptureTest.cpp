#include "CaptureTestUtil.h"
#include "ServerFixtures.h"

#include <QElapsedTimer>
#include <QProcess>
#include <cmath>

namespace {

// Whether a signal of `hz` fills most 100 ms windows of the file's last `seconds` at about
// `amplitude` in both channels.
bool endHolds(const SoundFile& file, double seconds, double hz, double amplitude) {
    qint64 frames = 0;
    const qint64 start = file.frames() - qint64(seconds * 48000);
    for (qint64 from = std::max<qint64>(0, start); from + 4800 <= file.frames(); from += 4800)
        if (std::abs(amplitudeOf(file, 0, hz, from, from + 4800) - amplitude) < 0.05 &&
            std::abs(amplitudeOf(file, 1, hz, from, from + 4800) - amplitude) < 0.05)
            frames += 4800;
    return start >= 0 && frames >= 0.8 * seconds * 48000;
}

QString recordingDir() {
    return RecordingsFolder::path();
}

// The output the test harness made the default, whatever it is called.
QString harnessSink() {
    static const QString sink =
        QString::fromUtf8(pactl({"get-default-sink"}).value_or("").trimmed());
    return sink;
}

qint64 framesSoFar() {
    const QStringList names = QDir(recordingDir()).entryList({"*.caf"}, QDir::Files, QDir::Time);
    return names.isEmpty() ? 0 : SoundFile(recordingDir() + '/' + names[0]).frames();
}

// What the recordings folder holds, for a failure's message: every file and its size.
QString folderNow() {
    QStringList entries;
    for (const QFileInfo& file : QDir(recordingDir()).entryInfoList(QDir::Files | QDir::Hidden))
        entries << QStringLiteral("%1 (%2 bytes)").arg(file.fileName()).arg(file.size());
    return "The recordings folder holds: " + (entries.isEmpty() ? "nothing" : entries.join(", "));
}

} // namespace

class MicrophoneCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir recordings_;
    std::unique_ptr<SystemAudioRecorder> recorder_;

    // Starts a recording with the microphone (and of `program` alone, when named) and waits for
    // the first audio in the file.
    void startRecording(const QString& program = {}) {
        recorder_ = std::make_unique<SystemAudioRecorder>();
        recorder_->setIncludesMicrophone(true);
        if (!program.isEmpty())
            recorder_->setProgram(CaptureProgram::named(program));
        QVERIFY(finishes(recorder_->start()) && recorder_->isRecording());
        QTRY_VERIFY2_WITH_TIMEOUT(framesSoFar() > 0, qPrintable(folderNow()), 10000);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
        useDataHome(recordings_.path());
    }

    void cleanup() {
        recorder_.reset();
        QDir(recordingDir()).removeRecursively();
    }

    // The microphone's 1 kHz at 0.5 joins the output's 440 Hz at 0.5 in both channels.
    void recordsTheMicrophoneWithTheOutputAtTheirLevels() {
        Microphone microphone;
        QVERIFY(microphone.sink.id && microphone.isDefault);
        Player player(tone(30, 440, 0.5f));
        startRecording();
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->microphoneLevel() > 0.45, 3000);
        // An idle null sink's monitor hears nothing for up to 2 s after playback begins.
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() > 0.45, 5000);
        QTest::qWait(2000);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        const SoundFile file(lastRecording(*recorder_));
        QVERIFY(isPrivateRecording(lastRecording(*recorder_), file));
        QVERIFY(endHolds(file, 1.8, 440, 0.5) && endHolds(file, 1.8, 1000, 0.5));
    }

    void aClickHeardByBothLandsTogether_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("whole output") << QString();
        QTest::newRow("one program") << QStringLiteral("Sonabrix Clicks");
    }

    // The microphone hears the output's left channel through a remapping source, so a click
    // reaches both streams at the same moment. The output plays it on the left only: the right
    // channel of the mix holds the microphone's click alone, left minus right the output's.
    // Recording the clicking program alone puts its streams on the same timeline.
    void aClickHeardByBothLandsTogether() {
        QFETCH(QString, program);
        Module microphone({"module-remap-source", "source_name=sonabrix_ears",
                           "master=" + harnessSink() + ".monitor", "master_channel_map=front-left",
                           "channel_map=mono"});
        QVERIFY(microphone.id);
        QVERIFY(pactl({"set-default-source", "sonabrix_ears"}));
        std::vector<float> clicks(48000 * 2 * 8, 0.0f);
        for (int second = 4; second <= 6; ++second)
            for (int i = 0; i < 48; ++i)
                clicks[size_t(2 * (second * 48000 + i))] = 0.5f;
        QElapsedTimer sincePlaying;
        Player player(clicks, {}, program);
        sincePlaying.start();
        startRecording(program);
        const qint64 startedAfterMs = sincePlaying.elapsed();
        // Until the last click (at 6 s) has played, however long the start took.
        QTest::qWait(int(std::max<qint64>(500, 7000 - startedAfterMs)));
        QVERIFY(finishes(recorder_->stop()));
        const SoundFile file(lastRecording(*recorder_));
        int found = 0;
        // The microphone's click against the output's, the farthest apart of them.
        double worstMs = 0;
        // The loudest of each in the whole file, for a failure's message: which one went missing.
        std::pair<double, qint64> loudestOutput{0, 0}, loudestVoice{0, 0};
        const auto outputAt = [&file](qint64 i) {
            return std::abs(file.samples[size_t(2 * i)] - file.samples[size_t(2 * i + 1)]);
        };
        const auto voiceAt = [&file](qint64 i) {
            return std::abs(file.samples[size_t(2 * i + 1)]);
        };
        for (qint64 i = 0; i < file.frames(); ++i) {
            loudestOutput = std::max(loudestOutput, {outputAt(i), -i});
            loudestVoice = std::max(loudestVoice, {voiceAt(i), -i});
        }
        // Around each of the output's clicks, 0.25 s either side, the loudest of each: windows
        // laid out in advance could part a pair whose clicks fall either side of a border.
        for (qint64 i = 0; i < file.frames(); ++i) {
            if (outputAt(i) < 0.4)
                continue;
            const qint64 to = std::min(file.frames(), i + 12000);
            std::pair<double, qint64> output{0, 0}, voice{0, 0};
            for (qint64 j = std::max<qint64>(0, i - 12000); j < to; ++j) {
                output = std::max(output, {outputAt(j), -j});
                voice = std::max(voice, {voiceAt(j), -j});
            }
            i = to;
            if (voice.first < 0.4)
                continue;
            ++found;
            // Both are negated frame numbers: positive when the microphone's click comes later.
            const double lateMs = double(output.second - voice.second) / 48;
            if (std::abs(lateMs) >= std::abs(worstMs))
                worstMs = lateMs;
        }
        qInfo("Click alignment: %d clicks, worst %.2f ms apart (the microphone later when "
              "positive); the first audio came %lld ms "
              "after playing began, the file holds %.2f s; loudest output %.2f at %.3f s, "
              "loudest microphone %.2f at %.3f s",
              found, worstMs, startedAfterMs, double(file.frames()) / 48000, loudestOutput.first,
              double(-loudestOutput.second) / 48000, loudestVoice.first,
              double(-loudestVoice.second) / 48000);
        QVERIFY(found >= 2);
        QVERIFY2(std::abs(worstMs) < 20, qPrintable(QString::number(worstMs)));
    }

    // Unplugged mid-recording: the recording goes on with the output, and says so.
    void recordingGoesOnWhenTheMicrophoneGoes() {
        Microphone microphone;
        QVERIFY(microphone.sink.id && microphone.isDefault);
        Player player(tone(30, 440, 0.5f));
        startRecording();
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() > 0.45, 5000);
        QTest::qWait(1000);
        microphone.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->microphoneProblem().has_value(), 3000);
        QVERIFY(recorder_->isRecording());
        QCOMPARE(recorder_->microphoneLevel(), 0.0);
        const qint64 framesAtLoss = framesSoFar();
        QTest::qWait(1500);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        const SoundFile file(lastRecording(*recorder_));
        QVERIFY(file.frames() > framesAtLoss + 48000);
        QVERIFY(endHolds(file, 1.2, 440, 0.5));
        const double microphoneBefore = amplitudeOf(file, 0, 1000, 24000, 28800);
        const double microphoneAfter =
            amplitudeOf(file, 0, 1000, file.frames() - 4800, file.frames());
        QVERIFY(microphoneBefore > 0.45 && microphoneAfter < 0.01);
    }

    // Switching output mid-call: the recording follows it and the microphone stays in.
    void followsTheDefaultOutputWithTheMicrophoneIn() {
        Microphone microphone;
        QVERIFY(microphone.sink.id && microphone.isDefault);
        Module first({"module-null-sink", "sink_name=sonabrix_first", "rate=48000"});
        Module second({"module-null-sink", "sink_name=sonabrix_second", "rate=48000",
                       "sink_properties=device.description=Second"});
        QVERIFY(first.id && second.id && pactl({"set-default-sink", "sonabrix_first"}));
        const auto restore = qScopeGuard([] { pactl({"set-default-sink", harnessSink()}); });
        Player low(tone(30, 440, 0.5f), "sonabrix_first");
        Player high(tone(30, 660, 0.5f), "sonabrix_second");
        startRecording();
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() > 0.45, 5000);
        QTest::qWait(1500);
        QVERIFY(pactl({"set-default-sink", "sonabrix_second"}));
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->outputName() == "Second", 2000);
        QTest::qWait(1500);
        QVERIFY(finishes(recorder_->stop()));
        QCOMPARE(recorder_->errorMessage(), std::nullopt);
        const SoundFile file(lastRecording(*recorder_));
        // Half a second before the second output comes in, the first is there. (Found in the
        // file: what is on disk at the switch lags it by as much as the mixer waits for the
        // microphone.)
        qint64 switched = 0;
        while (switched + 4800 <= file.frames() &&
               amplitudeOf(file, 0, 660, switched, switched + 4800) < 0.45)
            switched += 4800;
        const qint64 before = switched - 24000;
        QVERIFY2(before > 0 && amplitudeOf(file, 0, 440, before, before + 4800) > 0.45,
                 qPrintable(QString("the second output from %1 s").arg(double(switched) / 48000)));
        QVERIFY(amplitudeOf(file, 0, 1000, before, before + 4800) > 0.45);
        QVERIFY(endHolds(file, 1.0, 660, 0.5) && endHolds(file, 1.0, 1000, 0.5));
    }

    // The server's default input is the output's own monitor when there is no microphone.
    void withoutAMicrophoneTheSwitchSaysWhyAndTheOutputIsRecorded() {
        QVERIFY(pactl({"set-default-source", harnessSink() + ".monitor"}));
        SystemAudioRecorder recorder;
        recorder.checkServer();
        QTRY_COMPARE(recorder.noMicrophoneReason(), std::optional<QString>("No microphone found."));
        Player player(tone(30, 440, 0.5f));
        startRecording();
        QCOMPARE(recorder_->microphoneProblem(), std::optional<QString>("No microphone found."));
        QTRY_VERIFY_WITH_TIMEOUT(recorder_->level() > 0.45, 5000);
        QTest::qWait(1000);
        QVERIFY(finishes(recorder_->stop()));
        QVERIFY(endHolds(SoundFile(lastRecording(*recorder_)), 0.8, 440, 0.5));
    }
};

QTEST_GUILESS_MAIN(MicrophoneCaptureTest)
#include "MicrophoneCaptureTest.moc"
