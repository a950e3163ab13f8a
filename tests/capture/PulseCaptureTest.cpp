#include "CaptureTestUtil.h"
#include "PulseCaptureService.h"
#include "SavedPeaksComparison.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <cmath>
#include <csignal>
#include <mutex>
#include <set>

using R = SystemAudioRecorder;

namespace {

constexpr double toneHz = 440, toneAmplitude = 0.5;

std::optional<QByteArray> pactl(const QStringList& arguments) {
    QProcess process;
    process.start("pactl", arguments);
    const bool ok = process.waitForFinished(5000) && process.exitCode() == 0;
    return ok ? std::optional(process.readAllStandardOutput()) : std::nullopt;
}

int streamsPlaying() {
    return int(pactl({"list", "short", "sink-inputs"}).value_or("").count('\n'));
}

bool playing() {
    return streamsPlaying() > 0;
}

// Plays a tone into the default output or the given one, from a file, so the player never
// waits on this test's event loop; a short latency keeps the null sink near the wall clock.
struct TonePlayer : QProcess {
    QTemporaryFile samples;
    // `stepped`: the level changes every 37 ms, to one of seven.
    explicit TonePlayer(double hz = toneHz, double amplitude = toneAmplitude,
                        const QString& sink = {}, bool stepped = false) {
        std::vector<float> tone(48000 * 30 * 2);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = amplitude * (stepped ? 0.2 + 0.8 * double(i / 2 / 1789 % 7) / 6 : 1.0) *
                      std::sin(M_PI * hz * double(i / 2) / 24000);
        if (samples.open())
            samples.write(reinterpret_cast<const char*>(tone.data()), tone.size() * sizeof(float));
        samples.close();
        setStandardInputFile(samples.fileName());
        QStringList arguments{"--latency-msec=50", "--format=float32le", "--rate=48000",
                              "--channels=2"};
        if (!sink.isEmpty())
            arguments << "--device=" + sink;
        start("pacat", arguments);
    }
    ~TonePlayer() override { kill(), waitForFinished(); }
};

// A null sink of the test's own, gone with it.
struct NullSink {
    QString name;
    QByteArray module;
    NullSink(const QString& sinkName, const QString& description) : name(sinkName) {
        module = pactl({"load-module", "module-null-sink", "sink_name=" + name, "rate=44100",
                        "channels=1", "sink_properties=device.description=" + description})
                     .value_or("")
                     .trimmed();
    }
    ~NullSink() {
        if (!module.isEmpty())
            pactl({"unload-module", module});
    }
};

// Per 50 ms window of stereo frames: the tone's frequency in Hz from its zero crossings, 0 for
// silence, -1 for a tone with a dropout. A busy machine can starve a player for a moment and the
// output then plays a few milliseconds of silence; a tone with a stretch missing crosses zero
// less often and would pass for a lower one.
std::vector<int> tonesPerWindow(const std::vector<float>& s) {
    constexpr int longestQuiet = 24; // 0.5 ms; a tone passes through zero far faster
    std::vector<int> tones;
    for (size_t from = 0; from + 4800 <= s.size(); from += 4800) {
        double squares = 0;
        int crossings = 0, quiet = 0;
        bool dropout = false;
        for (size_t i = from; i < from + 4800; i += 2) {
            squares += s[i] * s[i];
            crossings += i >= from + 2 && (s[i] < 0) != (s[i - 2] < 0);
            quiet = std::abs(s[i]) < 0.05f ? quiet + 1 : 0;
            dropout = dropout || quiet > longestQuiet;
        }
        tones.push_back(std::sqrt(squares / 2400) < 0.01 ? 0 : dropout ? -1 : crossings * 10);
    }
    return tones;
}

// The first frame that isn't silence (all of them when none).
qint64 firstSoundIn(const SoundFile& file) {
    qint64 frame = 0;
    while (frame < file.frames() && std::abs(file.samples[frame * 2]) < 0.01f)
        ++frame;
    return frame;
}

// Whether the recording holds the tone at its level and pitch on both channels, judged in 20 ms
// windows. A busy machine can starve the player for a moment, and the output then plays a few
// milliseconds of silence that any recorder hears: short, sparse gaps pass. Long gaps or a tone
// missing from much of the recording fail. Lost frames show in the frame count instead.
// Judged from the first sound on: a monitor that gave nothing at first left silence there.
bool carriesTheTone(const SoundFile& file) {
    constexpr qint64 window = 960, margin = 4800;
    const double crossingsPerWindow = 2 * toneHz * window / 48000;
    const qint64 firstSound = firstSoundIn(file);
    int windows = 0, toneWindows = 0, gap = 0, longestGap = 0;
    for (qint64 from = firstSound + margin; from + window <= file.frames() - margin;
         from += window, ++windows) {
        bool holds = true;
        for (int channel = 0; channel < 2; ++channel) {
            double squares = 0, crossings = 0;
            for (qint64 frame = from; frame < from + window; ++frame) {
                const float now = file.samples[frame * 2 + channel];
                squares += now * now;
                crossings += (now < 0) != (file.samples[(frame - 1) * 2 + channel] < 0);
            }
            holds = holds &&
                    std::abs(std::sqrt(squares / window) - toneAmplitude / std::sqrt(2)) < 0.03 &&
                    std::abs(crossings - crossingsPerWindow) <= 2;
        }
        toneWindows += holds;
        gap = holds ? 0 : gap + 1;
        longestGap = std::max(longestGap, gap);
    }
    const double share = windows > 0 ? double(toneWindows) / windows : 0;
    const bool carries = share >= 0.8 && longestGap * window < 48000 / 4;
    if (!carries)
        qWarning("The tone is in %.1f %% of the recording; the longest gap is %lld ms.",
                 100 * share, longestGap * window / 48);
    return carries;
}

// A private server of the shared one's kind, from the same script, for this test alone to kill.
// It goes away when this closes its input, or when the test process dies.
struct OwnServer : QProcess {
    QByteArray address;
    QList<pid_t> pids;
    OwnServer() {
        start(SOUND_SERVER_SCRIPT,
              {"sh", "-c", R"(echo "$PULSE_SERVER $SONABRIX_SOUND_SERVER_PIDS"; exec cat)"});
        if (!waitForReadyRead(30000))
            return;
        const QList<QByteArray> words = readLine().simplified().split(' ');
        address = words.value(0);
        for (const QByteArray& pid : words.mid(1))
            pids << pid.toInt();
    }
    void signalServer(int signal) {
        for (pid_t pid : pids)
            ::kill(pid, signal);
    }
    void killServer() { signalServer(SIGKILL); }
    ~OwnServer() override { closeWriteChannel(), waitForFinished(10000); }
};

// The recording being made in `dir`, read while it is written.
qint64 framesSoFar(const QString& dir) {
    const QStringList names = QDir(dir).entryList({"*.caf"});
    return names.isEmpty() ? 0 : SoundFile(dir + '/' + names[0]).frames();
}

// How much of the recording being made in `dir` follows its first sound. A server just started
// can take seconds before its output plays, and the recording holds silence for that time.
qint64 framesOfSoundSoFar(const QString& dir) {
    const QStringList names = QDir(dir).entryList({"*.caf"});
    if (names.isEmpty())
        return 0;
    const SoundFile file(dir + '/' + names[0]);
    return file.frames() - firstSoundIn(file);
}

} // namespace

class PulseCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    // Each test's recordings in a folder of their own, so that the one being made is the one
    // found there.
    std::unique_ptr<QTemporaryDir> dir_;
    QString recordings_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SONABRIX_SOUND_SERVER"), "run under with-sound-server");
    }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>(scratch_.filePath("test-XXXXXX"));
        recordings_ = useDataHome(dir_->path());
    }

    void recordsWhatTheDefaultOutputPlays() {
        TonePlayer player;
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QStringList files;
        for (int round = 0; round < 2; ++round) {
            // The file runs from the start's request or a little later, to the stop.
            QElapsedTimer sinceAsked;
            sinceAsked.start();
            QVERIFY(finishes(recorder.start()) && recorder.isRecording());
            QElapsedTimer sinceStarted;
            sinceStarted.start();
            // An idle null sink renders up to 2 s ahead when playback begins, and its monitor
            // gives nothing until its clock catches up (parec alike): that time is silence.
            QTRY_VERIFY_WITH_TIMEOUT(recorder.level() > 0, 10000);
            QTest::qWait(2000);
            const QFuture<void> stopping = recorder.stop();
            const double longest = double(sinceAsked.elapsed()) / 1000.0;
            const double shortest = double(sinceStarted.elapsed()) / 1000.0;
            QVERIFY(finishes(stopping));

            QCOMPARE(recorder.errorMessage(), std::nullopt);
            files << lastRecording(recorder);
            const SoundFile file(files.last());
            QVERIFY(isPrivateRecording(files.last(), file) && carriesTheTone(file));
            const double seconds = double(file.frames()) / 48000;
            QVERIFY2(seconds > shortest - 0.25 && seconds < longest + 0.1,
                     qPrintable(QStringLiteral("%1 s in the file, recorded for %2 to %3 s")
                                    .arg(seconds)
                                    .arg(shortest)
                                    .arg(longest)));
        }
        QVERIFY(files[0] != files[1] && QFile::exists(files[0]));
    }

    // The editor opens a recording from the peaks saved beside it as from reading it; a level
    // that steps every few milliseconds gives every bin a peak of its own.
    void theSavedPeaksAreTheRecordingsOwn() {
        TonePlayer player(toneHz, toneAmplitude, {}, true);
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.level() > 0, 10000);
        QTest::qWait(1500);
        QVERIFY(finishes(recorder.stop()));
        const QString path = lastRecording(recorder);
        // The editor's 800 bins (finer than the detail bins in so short a recording), and bins of
        // a few detail bins that mostly split one at their edges.
        for (const qint64 target : {qint64(800), qint64(60), qint64(40)}) {
            const std::optional<Waveform::Data> saved = Waveform::fromSavedPeaks(path, target);
            const std::optional<Waveform::Data> read =
                Waveform::extractPeaks(path, target).result();
            QVERIFY(saved && read && read->totalFrames == SoundFile(path).frames());
            const std::set<float> levels(read->detailPeaks.begin(), read->detailPeaks.end());
            QVERIFY2(levels.size() > 7, qPrintable(QString::number(levels.size())));
            QVERIFY2(savedPeaksDiffer(*saved, *read).isEmpty(),
                     qPrintable(savedPeaksDiffer(*saved, *read)));
        }
    }

    // A pipe source produces exactly the frames written into it and nothing else, so every one
    // of them must arrive, the last partial fragment included, in order.
    void aStopDeliversEveryFrameCapturedUpToIt() {
        // PipeWire's pipe source keeps back a last piece shorter than its period, so there the
        // frames written aren't all captured by any client.
        if (pactl({"info"}).value_or("").contains("PipeWire"))
            QSKIP("the pipe source holds back a partial period on PipeWire");
        const QString fifo = dir_->filePath("source.fifo");
        const auto module = pactl({"load-module", "module-pipe-source", "source_name=sonabrix_pipe",
                                   "file=" + fifo, "format=float32le", "rate=48000", "channels=2"});
        QVERIFY(module);
        const auto unload = qScopeGuard([&] { pactl({"unload-module", module->trimmed()}); });
        std::mutex mutex;
        std::vector<float> received;
        PulseCaptureService service;
        QVERIFY(service.queryContent().result().outputs.size() > 0);
        CaptureService::Handlers handlers;
        handlers.samples = [&](PcmBuffer&& buffer) {
            std::lock_guard guard(mutex);
            received.insert(received.end(), buffer.samples.begin(), buffer.samples.end());
        };
        const CaptureOutput pipe{"sonabrix_pipe", "sonabrix_pipe", ""};
        StreamConfiguration configuration;
        configuration.followsDefaultOutput = false; // a source, not the default output
        QCOMPARE(service.startCapture(pipe, configuration, handlers).result(), std::nullopt);

        const qint64 fragment = PulseCaptureService::fragmentDuration.count() * 48;
        const qint64 frames = 10 * fragment + fragment / 2 + 7;
        std::vector<float> written;
        for (qint64 frame = 0; frame < frames; ++frame)
            written.insert(written.end(), {float(frame) / frames, -float(frame) / frames});
        QFile writer(fifo);
        QVERIFY(writer.open(QIODevice::WriteOnly));
        writer.write(reinterpret_cast<const char*>(written.data()), written.size() * 4);
        writer.close();
        const auto receivedFrames = [&] {
            std::lock_guard guard(mutex);
            return qint64(received.size() / 2);
        };
        // Whole fragments arrive on their own; what follows them waits for the stop.
        QTRY_VERIFY_WITH_TIMEOUT(receivedFrames() > frames - fragment, 5000);
        QCOMPARE(service.stopCapture().result(), std::nullopt);
        QCOMPARE(receivedFrames(), frames);
        QVERIFY(received == written);
    }

    // The level follows the audio captured a moment ago, not a second later.
    void theLevelRisesWhenAToneStartsAndFallsWhenItStops() {
        // A silent stream keeps the output running, so its monitor hears the tone at once.
        TonePlayer silence(toneHz, 0.0);
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        QTest::qWait(2500); // see followsTheDefaultOutputIntoTheSameFile
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) > 0, 10000);
        QTest::qWait(300);
        QCOMPARE(recorder.level(), 0.0);
        QElapsedTimer sinceTheTone;
        auto tone = std::make_unique<TonePlayer>();
        QTRY_VERIFY_WITH_TIMEOUT(streamsPlaying() == 2, 10000);
        sinceTheTone.start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.level() > 0.4, 5000);
        const qint64 rose = sinceTheTone.elapsed();
        QVERIFY2(rose <= 100, qPrintable(QString("rose after %1 ms").arg(rose)));
        QVERIFY(recorder.level() <= toneAmplitude + 0.01);
        tone.reset();
        sinceTheTone.start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.level() < 0.01, 5000);
        const qint64 fell = sinceTheTone.elapsed();
        QVERIFY2(fell <= 300, qPrintable(QString("fell after %1 ms").arg(fell)));
        QVERIFY(finishes(recorder.stop()));
    }

    // What a starved player leaves in a recording: a few milliseconds of the tone missing.
    void aDropoutReadsAsNoOtherTone() {
        for (double dropoutMs : {5.0, 29.0})
            for (int offset = 0; offset < 2400; offset += 60) {
                std::vector<float> s;
                for (int i = 0; i < 48000; ++i)
                    s.insert(s.end(), 2,
                             float(toneAmplitude * std::sin(2 * M_PI * 660 * i / 48000)));
                const auto from = s.begin() + 2 * (24000 + offset);
                std::fill(from, from + 2 * int(dropoutMs * 48), 0.0f);
                for (int hz : tonesPerWindow(s))
                    QVERIFY2(hz == -1 || std::abs(hz - 660) <= 20,
                             qPrintable(QString("%1 Hz in a dropout of %2 ms at +%3")
                                            .arg(hz)
                                            .arg(dropoutMs)
                                            .arg(offset)));
            }
    }

    // The user switches output mid-recording: the capture goes with the default, into the same
    // file, at the same rate, without a gap or a repeat.
    void followsTheDefaultOutputIntoTheSameFile() {
        const QByteArray sinkBefore = pactl({"get-default-sink"}).value_or("").trimmed();
        const QByteArray sourceBefore = pactl({"get-default-source"}).value_or("").trimmed();
        const auto restore = qScopeGuard([&] {
            pactl({"set-default-sink", sinkBefore});
            pactl({"set-default-source", sourceBefore});
        });
        // A microphone as the default source, as on a desktop: without one, PulseAudio takes
        // the default sink's monitor for the default source and moves the capture by itself.
        // PipeWire moves it by itself all the same; there the output's name tells.
        const auto microphone =
            pactl({"load-module", "module-pipe-source", "source_name=sonabrix_microphone",
                   "file=" + dir_->filePath("microphone.fifo")});
        QVERIFY(microphone);
        const auto unload = qScopeGuard([&] { pactl({"unload-module", microphone->trimmed()}); });
        QVERIFY(pactl({"set-default-source", "sonabrix_microphone"}));
        // The second runs at another rate with one channel: the file mustn't notice.
        const NullSink first("sonabrix_first", "First"), second("sonabrix_second", "Second");
        QVERIFY(!first.module.isEmpty() && !second.module.isEmpty());
        QVERIFY(pactl({"set-default-sink", first.name}));
        // Each tone plays into its own output from the start, so both are running.
        auto low = std::make_unique<TonePlayer>(440, toneAmplitude, first.name);
        const TonePlayer high(660, toneAmplitude, second.name);
        QTRY_VERIFY_WITH_TIMEOUT(streamsPlaying() == 2, 10000);
        // Until a new output's clock has caught up with what it rendered ahead, its monitor's
        // timing says nothing about the wall clock's.
        QTest::qWait(2500);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QCOMPARE(recorder.outputName(), "First");
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) > 0, 10000);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2000);
        // Both servers take every stream on the old default along to the new one, this player
        // too, and two tones heard at once read as neither: it stops as the output changes.
        // What pactl takes to switch is neither output's time: on a busy machine it takes a
        // few hundred milliseconds, and the recording rightly holds silence meanwhile.
        const double beforeSwitch = clock.restart() / 1000.0;
        low.reset();
        QVERIFY(pactl({"set-default-sink", second.name}));
        const double switching = clock.restart() / 1000.0;
        QTRY_COMPARE_WITH_TIMEOUT(recorder.outputName(), "Second", 2000);
        // Where each stream is, for a failure to be told apart from a player that stopped.
        const QByteArray streams = pactl({"list", "short", "sink-inputs"}).value_or("") +
                                   pactl({"list", "short", "source-outputs"}).value_or("");
        QTest::qWait(2000);
        const QFuture<void> stopping = recorder.stop();
        const double afterSwitch = clock.elapsed() / 1000.0;
        QVERIFY(finishes(stopping));
        QCOMPARE(recorder.errorMessage(), std::nullopt);

        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file));
        const std::vector<int> tones = tonesPerWindow(file.samples);
        const auto count = [&tones](int low, int high) {
            return std::count_if(tones.begin(), tones.end(),
                                 [&](int hz) { return hz >= low && hz <= high; });
        };
        const auto firstHigh =
            std::find_if(tones.begin(), tones.end(), [](int hz) { return hz >= 620; });
        const auto lastLow =
            std::find_if(tones.rbegin(), tones.rend(), [](int hz) { return hz > 0 && hz <= 480; });
        int longestSilence = 0;
        for (size_t i = 0, run = 0; i < tones.size(); ++i)
            longestSilence = std::max(longestSilence, int(run = tones[i] == 0 ? run + 1 : 0));
        const QString report =
            QString("440 Hz %1 s of %2 s, switching %3 s, 660 Hz %4 s of %5 s, silence %6 s")
                .arg(count(400, 480) * 0.05)
                .arg(beforeSwitch)
                .arg(switching)
                .arg(count(620, 700) * 0.05)
                .arg(afterSwitch)
                .arg(longestSilence * 0.05);
        qInfo().noquote() << report;
        const auto failure = [&] {
            // The tones as heard, window after window, by hundreds of hertz: "440×40 0×1 660×41".
            QStringList runs;
            for (size_t from = 0, i = 0; i < tones.size(); from = i) {
                while (i < tones.size() && tones[i] / 100 == tones[from] / 100)
                    ++i;
                runs << QString("%1×%2").arg(tones[from]).arg(i - from);
            }
            return (report + "\n" + runs.join(' ') + "\n" + streams).toLocal8Bit();
        };
        QVERIFY2(count(400, 480) * 0.05 >= 0.9 * beforeSwitch, failure().constData());
        // The new output's stream starts a moment after the switch (the silence checked below).
        QVERIFY2((count(620, 700) + longestSilence) * 0.05 >= 0.9 * afterSwitch,
                 failure().constData());
        QVERIFY2(longestSilence * 0.05 <= 0.25 + switching, failure().constData());
        // The old output ends where the new one begins.
        QVERIFY2(firstHigh != tones.end() &&
                     lastLow.base() - tones.begin() <= firstHigh - tones.begin() + 1,
                 failure().constData());
    }

    // The default input changes mid-recording, to a microphone or anything else: the recording
    // stays on the output. Both servers take the streams of the old default input along to the
    // new one; the capture's stream must stay where it is.
    void aNewDefaultInputLeavesTheRecordingOnTheOutput() {
        const QByteArray sinkBefore = pactl({"get-default-sink"}).value_or("").trimmed();
        const QByteArray sourceBefore = pactl({"get-default-source"}).value_or("").trimmed();
        const auto restore = qScopeGuard([&] {
            pactl({"set-default-sink", sinkBefore});
            pactl({"set-default-source", sourceBefore});
        });
        const NullSink output("sonabrix_output", "Output"), other("sonabrix_other", "Other");
        QVERIFY(!output.module.isEmpty() && !other.module.isEmpty());
        QVERIFY(pactl({"set-default-sink", output.name}));
        // The output's monitor is the default input at first, as on a machine without a
        // microphone; then a silent one takes its place.
        QVERIFY(pactl({"set-default-source", output.name + ".monitor"}));
        const TonePlayer tone(toneHz, toneAmplitude, output.name);
        QTRY_VERIFY_WITH_TIMEOUT(streamsPlaying() == 1, 10000);
        QTest::qWait(2500); // see followsTheDefaultOutputIntoTheSameFile
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QCOMPARE(recorder.outputName(), "Output");
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) > 0, 10000);
        QTest::qWait(1500);
        QVERIFY(pactl({"set-default-source", other.name + ".monitor"}));
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2500);
        const QByteArray streams = pactl({"list", "short", "source-outputs"}).value_or("");
        const QFuture<void> stopping = recorder.stop();
        const double afterSwitch = clock.elapsed() / 1000.0;
        QVERIFY(finishes(stopping));
        QCOMPARE(recorder.errorMessage(), std::nullopt);
        QCOMPARE(recorder.outputName(), "Output");

        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file));
        const std::vector<int> tones = tonesPerWindow(file.samples);
        // The windows since the switch, less a margin for the stop's last fragment.
        const size_t since = size_t(afterSwitch / 0.05);
        QVERIFY2(tones.size() > since + 4,
                 qPrintable(QString("%1 s recorded, %2 s since the switch; source outputs:\n%3")
                                .arg(double(tones.size()) * 0.05)
                                .arg(afterSwitch)
                                .arg(QString::fromUtf8(streams))));
        const auto tail = std::vector<int>(tones.end() - std::ptrdiff_t(since), tones.end() - 4);
        const auto toneWindows =
            std::count_if(tail.begin(), tail.end(), [](int hz) { return hz >= 400 && hz <= 480; });
        QVERIFY2(toneWindows >= 0.9 * double(tail.size()),
                 qPrintable(QString("the tone in %1 of the last %2 windows; source outputs:\n%3")
                                .arg(toneWindows)
                                .arg(tail.size())
                                .arg(QString::fromUtf8(streams))));
    }

    // The user switches output just as the recording starts, after the default was looked up
    // and before the stream listens for changes: the capture still ends up on the new default.
    void aSwitchAsTheRecordingStartsIsFollowed() {
        const QByteArray sinkBefore = pactl({"get-default-sink"}).value_or("").trimmed();
        const auto restore = qScopeGuard([&] { pactl({"set-default-sink", sinkBefore}); });
        const NullSink headset("sonabrix_headset", "Headset");
        QVERIFY(!headset.module.isEmpty());
        PulseCaptureService service;
        const ShareableContent content = service.queryContent().result();
        QVERIFY(!content.outputs.isEmpty() && content.outputs.first().name == sinkBefore);
        QVERIFY(pactl({"set-default-sink", headset.name}));
        std::mutex mutex;
        QString movedTo;
        CaptureService::Handlers handlers;
        handlers.samples = [](PcmBuffer&&) {};
        handlers.outputChanged = [&](const CaptureOutput& output) {
            std::lock_guard guard(mutex);
            movedTo = output.description;
        };
        QCOMPARE(service.startCapture(content.outputs.first(), {}, handlers).result(),
                 std::nullopt);
        const auto moved = [&] {
            std::lock_guard guard(mutex);
            return movedTo;
        };
        QTRY_COMPARE_WITH_TIMEOUT(moved(), QString("Headset"), 2000);
        QCOMPARE(service.stopCapture().result(), std::nullopt);
    }

    // The output being recorded goes away (a headset unplugged): the recording either goes on
    // from the output the server falls back to, or ends by itself with what it has, published.
    void anOutputThatVanishesNeverLosesTheRecording() {
        const QByteArray sinkBefore = pactl({"get-default-sink"}).value_or("").trimmed();
        const auto restore = qScopeGuard([&] { pactl({"set-default-sink", sinkBefore}); });
        auto headset = std::make_unique<NullSink>("sonabrix_headset", "Headset");
        QVERIFY(!headset->module.isEmpty());
        QVERIFY(pactl({"set-default-sink", headset->name}));
        const TonePlayer tone(440, toneAmplitude, headset->name);
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        QTest::qWait(2500); // see followsTheDefaultOutputIntoTheSameFile
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QCOMPARE(recorder.outputName(), "Headset");
        QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) >= 48000, 10000);
        headset.reset();
        QTest::qWait(1000);
        qInfo() << (recorder.isRecording() ? "went on" : "ended by itself");
        if (recorder.isRecording()) {
            QTRY_VERIFY_WITH_TIMEOUT(recorder.outputName() != "Headset", 2000);
            const qint64 before = framesSoFar(recordings_);
            QTRY_VERIFY_WITH_TIMEOUT(framesSoFar(recordings_) > before + 24000, 5000);
            QVERIFY(finishes(recorder.stop()));
            QCOMPARE(recorder.errorMessage(), std::nullopt);
        } else {
            QVERIFY(recorder.errorMessage().value_or("").startsWith(
                "The recording stopped by itself: "));
        }
        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file) && file.frames() >= 48000);
    }

    // A server that hangs is told apart from one that isn't there: the start says what failed,
    // and once the server answers again, recording works.
    void aServerThatStopsAnsweringIsToldFromOneThatIsGone() {
        OwnServer server;
        QVERIFY2(!server.pids.isEmpty(), server.readAllStandardError().constData());
        const QByteArray shared = qgetenv("PULSE_SERVER");
        const auto restore = qScopeGuard([&] {
            server.signalServer(SIGCONT);
            qputenv("PULSE_SERVER", shared);
        });
        qputenv("PULSE_SERVER", server.address);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QVERIFY(finishes(recorder.stop()));
        server.signalServer(SIGSTOP);
        QVERIFY(finishes(recorder.start()) && !recorder.isRecording());
        QCOMPARE(recorder.errorMessage(),
                 "Sonabrix couldn't get the list of audio outputs from the sound server: The "
                 "sound server didn't answer.");
        server.signalServer(SIGCONT);
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QVERIFY(finishes(recorder.stop()));
    }

    // Last, on a server of its own: killing the shared one would pull the floor from other tests.
    void aServerThatDiesLeavesThePartialRecordingAndSaysSo() {
        OwnServer server;
        QVERIFY2(!server.pids.isEmpty(), server.readAllStandardError().constData());
        QTemporaryDir dataHome;
        qputenv("PULSE_SERVER", server.address);
        const QString recordings = useDataHome(dataHome.path());
        TonePlayer player;
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 10000);
        SystemAudioRecorder recorder;
        QVERIFY(finishes(recorder.start()) && recorder.isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(framesOfSoundSoFar(recordings) >= 2 * 48000, 15000);
        server.killServer();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.isRecording(), 10000);
        QVERIFY(
            recorder.errorMessage().value_or("").startsWith("The recording stopped by itself: "));
        const SoundFile file(lastRecording(recorder));
        QVERIFY(isPrivateRecording(lastRecording(recorder), file) && carriesTheTone(file));
        QVERIFY(file.frames() >= 2 * 48000);

        // With the server gone, a new recording can't start and says why: the server isn't
        // there, which is no matter of permission.
        SystemAudioRecorder another;
        QVERIFY(finishes(another.start()) && !another.isRecording());
        const QString message = another.errorMessage().value_or("");
        QVERIFY2(message.startsWith("Sonabrix couldn't reach the sound server to capture system "
                                    "audio.") &&
                     message.contains(" The reason given: "),
                 qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(PulseCaptureTest)
#include "PulseCaptureTest.moc"
