#include "RecordingFile.h"

#include "SoundFileContents.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::vector<float> stereoRamp(qint64 frames, float scale) {
    std::vector<float> samples(static_cast<size_t>(frames * 2));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = scale * static_cast<float>(i % 977) / 977;
    return samples;
}

// The sample-format flags of a CAF file's audio description ('desc') chunk.
std::optional<quint32> cafFormatFlags(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("caff"))
        return std::nullopt;
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const QByteArray type = bytes.mid(at, 4);
        const auto size = qFromBigEndian<qint64>(bytes.constData() + at + 4);
        if (type == "desc" && at + 12 + 16 <= bytes.size()) {
            if (bytes.mid(at + 12 + 8, 4) != "lpcm")
                return std::nullopt;
            return qFromBigEndian<quint32>(bytes.constData() + at + 12 + 12);
        }
        if (size < 0)
            break;
        at += 12 + size;
    }
    return std::nullopt;
}

constexpr quint32 cafFloatFlag = 1;
constexpr quint32 cafLittleEndianFlag = 2;

} // namespace

class RecordingFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void writesPrivateLittleEndianFloatCafThatReadsBackExactly() {
        QString error;
        auto file = RecordingFile::create(dir_.path(), 48000, 2, &error);
        QVERIFY2(file, qPrintable(error));
        QVERIFY(file->path().startsWith(dir_.path() + "/Sonabrix-"));
        QVERIFY(file->path().endsWith(".caf"));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file->path()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);

        const std::vector<float> first = stereoRamp(960, 0.5f);
        const std::vector<float> second = stereoRamp(333, -0.75f);
        QVERIFY(file->append(first.data(), 960, &error));
        QVERIFY(file->append(second.data(), 333, &error));
        QCOMPARE(file->framesWritten(), 1293);
        const QString path = file->path();
        file.reset();

        const auto contents = readSoundFile(path);
        QVERIFY(contents);
        QCOMPARE(contents->sampleRateHz, 48000);
        QCOMPARE(contents->channelCount, 2);
        QCOMPARE(contents->format & SF_FORMAT_TYPEMASK, SF_FORMAT_CAF);
        QCOMPARE(contents->format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        std::vector<float> expected = first;
        expected.insert(expected.end(), second.begin(), second.end());
        QVERIFY(contents->samples == expected);

        const std::optional<quint32> flags = cafFormatFlags(path);
        QVERIFY(flags);
        QCOMPARE(*flags & (cafFloatFlag | cafLittleEndianFlag), cafFloatFlag | cafLittleEndianFlag);
    }

    void creationFailuresSayWhy() {
        QString error;
        QVERIFY(!RecordingFile::create(dir_.filePath("missing"), 48000, 2, &error));
        QVERIFY2(error.contains(dir_.filePath("missing")) &&
                     error.contains(qt_error_string(ENOENT)),
                 qPrintable(error));
    }

    void aFailedWriteLosesOnlyWhatDidntFitAndLaterWritesFollowIt() {
        QString error;
        auto file = RecordingFile::create(dir_.path(), 48000, 2, &error);
        QVERIFY(file);
        const std::vector<float> before(960, 0.1f), big(96000, 0.2f), after(960, 0.3f);
        QVERIFY(file->append(before.data(), 480, &error));

        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(QFileInfo(file->path()).size() + 4096);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const bool bigWritten = file->append(big.data(), 48000, &error);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, SIG_DFL);
        QVERIFY(!bigWritten);
        QVERIFY2(error.contains(qt_error_string(EFBIG)) || error.contains("48000"),
                 qPrintable(error));
        const qint64 partial = file->framesWritten() - 480;
        QVERIFY(partial >= 0 && partial < 48000);

        QVERIFY(file->append(after.data(), 480, &error));
        const QString path = file->path();
        file.reset();
        const auto contents = readSoundFile(path);
        QVERIFY(contents);
        QCOMPARE(contents->frames(), 960 + partial);
        QCOMPARE(contents->samples.front(), 0.1f);
        QCOMPARE(contents->samples[static_cast<size_t>(2 * (480 + partial))], 0.3f);
        QCOMPARE(contents->samples.back(), 0.3f);
    }

    void aKilledWriterLeavesEveryAppendedFrameReadable() {
        QProcess writer;
        constexpr qint64 frames = 48000 * 3 + 123;
        writer.start(QStringLiteral(CAPTURE_FILE_WRITER_HELPER),
                     {dir_.path(), QString::number(frames)});
        QVERIFY(writer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(writer.canReadLine() || writer.state() == QProcess::NotRunning,
                                 20000);
        QVERIFY2(writer.state() == QProcess::Running, writer.readAllStandardError().constData());
        const QString path = QString::fromLocal8Bit(writer.readLine().trimmed());
        writer.kill();
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const auto contents = readSoundFile(path);
        QVERIFY(contents);
        QCOMPARE(contents->frames(), frames);
        for (qint64 frame : {qint64(0), qint64(999), qint64(1000), frames - 1}) {
            const float expected = static_cast<float>(frame % 1000) / 1000;
            QCOMPARE(contents->samples[static_cast<size_t>(2 * frame)], expected);
            QCOMPARE(contents->samples[static_cast<size_t>(2 * frame + 1)], -expected);
        }
    }
};

QTEST_GUILESS_MAIN(RecordingFileTest)
#include "RecordingFileTest.moc"
