#include "AudioExporter.h"

#include "ExportFormat.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <numbers>
#include <sndfile.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

Q_DECLARE_METATYPE(TimeRange)

namespace {

const std::vector<double> levels{0.05, 0.1, 0.2, 0.4, 0.8, 0.3};

// Any sample of any frame and channel, written as a float CAF as the recorder writes it.
using SampleAt = std::function<float(int64_t frame, int channel)>;

void writeSamples(const QString& path, int rate, int channels, int64_t frames, SampleAt sample) {
    SF_INFO info{0, rate, channels, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    const int64_t block = std::max<int64_t>(1, 65536 / channels);
    std::vector<float> samples(size_t(block * channels));
    for (int64_t done = 0; done < frames; done += block) {
        const int64_t count = std::min(block, frames - done);
        for (int64_t i = 0; i < count; ++i)
            for (int channel = 0; channel < channels; ++channel)
                samples[size_t(i * channels + channel)] = sample(done + i, channel);
        QCOMPARE(sf_writef_float(file, samples.data(), count), count);
    }
    sf_close(file);
}

float tone(int64_t frame, int rate, double level) {
    return float(level * std::sin(2 * std::numbers::pi * double(frame) * 1000 / rate));
}

// Second i is a 1 kHz tone at perSecond[i] in every channel: the level tells where audio came
// from.
void writeSource(const QString& path, int rate, int channels, std::vector<double> perSecond) {
    writeSamples(path, rate, channels, int64_t(perSecond.size()) * rate,
                 [&](int64_t frame, int) { return tone(frame, rate, perSecond[frame / rate]); });
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The error text, or an empty string once the export succeeded with its progress at the end.
QString exportAndWait(const QString& source, TimeRange range, const QString& destination) {
    QFuture<void> future = AudioExporter::exportTrimmed(source, range, destination);
    try {
        future.waitForFinished();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return future.progressValue() == 1000 ? QString() : QStringLiteral("progress stopped short");
}

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.readAllStandardOutput();
}

// One channel as any player decodes it.
std::vector<float> decode(const QString& path, int channel = 0) {
    const QByteArray raw =
        run("ffmpeg", {"-v", "error", "-i", path, "-af",
                       QStringLiteral("pan=mono|c0=c%1").arg(channel), "-f", "f32le", "-"});
    const auto* samples = reinterpret_cast<const float*>(raw.constData());
    return {samples, samples + raw.size() / sizeof(float)};
}

QJsonObject probe(const QString& path) {
    return QJsonDocument::fromJson(run("ffprobe", {"-v", "error", "-of", "json", "-show_streams",
                                                   "-show_format", path}))
        .object();
}

// The amplitude of the tone in samples [begin, end).
double toneLevel(const std::vector<float>& samples, int64_t begin, int64_t end) {
    double sum = 0;
    for (int64_t i = begin; i < end; ++i)
        sum += double(samples[size_t(i)]) * samples[size_t(i)];
    return std::sqrt(2 * sum / double(end - begin));
}

// The time in seconds, searching from `after`, where the tone's level first crosses halfway.
double levelChangeAt(const std::vector<float>& s, int rate, double from, double to, double after) {
    const int window = rate / 500;
    for (auto at = int64_t(after * rate); at + window <= int64_t(s.size()); at += window / 8)
        if ((to > from) == (toneLevel(s, at, at + window) > (from + to) / 2))
            return double(at + window / 2) / rate;
    return -1;
}

QStringList folderEntries(const QString& root) {
    QStringList entries;
    for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        entries << QDir(root).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

// A temporary folder for a source and the clip exported from it.
struct ScratchFolder : QTemporaryDir {
    QString source() const { return filePath("source.caf"); }
    QString clip(const QString& extension) const { return filePath("clip." + extension); }
};

bool isLossless(const QString& extension) {
    return extension == "flac" || extension == "wav";
}

// How far the decoded length may stray from the range, in frames at 48 kHz: lossless formats
// and the delay-carrying MP3 and Ogg headers to the frame; FFmpeg's MP4 reader leaves up to
// one AAC frame of padding at the end.
int64_t lengthTolerance(const QString& extension) {
    return extension == "m4a" ? 1024 : 0;
}

// As a file looks that nobody has written for an hour.
void ageByAnHour(const QString& path) {
    const time_t anHourAgo = std::time(nullptr) - 3600;
    const utimbuf times{anHourAgo, anHourAgo};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

int64_t peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class AudioExporterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); } // writes past a limit fail instead

    void exportsExactlyTheSelectedRange_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<TimeRange>("expected"); // the part of the 6 s source that must come out
        for (const ExportFormat format : allExportFormats) {
            const QString ext = extensionOf(format);
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::addRow("%s, %s", qPrintable(ext), name) << ext;
            };
            row("fractions of seconds") << TimeRange{1.5, 3.25} << TimeRange{1.5, 3.25};
            row("starts before the file") << TimeRange{-1.0, 2.5} << TimeRange{0.0, 2.5};
            row("ends past the file") << TimeRange{4.5, 100.0} << TimeRange{4.5, 6.0};
            row("a short clip") << TimeRange{3.9, 4.1} << TimeRange{3.9, 4.1};
        }
    }

    void exportsExactlyTheSelectedRange() {
        QFETCH(QString, extension);
        QFETCH(TimeRange, range);
        QFETCH(TimeRange, expected);
        constexpr int rate = 48000;
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        writeSource(source, rate, 2, levels);
        QCOMPARE(exportAndWait(source, range, clip), QString());
        const std::vector<float> decoded = decode(clip);
        const auto expectedFrames = std::llround(expected.length() * rate);
        const auto extraFrames = std::abs(int64_t(decoded.size()) - expectedFrames);
        QVERIFY2(extraFrames <= lengthTolerance(extension),
                 qPrintable(
                     QStringLiteral("%1 frames, not %2").arg(decoded.size()).arg(expectedFrames)));
        if (isLossless(extension)) {
            // Every sample where it was, to the 24-bit step.
            const auto first = std::llround(expected.lower * rate);
            for (int64_t i = 0; i < expectedFrames; ++i) {
                const int64_t frame = first + i;
                const float wanted = tone(frame, rate, levels[size_t(frame / rate)]);
                if (std::abs(decoded[size_t(i)] - wanted) > 1.0f / (1 << 23))
                    QFAIL(qPrintable(QStringLiteral("frame %1: %2, not %3")
                                         .arg(i)
                                         .arg(decoded[size_t(i)])
                                         .arg(wanted)));
            }
            return;
        }
        // Each second at its level and in its place: a slip of the encoder's delay moves every
        // boundary.
        for (int second = int(expected.lower); second < std::ceil(expected.upper); ++second) {
            const double from = std::max<double>(second, expected.lower) - expected.lower;
            const double to = std::min<double>(second + 1, expected.upper) - expected.lower;
            const auto begin = int64_t((from + 0.02) * rate), end = int64_t((to - 0.02) * rate);
            if (end > begin)
                QVERIFY2(std::abs(toneLevel(decoded, begin, end) / levels[size_t(second)] - 1) <
                             0.1,
                         qPrintable(QStringLiteral("level of second %1").arg(second)));
            if (second > expected.lower) {
                const double found =
                    levelChangeAt(decoded, rate, levels[size_t(second - 1)], levels[size_t(second)],
                                  std::max(0.0, from - 0.1));
                QVERIFY2(std::abs(found - from) <= 0.001,
                         qPrintable(QStringLiteral("second %1 at %2 s").arg(second).arg(found)));
            }
        }
    }

    // A selection made of whole frames, as the editor makes it, comes out as exactly those
    // frames, however far into the file and however unround its seconds.
    void savesASelectionOfWholeFramesToTheFrame_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int64_t>("first");
        QTest::addColumn<int64_t>("count");
        for (const QString ext : {"wav", "flac"}) {
            QTest::addRow("%s, one frame", qPrintable(ext)) << ext << int64_t{96001} << int64_t{1};
            QTest::addRow("%s, a third of a second in", qPrintable(ext))
                << ext << int64_t{16000} << int64_t{47999};
            QTest::addRow("%s, to the last frame", qPrintable(ext))
                << ext << int64_t{5 * 48000 - 12345} << int64_t{12345};
        }
    }

    void savesASelectionOfWholeFramesToTheFrame() {
        QFETCH(QString, extension);
        QFETCH(int64_t, first);
        QFETCH(int64_t, count);
        constexpr int rate = 48000;
        // Each frame's own value on the 16-bit grid, which every lossless format keeps exactly.
        const auto counting = [](int64_t frame) { return float(frame % 30011 - 15000) / 32768; };
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        writeSamples(source, rate, 2, 5 * rate,
                     [&](int64_t frame, int) { return counting(frame); });
        const TimeRange selection{double(first) / rate, double(first + count) / rate};
        QCOMPARE(exportAndWait(source, selection, clip), QString());
        const std::vector<float> decoded = decode(clip);
        QCOMPARE(int64_t(decoded.size()), count);
        for (int64_t i = 0; i < count; ++i)
            if (decoded[size_t(i)] != counting(first + i))
                QFAIL(qPrintable(QStringLiteral("frame %1 of the clip holds frame %2's value")
                                     .arg(i)
                                     .arg(decoded[size_t(i)] * 32768 + 15000)));
    }

    void writesAStandardFile_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("expectedRate");
        QTest::addColumn<int>("expectedChannels");
        // The most kb/s, or the bits per sample of lossless formats. Opus spends more than its
        // nominal rate on a pure tone, as FFmpeg's own encode of it does.
        QTest::addColumn<int>("kbps");
        QTest::newRow("m4a stereo 48000 Hz") << "m4a" << 48000 << 2 << "aac" << 48000 << 2 << 256;
        QTest::newRow("m4a mono 22050 Hz") << "m4a" << 22050 << 1 << "aac" << 22050 << 1 << 128;
        QTest::newRow("m4a 192000 Hz") << "m4a" << 192000 << 2 << "aac" << 48000 << 2 << 256;
        QTest::newRow("m4a 176400 Hz") << "m4a" << 176400 << 2 << "aac" << 44100 << 2 << 256;
        QTest::newRow("m4a quadraphonic") << "m4a" << 48000 << 4 << "aac" << 48000 << 2 << 256;
        QTest::newRow("mp3 stereo 44100 Hz") << "mp3" << 44100 << 2 << "mp3" << 44100 << 2 << 320;
        QTest::newRow("mp3 mono 96000 Hz") << "mp3" << 96000 << 1 << "mp3" << 48000 << 1 << 320;
        QTest::newRow("opus stereo 44100 Hz") << "opus" << 44100 << 2 << "opus" << 48000 << 2 << -1;
        QTest::newRow("opus mono 16000 Hz") << "opus" << 16000 << 1 << "opus" << 48000 << 1 << -1;
        QTest::newRow("flac stereo 96000 Hz") << "flac" << 96000 << 2 << "flac" << 96000 << 2 << 24;
        QTest::newRow("flac 5.1") << "flac" << 48000 << 6 << "flac" << 48000 << 2 << 24;
        QTest::newRow("wav mono 44100 Hz")
            << "wav" << 44100 << 1 << "pcm_s24le" << 44100 << 1 << 24;
        QTest::newRow("wav upper-case name")
            << "WAV" << 48000 << 2 << "pcm_s24le" << 48000 << 2 << 24;
    }

    void writesAStandardFile() {
        QFETCH(QString, extension);
        QFETCH(int, sourceRate);
        QFETCH(int, channels);
        QFETCH(QString, codec);
        QFETCH(int, expectedRate);
        QFETCH(int, expectedChannels);
        QFETCH(int, kbps);
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        writeSource(source, sourceRate, channels, {0.2, 0.4, 0.6});
        QCOMPARE(exportAndWait(source, TimeRange{0.5, 2.5}, clip), QString());
        const QJsonObject info = probe(clip);
        const QJsonValue stream = info["streams"][0];
        QCOMPARE(stream["codec_name"].toString(), codec);
        QCOMPARE(stream["sample_rate"].toString().toInt(), expectedRate);
        QCOMPARE(stream["channels"].toInt(), expectedChannels);
        // Exact lengths are checked by decoding; MP3's estimate counts the encoder's delay.
        QVERIFY(std::abs(info["format"]["duration"].toString().toDouble() - 2.0) <= 0.05);
        if (isLossless(extension.toLower())) {
            QCOMPARE(stream["bits_per_raw_sample"].toString().toInt(), kbps);
            return;
        }
        const double bytes = info["format"]["size"].toString().toDouble();
        QVERIFY2(kbps < 0 || bytes * 8 / 2.0 / 1000 <= kbps * 1.15,
                 qPrintable(QString::number(bytes)));
        if (codec == "aac") {
            QCOMPARE(stream["profile"].toString(), QStringLiteral("LC"));
            const QByteArray file = readFile(clip); // the index first: players start at once
            QVERIFY(file.indexOf("moov") >= 0 && file.indexOf("moov") < file.indexOf("mdat"));
        }
    }

    // The resampler holds the last frames back until it is drained: the length tells.
    void resampledLengthIsExactToTheFrame_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("expectedRate");
        QTest::newRow("opus from 44100 Hz") << "opus" << 44100 << 48000;
        QTest::newRow("mp3 from 96000 Hz") << "mp3" << 96000 << 48000;
        QTest::newRow("flac from 768000 Hz") << "flac" << 768000 << 384000;
    }

    void resampledLengthIsExactToTheFrame() {
        QFETCH(QString, extension);
        QFETCH(int, sourceRate);
        QFETCH(int, expectedRate);
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        writeSource(source, sourceRate, 1, {0.3, 0.3, 0.3});
        QCOMPARE(exportAndWait(source, TimeRange{0.5, 2.5}, clip), QString());
        QCOMPARE(int64_t(decode(clip).size()), int64_t(2 * expectedRate));
    }

    void cleansSamplesNoEncoderTakes_data() {
        QTest::addColumn<QString>("extension");
        for (const ExportFormat format : allExportFormats)
            QTest::newRow(qPrintable(extensionOf(format))) << extensionOf(format);
    }

    // Half a second each: NaN, +Inf, alternating ±Inf, ±1e6, then a plain tone.
    void cleansSamplesNoEncoderTakes() {
        QFETCH(QString, extension);
        constexpr int rate = 48000;
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        const float inf = std::numeric_limits<float>::infinity();
        writeSamples(source, rate, 2, 5 * rate / 2, [&](int64_t frame, int) {
            switch (frame / (rate / 2)) {
            case 0:
                return std::numeric_limits<float>::quiet_NaN();
            case 1:
                return inf;
            case 2:
                return frame % 2 ? inf : -inf;
            case 3:
                return 1e6f * tone(frame, rate, 1.0);
            default:
                return tone(frame, rate, 0.5);
            }
        });
        QCOMPARE(exportAndWait(source, TimeRange{0, 2.5}, clip), QString());
        const std::vector<float> decoded = decode(clip);
        QVERIFY(decoded.size() >= size_t(5 * rate / 2));
        const bool lossless = isLossless(extension);
        float peak = 0;
        for (const float sample : decoded) {
            QVERIFY(std::isfinite(sample));
            peak = std::max(peak, std::abs(sample));
        }
        QVERIFY2(peak <= (lossless ? 1.0f : 1.5f), qPrintable(QString::number(peak)));
        // NaN is silence; +Inf is full scale; the tone after it all is untouched.
        QVERIFY(toneLevel(decoded, 0, rate / 2 - rate / 20) < 0.01);
        QVERIFY(
            std::abs(toneLevel(decoded, 4 * rate / 2 + rate / 20, 5 * rate / 2 - rate / 20) / 0.5 -
                     1) < 0.1);
        if (lossless)
            QVERIFY(std::abs(decoded[size_t(rate * 3 / 4)] - 1.0f) < 1e-6f);
    }

    void mixesAnyChannelCountToStereo_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::newRow("9 channels to m4a") << "m4a" << 9 << 48000;
        QTest::newRow("9 channels to wav") << "wav" << 9 << 48000;
        QTest::newRow("64 channels to flac") << "flac" << 64 << 48000;
        QTest::newRow("1024 channels to mp3") << "mp3" << 1024 << 8000;
    }

    // The same tone in every channel comes out at its level on both sides, not louder.
    void mixesAnyChannelCountToStereo() {
        QFETCH(QString, extension);
        QFETCH(int, channels);
        QFETCH(int, rate);
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        writeSource(source, rate, channels, {0.5, 0.5});
        QCOMPARE(exportAndWait(source, TimeRange{0, 2}, clip), QString());
        QCOMPARE(probe(clip)["streams"][0]["channels"].toInt(), 2);
        for (const int side : {0, 1}) {
            const std::vector<float> decoded = decode(clip, side);
            const double level =
                toneLevel(decoded, int64_t(decoded.size() / 4), int64_t(decoded.size() * 3 / 4));
            QVERIFY2(std::abs(level / 0.5 - 1) < (isLossless(extension) ? 0.001 : 0.1),
                     qPrintable(QStringLiteral("side %1 at %2").arg(side).arg(level)));
        }
    }

    void exportsTheExtremeRates_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("expectedRate");
        for (const ExportFormat format : allExportFormats) {
            const QString ext = extensionOf(format);
            const bool keepsRate = format == ExportFormat::wav || format == ExportFormat::flac;
            QTest::addRow("%s from 1 Hz", qPrintable(ext)) << ext << 1 << (keepsRate ? 1 : 0);
            QTest::addRow("%s from 768000 Hz", qPrintable(ext))
                << ext << 768000
                << (format == ExportFormat::wav    ? 768000
                    : format == ExportFormat::flac ? 384000
                                                   : 48000);
        }
    }

    // Lossless formats keep 1 Hz; the resampler can't make 48 kHz of it, which must be said
    // (expected rate 0) rather than end in an empty file or gigabytes of memory.
    void exportsTheExtremeRates() {
        QFETCH(QString, extension);
        QFETCH(int, sourceRate);
        QFETCH(int, expectedRate);
        const ScratchFolder folder;
        const QString source = folder.source(), clip = folder.clip(extension);
        const int seconds = sourceRate == 1 ? 10 : 1;
        writeSamples(source, sourceRate, 2, int64_t(seconds) * sourceRate,
                     [](int64_t frame, int) { return frame % 2 ? 0.25f : -0.25f; });
        const int64_t memoryBefore = peakMemoryKiB();
        const QString error = exportAndWait(source, TimeRange{0, double(seconds)}, clip);
        QVERIFY2(peakMemoryKiB() - memoryBefore < 200 * 1024, "more than 200 MB grown");
        if (expectedRate == 0) {
            QCOMPARE(error, "Audio recorded at 1 Hz can't be converted to the 48000 Hz this "
                            "format needs. Save it as FLAC or WAV instead.");
            QCOMPARE(folderEntries(folder.path()), QStringList{"source.caf"});
            return;
        }
        QCOMPARE(error, QString());
        const QJsonObject info = probe(clip);
        QCOMPARE(info["streams"][0]["sample_rate"].toString().toInt(), expectedRate);
        QVERIFY(std::abs(info["format"]["duration"].toString().toDouble() - seconds) <= 0.05);
    }

    void failsReadablyAndLeavesTheFolderAsItWas_data() {
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<QString>("destinationName");
        QTest::addColumn<int>("fileSizeLimit"); // bytes the process may write, as on a full disk
        QTest::addColumn<QString>("expectedText");
        const TimeRange mid{1.0, 2.0};
        const QString src = "source.caf", keep = "keep.m4a", noFile = "No such file or directory";
        QTest::newRow("missing source") << "gone.caf" << mid << keep << 0 << noFile;
        QTest::newRow("not audio") << "notes.txt" << mid << keep << 0 << "Format not recognised";
        QTest::newRow("destination folder missing") << src << mid << "missing/a.m4a" << 0 << noFile;
        QTest::newRow("unwritable folder") << src << mid << "locked/a.m4a" << 0 << "Permission";
        QTest::newRow("destination is a folder")
            << src << mid << "folder.wav" << 0 << "Is a directory";
        QTest::newRow("unknown extension")
            << src << mid << "keep.ogg" << 0 << "“keep.ogg” doesn't end in a format";
        QTest::newRow("no extension")
            << src << mid << "keep" << 0 << "“keep” doesn't end in a format";
        QTest::newRow("write fails") << src << TimeRange{0, 6} << keep << 32768 << "File too large";
        QTest::newRow("write fails, wav")
            << src << TimeRange{0, 6} << "keep.wav" << 32768 << "File too large";
        QTest::newRow("empty range") << src << TimeRange{1, 1} << keep << 0 << "holds no audio";
        QTest::newRow("after the end") << src << TimeRange{10, 12} << keep << 0 << "holds no audio";
    }

    void failsReadablyAndLeavesTheFolderAsItWas() {
        QFETCH(QString, sourceName);
        QFETCH(TimeRange, range);
        QFETCH(QString, destinationName);
        QFETCH(int, fileSizeLimit);
        QFETCH(QString, expectedText);
        if (destinationName.startsWith("locked") && ::geteuid() == 0)
            QSKIP("file permissions don't bind root");
        QTemporaryDir folder;
        writeSource(folder.filePath("source.caf"), 48000, 2, levels);
        writeFile(folder.filePath("notes.txt"), "These are not the samples you are looking for.\n");
        const QByteArray old = "an earlier export the user wants to keep";
        writeFile(folder.filePath("keep.m4a"), old);
        const QDir dir(folder.path());
        QVERIFY(dir.mkpath("folder.wav/inside") &&
                dir.mkdir("locked", QFile::ReadOwner | QFile::ExeOwner));
        const QStringList before = folderEntries(folder.path());
        const QString source = sourceName.contains(':') ? sourceName : folder.filePath(sourceName);
        rlimit original{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
        const rlimit limited{rlim_t(fileSizeLimit), original.rlim_max};
        QVERIFY(fileSizeLimit == 0 || ::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const QString error = exportAndWait(source, range, folder.filePath(destinationName));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &original), 0);
        QVERIFY2(error.contains(expectedText), qPrintable(error));
        QCOMPARE(folderEntries(folder.path()), before);
        QCOMPARE(readFile(folder.filePath("keep.m4a")), old);
    }

    void failsWhenTheSourceChangesMidway_data() {
        QTest::addColumn<bool>("shrinks");
        QTest::newRow("cut short") << true;
        QTest::newRow("written to") << false;
    }

    // Another program truncates or appends to the recording while it is being read.
    void failsWhenTheSourceChangesMidway() {
        QFETCH(bool, shrinks);
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, 48000, 2, std::vector<double>(120, 0.3));
        writeFile(clip, "an older clip");
        QFuture<void> future = AudioExporter::exportTrimmed(source, TimeRange{0, 120}, clip);
        QTRY_VERIFY(future.progressValue() > 0);
        QVERIFY2(future.progressValue() < 500, "the export got too far to test this");
        QFile file(source);
        QVERIFY(shrinks ? file.resize(file.size() / 4)
                        : file.open(QIODevice::Append) && file.write(QByteArray(4096, 0)) == 4096);
        file.close();
        QString error;
        try {
            future.waitForFinished();
        } catch (const std::exception& failure) {
            error = QString::fromUtf8(failure.what());
        }
        QVERIFY2(error.contains("changed while it was being saved"), qPrintable(error));
        QCOMPARE(readFile(clip), QByteArray("an older clip"));
        QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
    }

    void replacesTheFileAtTheEndOfALinkChain_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("a → b → clip") << true;
        QTest::newRow("a → b → nothing yet") << false;
    }

    void replacesTheFileAtTheEndOfALinkChain() {
        QFETCH(bool, targetExists);
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.flac");
        writeSource(source, 48000, 1, {0.2, 0.4});
        if (targetExists)
            writeFile(clip, "an older clip");
        QVERIFY(QFile::link("clip.flac", folder.filePath("b.flac")) &&
                QFile::link("b.flac", folder.filePath("a.flac")));
        QCOMPARE(exportAndWait(source, TimeRange{0, 1}, folder.filePath("a.flac")), QString());
        QCOMPARE(probe(clip)["streams"][0]["codec_name"].toString(), QStringLiteral("flac"));
        QVERIFY(QFileInfo(folder.filePath("a.flac")).isSymLink());
        QVERIFY(QFileInfo(folder.filePath("b.flac")).isSymLink());
        QCOMPARE(folderEntries(folder.path()),
                 (QStringList{"a.flac", "b.flac", "clip.flac", "source.caf"}));
    }

    void keepsTheModeButNoSpecialBits() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.mp3");
        writeSource(source, 48000, 1, {0.2, 0.4});
        writeFile(clip, "an older clip");
        const QByteArray name = QFile::encodeName(clip);
        QCOMPARE(::chmod(name.constData(), 07750), 0);
        QCOMPARE(exportAndWait(source, TimeRange{0, 1}, clip), QString());
        struct stat written = {};
        QCOMPARE(::stat(name.constData(), &written), 0);
        QCOMPARE(written.st_mode & 07777, mode_t(0750));
        QCOMPARE(probe(clip)["streams"][0]["codec_name"].toString(), QStringLiteral("mp3"));
    }

    // Refused even for an administrator, whom the file's mode doesn't stop.
    void refusesADestinationTheUserCantWrite() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.opus");
        writeSource(source, 48000, 1, {0.2, 0.4});
        writeFile(clip, "an older clip");
        QVERIFY(
            QFile::setPermissions(clip, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::link("clip.opus", folder.filePath("link.opus")));
        for (const QString name : {"clip.opus", "link.opus"}) {
            const QString error = exportAndWait(source, TimeRange{0, 1}, folder.filePath(name));
            QCOMPARE(error, QStringLiteral("You don't have permission to replace “clip.opus”."));
        }
        QCOMPARE(readFile(clip), QByteArray("an older clip"));
        QCOMPARE(folderEntries(folder.path()),
                 (QStringList{"clip.opus", "link.opus", "source.caf"}));
    }

    void cancellingLeavesTheDestinationAsItWas() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, 48000, 2, std::vector<double>(60, 0.3));
        writeFile(clip, "an older clip");
        QFuture<void> future = AudioExporter::exportTrimmed(source, TimeRange{0, 60}, clip);
        QTRY_VERIFY(future.progressValue() > 0); // cancelled under way, not before it began
        future.cancel();
        future.waitForFinished();
        QVERIFY(future.isCanceled());
        QCOMPARE(readFile(clip), QByteArray("an older clip"));
        QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
    }

    // What a save killed midway leaves is cleared by the next save into that folder; files of
    // another naming, recent ones and ones a writer still holds are left alone.
    void removesWhatAKilledSaveLeftBehind() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf");
        writeSource(source, 48000, 1, {0.2, 0.4});
        const QString abandoned = folder.filePath(".clip.m4a.0123456789abcdef.part");
        writeFile(abandoned, QByteArray(786 * 1024, 'a'));
        ageByAnHour(abandoned);
        const QString otherNaming = folder.filePath(".clip.m4a.part");
        writeFile(otherNaming, "someone else's");
        ageByAnHour(otherNaming);
        writeFile(folder.filePath(".clip.m4a.fedcba9876543210.part"), "just begun");
        const QString held = folder.filePath(".take.m4a.00000000000000aa.part");
        writeFile(held, "still being written");
        ageByAnHour(held);
        const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
        const QString error = exportAndWait(source, TimeRange{0, 1}, folder.filePath("clip.m4a"));
        ::close(holder);
        QCOMPARE(error, QString());
        QCOMPARE(folderEntries(folder.path()),
                 (QStringList{".clip.m4a.fedcba9876543210.part", ".clip.m4a.part",
                              ".take.m4a.00000000000000aa.part", "clip.m4a", "source.caf"}));
    }

    // A second save into the folder must not take the staged file of one still under way,
    // however long that one has gone on.
    void leavesTheStagedFileOfASaveUnderWay() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, 48000, 2, std::vector<double>(60, 0.3));
        QFuture<void> longSave = AudioExporter::exportTrimmed(source, TimeRange{0, 60}, clip);
        QTRY_VERIFY(longSave.progressValue() > 0);
        const QStringList staged =
            QDir(folder.path()).entryList({".clip.m4a.*.part"}, QDir::Files | QDir::Hidden);
        QCOMPARE(staged.size(), 1);
        ageByAnHour(folder.filePath(staged.first()));
        QCOMPARE(exportAndWait(source, TimeRange{0, 1}, folder.filePath("short.flac")), QString());
        QVERIFY(QFile::exists(folder.filePath(staged.first())) || longSave.isFinished());
        longSave.waitForFinished();
        QCOMPARE(probe(clip)["streams"][0]["codec_name"].toString(), QStringLiteral("aac"));
        QCOMPARE(folderEntries(folder.path()),
                 (QStringList{"clip.m4a", "short.flac", "source.caf"}));
    }
};

QTEST_GUILESS_MAIN(AudioExporterTest)
#include "AudioExporterTest.moc"
