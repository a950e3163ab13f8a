#include "AudioExporter.h"
#include "ExportFormat.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <numbers>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int rate = 48000;

using Signal = std::function<float(int64_t frame, int channel)>;

void writeSamples(const QString& path, int channels, int64_t frames, const Signal& sample) {
    SF_INFO info{0, rate, channels, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    std::vector<float> samples(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i)
        for (int channel = 0; channel < channels; ++channel)
            samples[size_t(i * channels + channel)] = sample(i, channel);
    QCOMPARE(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

// The same value for the same frame and channel however often it is asked for, -1 to 1.
double noiseAt(int64_t frame, int channel) {
    uint64_t x = uint64_t(frame) * 2 + uint64_t(channel) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return double(x ^ (x >> 31)) / double(UINT64_MAX) * 2 - 1;
}

// Noise with little above 8 kHz, as a sound a microphone or a mix gives: lossy encoders drop
// what lies above 16 to 20 kHz, and white noise would lose loudness there to them, not to us.
double softNoise(int64_t frame, int channel) {
    double sum = 0;
    for (int i = 0; i < 3; ++i)
        sum += noiseAt(frame - i, channel);
    return sum / 2;
}

double sine(double hz, int64_t frame) {
    return std::sin(2 * std::numbers::pi * hz * double(frame) / rate);
}

// A voice: a 140 Hz buzz with its harmonics, in syllables of a fifth of a second with pauses.
Signal speech(double level) {
    return [level](int64_t frame, int) {
        const double t = double(frame) / rate;
        const double syllable = std::max(0.0, std::sin(2 * std::numbers::pi * 2.5 * t));
        const double pause = std::fmod(t, 3.0) > 2.4 ? 0.0 : 1.0;
        double buzz = 0;
        for (int harmonic = 1; harmonic <= 12; ++harmonic)
            buzz += sine(140.0 * harmonic * (1 + 0.03 * std::sin(3 * t)), frame) / harmonic;
        return float(level * syllable * pause * buzz / 3);
    };
}

// A chord over a bass line with a little noise, different on the two sides.
Signal music(double level) {
    return [level](int64_t frame, int channel) {
        const double t = double(frame) / rate;
        const double bass = sine(55.0 * (1 + int(t) % 2), frame);
        const double chord = sine(440, frame) + sine(554.37, frame) + sine(659.26 + channel, frame);
        const double hiss = softNoise(frame, channel);
        return float(level * (0.5 * bass + 0.2 * chord + 0.05 * hiss) *
                     (0.8 + 0.2 * sine(0.5, frame)));
    };
}

// Hand claps: a burst of noise dying in 20 ms, once a second, over a faint hum.
Signal impulsive(double level) {
    return [level](int64_t frame, int) {
        const double sinceClap = double(frame % rate) / rate;
        const double burst = softNoise(frame, 0) * std::exp(-sinceClap / 0.02);
        return float(level * (burst + 0.01 * sine(100, frame)));
    };
}

struct Measured {
    double integratedLufs = NAN;
    double truePeakDbtp = NAN;
};

// FFmpeg's own EBU R128 meter with true peak, as an independent judge.
Measured measure(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostats", "-hide_banner", "-i", path, "-af", "ebur128=peak=true",
                            "-f", "null", "-"});
    ffmpeg.waitForFinished(120'000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QString summary = log.mid(log.lastIndexOf("Summary:"));
    Measured found;
    const auto integrated = QRegularExpression(R"(I:\s+(-?[\d.]+) LUFS)").match(summary);
    if (integrated.hasMatch())
        found.integratedLufs = integrated.captured(1).toDouble();
    const auto peak =
        QRegularExpression(R"(True peak:\s+Peak:\s+(-?[\d.]+|-inf) dBFS)").match(summary);
    if (peak.hasMatch())
        found.truePeakDbtp = peak.captured(1) == "-inf" ? -INFINITY : peak.captured(1).toDouble();
    return found;
}

std::vector<float> decode(const QString& path, int channel = 0) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-af",
                            QStringLiteral("pan=mono|c0=c%1").arg(channel), "-f", "f32le", "-"});
    ffmpeg.waitForFinished(60'000);
    const QByteArray raw = ffmpeg.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const float*>(raw.constData());
    return {samples, samples + raw.size() / sizeof(float)};
}

struct Exported {
    QString error;
    ExportOutcome outcome;
};

Exported exportWith(const QString& source, TimeRange range, const QString& destination,
                    const ExportOptions& options) {
    QFuture<ExportOutcome> future =
        AudioExporter::exportTrimmed(source, range, destination, options);
    try {
        future.waitForFinished();
    } catch (const std::exception& error) {
        return {QString::fromUtf8(error.what()), {}};
    }
    if (future.progressValue() != 1000 || future.resultCount() != 1)
        return {QStringLiteral("progress stopped short"), {}};
    return {QString(), future.result()};
}

ExportOptions target(double lufs) {
    ExportOptions options;
    options.loudnessTargetLufs = lufs;
    return options;
}

} // namespace

class LoudnessExportTest : public QObject {
    Q_OBJECT

private slots:
    void reachesTheTargetUnderTheCeiling_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("level");
        QTest::addColumn<double>("targetLufs");
        QTest::addColumn<int>("seconds");
        const double targets[] = {-16, -14, -23};
        int row = 0;
        for (const ExportFormat format : allExportFormats)
            for (const char* kind : {"speech", "music", "impulsive"})
                for (const double level : {0.02, 0.9}) {
                    const double lufs = targets[row++ % 3];
                    QTest::addRow("%s, %s, %s, %g LUFS", qPrintable(extensionOf(format)), kind,
                                  level < 0.5 ? "quiet" : "loud", lufs)
                        << extensionOf(format) << kind << level << lufs << 10;
                }
        // Long enough to be measured in two halves side by side.
        const QString growing = "growing speech", impulsive = "impulsive";
        QTest::newRow("wav, speech growing louder, -16 LUFS, a minute")
            << "wav" << growing << 0.9 << -16.0 << 60;
        QTest::newRow("mp3, impulsive, quiet, -14 LUFS, a minute")
            << "mp3" << impulsive << 0.02 << -14.0 << 60;
    }

    void reachesTheTargetUnderTheCeiling() {
        QFETCH(QString, extension);
        QFETCH(QString, kind);
        QFETCH(double, level);
        QFETCH(double, targetLufs);
        QFETCH(int, seconds);
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf");
        const QString clip = folder.filePath("clip." + extension);
        // Its second half 20 dB louder than its first: either half measured alone is far off.
        const Signal growing = [quiet = speech(level / 10), loud = speech(level),
                                half = int64_t(seconds / 2 + 1) * rate](int64_t frame,
                                                                        int channel) {
            return frame < half ? quiet(frame, channel) : loud(frame, channel);
        };
        const Signal signal = kind == "growing speech" ? growing
                              : kind == "speech"       ? speech(level)
                              : kind == "music"        ? music(level)
                                                       : impulsive(level);
        writeSamples(source, 2, int64_t(seconds + 2) * rate, signal);
        const Exported exported =
            exportWith(source, TimeRange{1, seconds + 1.0}, clip, target(targetLufs));
        QCOMPARE(exported.error, QString());
        QVERIFY(!exported.outcome.loudnessUnmeasurable);
        const Measured measured = measure(clip);
        QVERIFY2(std::abs(measured.integratedLufs - targetLufs) <= 0.5,
                 qPrintable(QStringLiteral("%1 LUFS").arg(measured.integratedLufs)));
        QVERIFY2(measured.truePeakDbtp <= -1.0,
                 qPrintable(QStringLiteral("%1 dBTP").arg(measured.truePeakDbtp)));
    }

    void tagsTheFile_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("loudnessSet");
        for (const ExportFormat format : allExportFormats)
            for (const bool set : {false, true})
                QTest::addRow("%s, %s", qPrintable(extensionOf(format)),
                              set ? "at -16 LUFS" : "as recorded")
                    << extensionOf(format) << set;
    }

    // Title, date and encoder in every format, read back as any player's library reads them;
    // the gain tags only where the loudness was set, each format with its own kind.
    void tagsTheFile() {
        QFETCH(QString, extension);
        QFETCH(bool, loudnessSet);
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf");
        const QString clip = folder.filePath("clip." + extension);
        writeSamples(source, 2, 3 * rate, speech(0.3));
        ExportOptions options = loudnessSet ? target(-16) : ExportOptions{};
        options.title = QStringLiteral("Interview mit Jörg / “Q&A” <b>1</b>");
        options.date = QDateTime(QDate(2026, 12, 8), QTime(6, 20, 5));
        QCOMPARE(exportWith(source, TimeRange{0, 3}, clip, options).error, QString());
        QProcess ffprobe;
        ffprobe.start("ffprobe", {"-v", "error", "-of", "json", "-show_entries",
                                  "format_tags:stream_tags", clip});
        QVERIFY(ffprobe.waitForFinished(60'000));
        const QJsonObject probed =
            QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
        // Ogg keeps its comments with the stream; the names' case differs between formats.
        QVariantMap tags;
        const QJsonObject found = extension == "opus" ? probed["streams"][0]["tags"].toObject()
                                                      : probed["format"]["tags"].toObject();
        for (auto it = found.begin(); it != found.end(); ++it)
            tags.insert(it.key().toLower(), it.value().toString());
        QCOMPARE(tags.value("title").toString(), options.title);
        QCOMPARE(tags.value("date").toString(), QStringLiteral("2026-12-08T06:20:05"));
        QVERIFY2(tags.value("encoder").toString().startsWith("Sonabrix "),
                 qPrintable(tags.value("encoder").toString()));
        const bool replayGain = loudnessSet && extension != "opus" && extension != "wav";
        QCOMPARE(tags.value("replaygain_track_gain").toString(),
                 replayGain ? QStringLiteral("-2.00 dB") : QString());
        QCOMPARE(tags.contains("replaygain_track_peak"), replayGain);
        if (replayGain) {
            const double peak = tags.value("replaygain_track_peak").toDouble();
            QVERIFY2(peak > 0.1 && peak <= std::pow(10.0, -1.0 / 20),
                     qPrintable(QString::number(peak)));
        }
        QCOMPARE(tags.value("r128_track_gain").toString(),
                 loudnessSet && extension == "opus" ? QStringLiteral("-1792") : QString());
        // Tags added after the encoder moved the audio on: it must still decode, all of it.
        QProcess decode;
        decode.start("ffmpeg", {"-v", "error", "-i", clip, "-f", "null", "-"});
        QVERIFY(decode.waitForFinished(60'000));
        QCOMPARE(decode.exitCode(), 0);
        QCOMPARE(decode.readAllStandardError(), QByteArray());
    }

    void fadesOnlyCutsThatFallOnSound_data() {
        QTest::addColumn<QString>("extension");
        for (const ExportFormat format : allExportFormats)
            QTest::newRow(qPrintable(extensionOf(format))) << extensionOf(format);
    }

    // A tone for 2 s, 1 s of near silence (-80 dBFS), the tone again. The selection starts in
    // the first tone and ends in the silence: a 10 ms raised cosine in at its start, nothing at
    // its end; then from the silence into the second tone: nothing in, a fade out.
    void fadesOnlyCutsThatFallOnSound() {
        QFETCH(QString, extension);
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf");
        const Signal signal = [](int64_t frame, int) {
            const bool quiet = frame >= 2 * rate && frame < 3 * rate;
            return float((quiet ? 0.0001 : 0.5) * sine(1000, frame));
        };
        writeSamples(source, 2, 4 * rate, signal);
        ExportOptions options;
        options.fadeSeconds = 0.010;
        constexpr int64_t fade = rate / 100;
        const bool lossless = extension == "flac" || extension == "wav";
        for (const auto& [range, fadesIn] :
             {std::pair{TimeRange{1.5, 2.5}, true}, std::pair{TimeRange{2.5, 3.5}, false}}) {
            const QString clip =
                folder.filePath(QStringLiteral("clip%1.").arg(fadesIn) + extension);
            QCOMPARE(exportWith(source, range, clip, options).error, QString());
            const std::vector<float> decoded = decode(clip);
            const auto first = int64_t(range.lower * rate);
            const auto frames = int64_t(range.length() * rate);
            QVERIFY(int64_t(decoded.size()) >= frames);
            const auto weight = [&](int64_t i) {
                if (fadesIn && i < fade)
                    return 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / fade);
                if (!fadesIn && i >= frames - fade)
                    return 0.5 - 0.5 * std::cos(std::numbers::pi * double(frames - 1 - i) / fade);
                return 1.0;
            };
            if (lossless) {
                for (int64_t i = 0; i < frames; ++i) {
                    const float wanted = float(weight(i) * signal(first + i, 0));
                    if (std::abs(decoded[size_t(i)] - wanted) > 1.5f / (1 << 23))
                        QFAIL(qPrintable(QStringLiteral("frame %1: %2, not %3")
                                             .arg(i)
                                             .arg(decoded[size_t(i)])
                                             .arg(wanted)));
                }
                continue;
            }
            // Lossy: the faded end starts near nothing and comes up to the tone within 10 ms.
            const int64_t edge = fadesIn ? 0 : frames - fade / 5;
            float edgePeak = 0;
            for (int64_t i = edge; i < edge + fade / 5; ++i)
                edgePeak = std::max(edgePeak, std::abs(decoded[size_t(i)]));
            QVERIFY2(edgePeak < 0.1f, qPrintable(QString::number(edgePeak)));
        }
    }

    // Where no true peak would pass the ceiling, every sample is the source's times the gain.
    void leavesAudioThatNeedsNoLimitingAtThePlainGain() {
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.wav");
        writeSamples(source, 2, 5 * rate, music(0.02));
        const Exported exported = exportWith(source, TimeRange{0, 5}, clip, target(-23));
        QCOMPARE(exported.error, QString());
        QVERIFY(exported.outcome.gainDb > 10);
        const auto gain = float(std::pow(10.0, exported.outcome.gainDb / 20));
        const std::vector<float> decoded = decode(clip);
        QCOMPARE(int64_t(decoded.size()), int64_t(5 * rate));
        const Signal original = music(0.02);
        for (int64_t frame = 0; frame < 5 * rate; ++frame) {
            const float wanted = original(frame, 0) * gain;
            if (std::abs(decoded[size_t(frame)] - wanted) > 1.5f / (1 << 23))
                QFAIL(qPrintable(QStringLiteral("frame %1: %2, not %3")
                                     .arg(frame)
                                     .arg(decoded[size_t(frame)])
                                     .arg(wanted)));
        }
    }

    // Loud claps need limiting; between them, once the gain is back, the hum keeps the plain
    // gain, and the claps lose no more than the ceiling asks.
    void limitsOnlyAroundThePeaks() {
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.wav");
        writeSamples(source, 1, 6 * rate, impulsive(0.3));
        const Exported exported = exportWith(source, TimeRange{0, 6}, clip, target(-14));
        QCOMPARE(exported.error, QString());
        const auto gain = float(std::pow(10.0, exported.outcome.gainDb / 20));
        const std::vector<float> decoded = decode(clip);
        QCOMPARE(int64_t(decoded.size()), int64_t(6 * rate));
        const Signal original = impulsive(0.3);
        std::vector<float> source1(size_t(6 * rate));
        for (int64_t frame = 0; frame < 6 * rate; ++frame)
            source1[size_t(frame)] = original(frame, 0);
        float loudestClap = 0, loudestSource = 0;
        for (int second = 0; second < 6; ++second) {
            const int64_t clap = int64_t(second) * rate;
            for (int64_t frame = clap + rate * 7 / 10; frame < clap + rate - rate / 100; ++frame)
                if (std::abs(decoded[size_t(frame)] - source1[size_t(frame)] * gain) >
                    1.5f / (1 << 23))
                    QFAIL(qPrintable(QStringLiteral("frame %1 is limited").arg(frame)));
            for (int64_t frame = clap; frame < clap + rate / 100; ++frame) {
                loudestClap = std::max(loudestClap, std::abs(decoded[size_t(frame)]));
                loudestSource = std::max(loudestSource, std::abs(source1[size_t(frame)]));
            }
        }
        const float ceiling = float(std::pow(10.0, -1.0 / 20));
        QVERIFY2(loudestSource * gain > ceiling * 1.5f, "the claps would not need limiting");
        QVERIFY2(loudestClap <= ceiling && loudestClap > ceiling * 0.9f,
                 qPrintable(QString::number(loudestClap)));
    }

    void savesWhatCantBeMeasuredAsRecorded_data() {
        QTest::addColumn<int64_t>("frames");
        QTest::addColumn<double>("level");
        QTest::newRow("silence") << int64_t(5 * rate) << 0.0;
        QTest::newRow("a third of a second") << int64_t(rate / 3) << 0.5;
    }

    void savesWhatCantBeMeasuredAsRecorded() {
        QFETCH(int64_t, frames);
        QFETCH(double, level);
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.flac");
        const Signal tone = [level](int64_t frame, int) {
            return float(level * sine(1000, frame));
        };
        writeSamples(source, 2, frames, tone);
        const Exported exported =
            exportWith(source, TimeRange{0, double(frames) / rate}, clip, target(-16));
        QCOMPARE(exported.error, QString());
        QVERIFY(exported.outcome.loudnessUnmeasurable);
        const std::vector<float> decoded = decode(clip);
        QCOMPARE(int64_t(decoded.size()), frames);
        for (int64_t frame = 0; frame < frames; ++frame)
            QVERIFY(std::abs(decoded[size_t(frame)] - tone(frame, 0)) <= 1.0f / (1 << 23));
    }

    // The measuring read is cancelled like the encoding one: nothing is written.
    void cancellingWhileMeasuringLeavesTheDestination() {
        const QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSamples(source, 1, 200 * rate, speech(0.3));
        QFile old(clip);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older clip") == 13);
        old.close();
        QFuture<ExportOutcome> future =
            AudioExporter::exportTrimmed(source, TimeRange{0, 200}, clip, target(-16));
        QTRY_VERIFY(future.progressValue() > 0);
        QVERIFY2(future.progressValue() < 200, "measuring was over before it could be cancelled");
        future.cancel();
        future.waitForFinished();
        QVERIFY(future.isCanceled());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("an older clip"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"clip.m4a", "source.caf"}));
    }
};

QTEST_GUILESS_MAIN(LoudnessExportTest)
#include "LoudnessExportTest.moc"
