#include "AudioExporter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_METATYPE(TimeRange)

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

constexpr double toneHz = 1000.0;
constexpr int aacFrameSamples = 1024;

// Second i of the source is a 1 kHz tone at levels[i] in every channel, so the level tells
// which second a piece of decoded audio came from.
void writeSource(const QString& path, int sampleRate, int channels,
                 const std::vector<double>& levels) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    std::unique_ptr<SNDFILE, SndfileCloser> file(
        sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    QVERIFY2(file, sf_strerror(nullptr));
    std::vector<float> second(static_cast<size_t>(sampleRate) * channels);
    int64_t frame = 0;
    for (const double level : levels) {
        for (int i = 0; i < sampleRate; ++i, ++frame) {
            const double value =
                level * std::sin(2 * std::numbers::pi * toneHz * frame / sampleRate);
            for (int channel = 0; channel < channels; ++channel)
                second[static_cast<size_t>(i) * channels + channel] = static_cast<float>(value);
        }
        QCOMPARE(sf_writef_float(file.get(), second.data(), sampleRate), sampleRate);
    }
}

QString exportAndWait(const QString& source, TimeRange range, const QString& destination) {
    try {
        AudioExporter::exportTrimmed(QUrl::fromLocalFile(source), range,
                                     QUrl::fromLocalFile(destination))
            .waitForFinished();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.readAllStandardOutput();
}

// The first channel as any player decodes it, at the file's own rate.
std::vector<float> decode(const QString& path) {
    const QByteArray raw =
        run("ffmpeg", {"-v", "error", "-i", path, "-af", "pan=mono|c0=c0", "-f", "f32le", "-"});
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
}

QJsonObject probeStream(const QString& path) {
    const QJsonObject probe =
        QJsonDocument::fromJson(
            run("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", path}))
            .object();
    QJsonObject stream = probe["streams"].toArray().at(0).toObject();
    stream["format_duration"] = probe["format"].toObject()["duration"];
    return stream;
}

double rms(const std::vector<float>& samples, int64_t begin, int64_t end) {
    double sum = 0;
    for (int64_t i = begin; i < end; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(end - begin));
}

// Where the loudness first crosses halfway between two levels, in frames.
int64_t levelChangeFrame(const std::vector<float>& samples, int sampleRate, double fromLevel,
                         double toLevel, int64_t searchFrom) {
    const int window = sampleRate / 500; // 2 ms
    const double threshold = (fromLevel + toLevel) / 2 / std::numbers::sqrt2;
    for (int64_t at = searchFrom; at + window <= int64_t(samples.size()); at += window / 4) {
        const double level = rms(samples, at, at + window);
        if ((toLevel > fromLevel) == (level > threshold))
            return at + window / 2;
    }
    return -1;
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class AudioExporterTest : public QObject {
    Q_OBJECT

private slots:
    void exportsExactlyTheSelectedRange_data();
    void exportsExactlyTheSelectedRange();
    void writesAStandardM4aFile_data();
    void writesAStandardM4aFile();
    void failsReadablyAndLeavesTheFolderAsItWas_data();
    void failsReadablyAndLeavesTheFolderAsItWas();
    void failsInAnUnwritableFolder();
    void failingMidWriteKeepsTheExistingDestination();
    void replacesAnExistingDestinationOnSuccess();
    void replacingKeepsTheLinkedFileAndItsPermissions();
    void cancellingLeavesTheDestinationAsItWas();
    void reportsProgressUpToTheEnd();
    void continuationsReceiveTheErrorText();
};

const std::vector<double> levels{0.05, 0.1, 0.2, 0.4, 0.8, 0.3};

void AudioExporterTest::exportsExactlyTheSelectedRange_data() {
    QTest::addColumn<TimeRange>("range");
    QTest::addColumn<TimeRange>("expected"); // the part of the 6 s source that must come out

    QTest::newRow("whole seconds") << TimeRange{2.0, 4.0} << TimeRange{2.0, 4.0};
    QTest::newRow("fractions of seconds") << TimeRange{1.5, 3.25} << TimeRange{1.5, 3.25};
    QTest::newRow("the whole recording") << TimeRange{0.0, 6.0} << TimeRange{0.0, 6.0};
    QTest::newRow("starts before the file") << TimeRange{-1.0, 2.5} << TimeRange{0.0, 2.5};
    QTest::newRow("ends past the file") << TimeRange{4.5, 100.0} << TimeRange{4.5, 6.0};
    QTest::newRow("a short clip") << TimeRange{3.9, 4.1} << TimeRange{3.9, 4.1};
}

void AudioExporterTest::exportsExactlyTheSelectedRange() {
    QFETCH(TimeRange, range);
    QFETCH(TimeRange, expected);
    constexpr int sampleRate = 48000;
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString destination = folder.filePath("clip.m4a");
    writeSource(source, sampleRate, 2, levels);

    QCOMPARE(exportAndWait(source, range, destination), QString());

    const std::vector<float> decoded = decode(destination);
    const double expectedFrames = expected.length() * sampleRate;
    QVERIFY2(std::abs(double(decoded.size()) - expectedFrames) <= aacFrameSamples,
             qPrintable(
                 QStringLiteral("%1 frames, expected %2").arg(decoded.size()).arg(expectedFrames)));

    // Each whole or partial second inside the selection sits where it belongs and at its level;
    // a shifted start (priming left in, a rounding slip) moves every boundary.
    for (int second = int(std::floor(expected.lower)); second < std::ceil(expected.upper);
         ++second) {
        const double from = std::max<double>(second, expected.lower) - expected.lower;
        const double to = std::min<double>(second + 1, expected.upper) - expected.lower;
        const auto begin = int64_t((from + 0.02) * sampleRate);
        const auto end = int64_t((to - 0.02) * sampleRate);
        if (end > begin) {
            const double measured = rms(decoded, begin, end) * std::numbers::sqrt2;
            QVERIFY2(std::abs(measured - levels[second]) < 0.1 * levels[second],
                     qPrintable(QStringLiteral("second %1: level %2, expected %3")
                                    .arg(second)
                                    .arg(measured)
                                    .arg(levels[second])));
        }
        if (second > expected.lower) {
            const double boundarySeconds = second - expected.lower;
            const int64_t found =
                levelChangeFrame(decoded, sampleRate, levels[second - 1], levels[second],
                                 int64_t((boundarySeconds - 0.1) * sampleRate));
            QVERIFY2(std::abs(double(found) / sampleRate - boundarySeconds) < 0.003,
                     qPrintable(QStringLiteral("level changes at %1 s, expected %2 s")
                                    .arg(double(found) / sampleRate)
                                    .arg(boundarySeconds)));
        }
    }
}

void AudioExporterTest::writesAStandardM4aFile_data() {
    QTest::addColumn<int>("sourceRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("expectedRate");
    QTest::addColumn<int>("expectedChannels");

    QTest::newRow("stereo 48000 Hz") << 48000 << 2 << 48000 << 2;
    QTest::newRow("mono 44100 Hz") << 44100 << 1 << 44100 << 1;
    QTest::newRow("mono 22050 Hz") << 22050 << 1 << 22050 << 1;
    QTest::newRow("stereo 192000 Hz, beyond AAC") << 192000 << 2 << 48000 << 2;
    QTest::newRow("stereo 176400 Hz, beyond AAC") << 176400 << 2 << 44100 << 2;
    QTest::newRow("quadraphonic, mixed down") << 48000 << 4 << 48000 << 2;
}

void AudioExporterTest::writesAStandardM4aFile() {
    QFETCH(int, sourceRate);
    QFETCH(int, channels);
    QFETCH(int, expectedRate);
    QFETCH(int, expectedChannels);
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString destination = folder.filePath("clip.m4a");
    writeSource(source, sourceRate, channels, {0.2, 0.4, 0.6});

    QCOMPARE(exportAndWait(source, TimeRange{0.5, 2.5}, destination), QString());

    const QJsonObject stream = probeStream(destination);
    QCOMPARE(stream["codec_name"].toString(), QStringLiteral("aac"));
    QCOMPARE(stream["profile"].toString(), QStringLiteral("LC"));
    QCOMPARE(stream["sample_rate"].toString().toInt(), expectedRate);
    QCOMPARE(stream["channels"].toInt(), expectedChannels);
    const double toleranceSeconds = double(aacFrameSamples) / expectedRate;
    QVERIFY(std::abs(stream["duration"].toString().toDouble() - 2.0) <= toleranceSeconds);
    QVERIFY(std::abs(stream["format_duration"].toString().toDouble() - 2.0) <= toleranceSeconds);
    const double kbps = stream["bit_rate"].toString().toDouble() / 1000;
    QVERIFY2(kbps > 0 && kbps <= (expectedChannels == 1 ? 128 : 256) * 1.1,
             qPrintable(QString::number(kbps)));

    // The index before the audio, so a player can start without reading the whole file.
    QFile file(destination);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.indexOf("moov") >= 0);
    QVERIFY(bytes.indexOf("moov") < bytes.indexOf("mdat"));
}

void AudioExporterTest::failsReadablyAndLeavesTheFolderAsItWas_data() {
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<TimeRange>("range");
    QTest::addColumn<QString>("destinationName");
    QTest::addColumn<QString>("expectedText");

    const TimeRange middle{1.0, 2.0};
    QTest::newRow("missing source") << "gone.caf" << middle << "keep.m4a"
                                    << "No such file or directory";
    QTest::newRow("source is not audio") << "notes.txt" << middle << "keep.m4a"
                                         << "Format not recognised";
    QTest::newRow("destination folder missing") << "source.caf" << middle << "missing/clip.m4a"
                                                << "No such file or directory";
    QTest::newRow("destination is a folder") << "source.caf" << middle << "folder"
                                             << "Is a directory";
    QTest::newRow("empty range") << "source.caf" << TimeRange{1.0, 1.0} << "keep.m4a"
                                 << "The selection holds no audio";
    QTest::newRow("range after the end") << "source.caf" << TimeRange{10.0, 12.0} << "keep.m4a"
                                         << "The selection holds no audio";
}

void AudioExporterTest::failsReadablyAndLeavesTheFolderAsItWas() {
    QFETCH(QString, sourceName);
    QFETCH(TimeRange, range);
    QFETCH(QString, destinationName);
    QFETCH(QString, expectedText);
    QTemporaryDir folder;
    writeSource(folder.filePath("source.caf"), 48000, 2, {0.2, 0.4, 0.6});
    QFile notes(folder.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("These are not the samples you are looking for.\n");
    notes.close();
    QVERIFY(QDir(folder.path()).mkpath("folder/inside"));
    const QByteArray previous = "an earlier export the user wants to keep";
    QFile keep(folder.filePath("keep.m4a"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write(previous);
    keep.close();
    const QStringList before = folderEntries(folder.path());

    const QString error =
        exportAndWait(folder.filePath(sourceName), range, folder.filePath(destinationName));

    QVERIFY2(!error.isEmpty(), "the export must fail");
    QVERIFY2(error.contains(expectedText), qPrintable(error));
    QCOMPARE(folderEntries(folder.path()), before);
    QCOMPARE(folderEntries(folder.filePath("folder")), QStringList{"inside"});
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), previous);
}

void AudioExporterTest::failsInAnUnwritableFolder() {
    if (::geteuid() == 0)
        QSKIP("file permissions don't bind root");
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    writeSource(source, 48000, 2, {0.2, 0.4});
    const QString locked = folder.filePath("locked");
    QVERIFY(QDir(folder.path()).mkdir("locked"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));

    const QString error = exportAndWait(source, TimeRange{0, 1}, locked + "/clip.m4a");

    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(error, QStringLiteral("Permission denied"));
    QCOMPARE(folderEntries(locked), QStringList());
}

// The disk gives out while the file is being written: a file size limit makes every write past
// 64 KiB fail, the way a full disk would, without needing one.
void AudioExporterTest::failingMidWriteKeepsTheExistingDestination() {
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString destination = folder.filePath("clip.m4a");
    writeSource(source, 48000, 2, std::vector<double>(10, 0.3));
    QFile old(destination);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older clip");
    old.close();

    rlimit original{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = original;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString error = exportAndWait(source, TimeRange{0, 10}, destination);
    ::setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(error, QStringLiteral("File too large"));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("an older clip"));
    QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
}

void AudioExporterTest::replacesAnExistingDestinationOnSuccess() {
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString destination = folder.filePath("clip.m4a");
    writeSource(source, 48000, 2, {0.2, 0.4, 0.6});
    QFile old(destination);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older clip");
    old.close();

    QCOMPARE(exportAndWait(source, TimeRange{0.5, 1.5}, destination), QString());

    QCOMPARE(probeStream(destination)["codec_name"].toString(), QStringLiteral("aac"));
    QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
}

void AudioExporterTest::replacingKeepsTheLinkedFileAndItsPermissions() {
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString target = folder.filePath("real.m4a");
    const QString link = folder.filePath("link.m4a");
    writeSource(source, 48000, 1, {0.2, 0.4});
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older clip");
    old.close();
    const auto mode = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther; // read-only
    QVERIFY(QFile::setPermissions(target, mode));
    QVERIFY(QFile::link(target, link));

    QCOMPARE(exportAndWait(source, TimeRange{0, 1}, link), QString());

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(probeStream(target)["codec_name"].toString(), QStringLiteral("aac"));
    QCOMPARE(QFile::permissions(target) & ~(QFile::ReadUser | QFile::WriteUser), mode);
    QCOMPARE(folderEntries(folder.path()), (QStringList{"link.m4a", "real.m4a", "source.caf"}));
}

void AudioExporterTest::cancellingLeavesTheDestinationAsItWas() {
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    const QString destination = folder.filePath("clip.m4a");
    writeSource(source, 48000, 2, std::vector<double>(60, 0.3));
    QFile old(destination);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older clip");
    old.close();

    QFuture<void> future = AudioExporter::exportTrimmed(
        QUrl::fromLocalFile(source), TimeRange{0, 60}, QUrl::fromLocalFile(destination));
    // Cancel mid-way, once encoding is under way, not before the task has even started.
    QTRY_VERIFY(future.progressValue() > 0);
    QVERIFY(!future.isFinished());
    future.cancel();
    future.waitForFinished();

    QVERIFY(future.isCanceled());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("an older clip"));
    QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
}

void AudioExporterTest::reportsProgressUpToTheEnd() {
    QTemporaryDir folder;
    const QString source = folder.filePath("source.caf");
    writeSource(source, 48000, 2, std::vector<double>(5, 0.3));
    QFutureWatcher<void> watcher;
    std::vector<int> values;
    connect(&watcher, &QFutureWatcher<void>::progressValueChanged, this,
            [&](int value) { values.push_back(value); });
    QSignalSpy finished(&watcher, &QFutureWatcher<void>::finished);
    watcher.setFuture(AudioExporter::exportTrimmed(QUrl::fromLocalFile(source), TimeRange{0, 5},
                                                   QUrl::fromLocalFile(folder.filePath("a.m4a"))));

    QVERIFY(finished.wait(30'000));
    QCoreApplication::processEvents();
    QVERIFY(!values.empty());
    QVERIFY(std::is_sorted(values.begin(), values.end()));
    QCOMPARE(watcher.progressMaximum(), 1000);
    QCOMPARE(watcher.progressValue(), 1000);
}

// The way the window consumes the future: a continuation on a context object, then onFailed.
void AudioExporterTest::continuationsReceiveTheErrorText() {
    QTemporaryDir folder;
    QObject context;
    QString received;
    bool succeeded = false;
    AudioExporter::exportTrimmed(QUrl::fromLocalFile(folder.filePath("gone.caf")), TimeRange{0, 1},
                                 QUrl::fromLocalFile(folder.filePath("a.m4a")))
        .then(&context, [&] { succeeded = true; })
        .onFailed(&context, [&](const std::exception& error) { received = error.what(); });
    QTRY_VERIFY(!received.isEmpty());
    QVERIFY(!succeeded);
    QVERIFY2(received.contains("No such file or directory"), qPrintable(received));

    std::optional<AudioExporter::ExportError::Case> errorCase;
    AudioExporter::exportTrimmed(QUrl("https://example.com/recording.caf"), TimeRange{0, 1},
                                 QUrl::fromLocalFile(folder.filePath("b.m4a")))
        .then(&context, [&] { succeeded = true; })
        .onFailed(&context, [&](const AudioExporter::ExportError& error) {
            errorCase = error.errorCase();
            received = error.what();
        });
    QTRY_VERIFY(errorCase.has_value());
    QVERIFY(!succeeded);
    QCOMPARE(*errorCase, AudioExporter::ExportError::sessionCreationFailed);
    QCOMPARE(received, QStringLiteral("Couldn't set up the export."));
}

QTEST_GUILESS_MAIN(AudioExporterTest)
#include "AudioExporterTest.moc"
