#include "AudioExporter.h"

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
#include <numbers>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_METATYPE(TimeRange)

namespace {

const std::vector<double> levels{0.05, 0.1, 0.2, 0.4, 0.8, 0.3};

// Second i is a 1 kHz tone at levels[i] in every channel: the level tells where audio came from.
void writeSource(const QString& path, int sampleRate, int channels, std::vector<double> perSecond) {
    SF_INFO info{0, sampleRate, channels, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    std::vector<float> second(size_t(sampleRate) * channels);
    int64_t frame = 0;
    for (const double level : perSecond) {
        for (size_t i = 0; i < second.size(); i += channels, ++frame)
            std::fill_n(second.begin() + i, channels,
                        float(level * std::sin(2 * std::numbers::pi * frame * 1000 / sampleRate)));
        QCOMPARE(sf_writef_float(file, second.data(), sampleRate), sampleRate);
    }
    sf_close(file);
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
    QFuture<void> future = AudioExporter::exportTrimmed(QUrl::fromUserInput(source), range,
                                                        QUrl::fromLocalFile(destination));
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

// The first channel as any player decodes it.
std::vector<float> decode(const QString& path) {
    const QByteArray raw =
        run("ffmpeg", {"-v", "error", "-i", path, "-af", "pan=mono|c0=c0", "-f", "f32le", "-"});
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
        sum += double(samples[i]) * samples[i];
    return std::sqrt(2 * sum / double(end - begin));
}

// The time in seconds, searching from `after`, where the tone's level first crosses halfway.
double levelChangeAt(const std::vector<float>& s, int rate, double from, double to, double after) {
    const int window = rate / 500;
    for (auto at = int64_t(after * rate); at + window <= int64_t(s.size()); at += window / 4)
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

} // namespace

class AudioExporterTest : public QObject {
    Q_OBJECT

private slots:
    void exportsExactlyTheSelectedRange_data() {
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<TimeRange>("expected"); // the part of the 6 s source that must come out
        QTest::newRow("fractions of seconds") << TimeRange{1.5, 3.25} << TimeRange{1.5, 3.25};
        QTest::newRow("starts before the file") << TimeRange{-1.0, 2.5} << TimeRange{0.0, 2.5};
        QTest::newRow("ends past the file") << TimeRange{4.5, 100.0} << TimeRange{4.5, 6.0};
        QTest::newRow("a short clip") << TimeRange{3.9, 4.1} << TimeRange{3.9, 4.1};
    }

    void exportsExactlyTheSelectedRange() {
        QFETCH(TimeRange, range);
        QFETCH(TimeRange, expected);
        constexpr int rate = 48000;
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, rate, 2, levels);
        QCOMPARE(exportAndWait(source, range, clip), QString());
        const std::vector<float> decoded = decode(clip);
        const double extraFrames = std::abs(double(decoded.size()) - expected.length() * rate);
        QVERIFY2(extraFrames <= 1024, qPrintable(QString::number(extraFrames))); // one AAC frame
        // Each second of the selection at its level and in its place: a slip moves every boundary.
        for (int second = int(expected.lower); second < std::ceil(expected.upper); ++second) {
            const double from = std::max<double>(second, expected.lower) - expected.lower;
            const double to = std::min<double>(second + 1, expected.upper) - expected.lower;
            const auto begin = int64_t((from + 0.02) * rate), end = int64_t((to - 0.02) * rate);
            if (end > begin)
                QVERIFY2(std::abs(toneLevel(decoded, begin, end) / levels[second] - 1) < 0.1,
                         qPrintable(QStringLiteral("level of second %1").arg(second)));
            if (second > expected.lower) {
                const double found = levelChangeAt(decoded, rate, levels[second - 1],
                                                   levels[second], std::max(0.0, from - 0.1));
                QVERIFY2(std::abs(found - from) < 0.003,
                         qPrintable(QStringLiteral("second %1 at %2 s").arg(second).arg(found)));
            }
        }
    }

    void writesAStandardM4aFile_data() {
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("expectedRate");
        QTest::addColumn<int>("expectedChannels");
        QTest::newRow("stereo 48000 Hz") << 48000 << 2 << 48000 << 2;
        QTest::newRow("mono 22050 Hz") << 22050 << 1 << 22050 << 1;
        QTest::newRow("stereo 192000 Hz, beyond AAC") << 192000 << 2 << 48000 << 2;
        QTest::newRow("stereo 176400 Hz, beyond AAC") << 176400 << 2 << 44100 << 2;
        QTest::newRow("quadraphonic, mixed down") << 48000 << 4 << 48000 << 2;
    }

    void writesAStandardM4aFile() {
        QFETCH(int, sourceRate);
        QFETCH(int, channels);
        QFETCH(int, expectedRate);
        QFETCH(int, expectedChannels);
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, sourceRate, channels, {0.2, 0.4, 0.6});
        QCOMPARE(exportAndWait(source, TimeRange{0.5, 2.5}, clip), QString());
        const QJsonObject info = probe(clip);
        const QJsonValue stream = info["streams"][0];
        QCOMPARE(stream["codec_name"].toString(), QStringLiteral("aac"));
        QCOMPARE(stream["profile"].toString(), QStringLiteral("LC"));
        QCOMPARE(stream["sample_rate"].toString().toInt(), expectedRate);
        QCOMPARE(stream["channels"].toInt(), expectedChannels);
        const double tolerance = 0.001; // the edit list trims priming and padding exactly
        QVERIFY(std::abs(stream["duration"].toString().toDouble() - 2.0) <= tolerance);
        QVERIFY(std::abs(info["format"]["duration"].toString().toDouble() - 2.0) <= tolerance);
        const double kbps = stream["bit_rate"].toString().toDouble() / 1000;
        QVERIFY(kbps > 0 && kbps <= (expectedChannels == 1 ? 128 : 256) * 1.1);
        const QByteArray bytes = readFile(clip); // the index first, so players can start at once
        QVERIFY(bytes.indexOf("moov") >= 0 && bytes.indexOf("moov") < bytes.indexOf("mdat"));
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
        QTest::newRow("not a local file") << "https://a.org/a.caf" << mid << keep << 0 << "set up";
        QTest::newRow("destination folder missing") << src << mid << "missing/a.m4a" << 0 << noFile;
        QTest::newRow("unwritable folder") << src << mid << "locked/a.m4a" << 0 << "Permission";
        QTest::newRow("destination is a folder") << src << mid << "folder" << 0 << "Is a directory";
        QTest::newRow("write fails") << src << TimeRange{0, 6} << keep << 32768 << "File too large";
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
        QVERIFY(dir.mkpath("folder/inside") &&
                dir.mkdir("locked", QFile::ReadOwner | QFile::ExeOwner));
        const QStringList before = folderEntries(folder.path());
        const QString source = sourceName.contains(':') ? sourceName : folder.filePath(sourceName);
        std::signal(SIGXFSZ, SIG_IGN); // writes past the limit fail instead of ending the process
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

    void replacesTheDestinationOnSuccess_data() {
        QTest::addColumn<QString>("exportTo");
        QTest::newRow("the read-only file itself") << "clip.m4a";
        QTest::newRow("a link to it") << "link.m4a";
    }

    void replacesTheDestinationOnSuccess() {
        QFETCH(QString, exportTo);
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, 48000, 1, {0.2, 0.4});
        writeFile(clip, "an older clip");
        const auto mode = QFile::ReadOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(clip, mode) &&
                QFile::link(clip, folder.filePath("link.m4a")));
        QCOMPARE(exportAndWait(source, TimeRange{0, 1}, folder.filePath(exportTo)), QString());
        QCOMPARE(probe(clip)["streams"][0]["codec_name"].toString(), QStringLiteral("aac"));
        QVERIFY(QFileInfo(folder.filePath("link.m4a")).isSymLink());
        QCOMPARE(QFile::permissions(clip) & ~(QFile::ReadUser | QFile::WriteUser), mode);
        QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "link.m4a", "source.caf"}));
    }

    void cancellingLeavesTheDestinationAsItWas() {
        QTemporaryDir folder;
        const QString source = folder.filePath("source.caf"), clip = folder.filePath("clip.m4a");
        writeSource(source, 48000, 2, std::vector<double>(60, 0.3));
        writeFile(clip, "an older clip");
        QFuture<void> future = AudioExporter::exportTrimmed(
            QUrl::fromLocalFile(source), TimeRange{0, 60}, QUrl::fromLocalFile(clip));
        QTRY_VERIFY(future.progressValue() > 0); // cancelled under way, not before it began
        future.cancel();
        future.waitForFinished();
        QVERIFY(future.isCanceled());
        QCOMPARE(readFile(clip), QByteArray("an older clip"));
        QCOMPARE(folderEntries(folder.path()), (QStringList{"clip.m4a", "source.caf"}));
    }
};

QTEST_GUILESS_MAIN(AudioExporterTest)
#include "AudioExporterTest.moc"
