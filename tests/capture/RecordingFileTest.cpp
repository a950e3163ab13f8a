#include "RecordingFile.h"

#include "CaptureTestUtil.h"

#include <QProcess>
#include <unistd.h>

constexpr qint64 totalFrames = 48000 * 3 + 123;

// Interleaved stereo frames [from, to) of a ramp that doesn't repeat within a buffer.
static std::vector<float> ramp(qint64 from, qint64 to) {
    std::vector<float> samples;
    for (qint64 frame = from; frame < to; ++frame)
        samples.insert(samples.end(), {float(frame % 1000) / 1000, -float(frame % 997) / 997});
    return samples;
}

class RecordingFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The header is kept current: a writer killed with SIGKILL leaves every frame it appended.
    void aKilledWriterLeavesEveryAppendedFrameReadable() {
        QTemporaryDir dir;
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {"--write-and-wait", dir.path()});
        QTRY_VERIFY_WITH_TIMEOUT(writer.canReadLine(), 20000);
        const QString path = QString::fromLocal8Bit(writer.readLine().trimmed());
        writer.kill();
        QVERIFY(writer.waitForFinished() && writer.exitStatus() == QProcess::CrashExit);
        const SoundFile file(path);
        QVERIFY2(isPrivateRecording(path, file), qPrintable(path));
        QVERIFY(file.samples == ramp(0, totalFrames));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--write-and-wait") == 0) {
        // The writer: appends the ramp a buffer at a time, says where, and waits to be killed.
        auto file = RecordingFile::create(QString::fromLocal8Bit(argv[2]), 48000, 2);
        for (qint64 at = 0; file && at < totalFrames; at += 960) {
            const std::vector<float> buffer = ramp(at, std::min(at + 960, totalFrames));
            static_cast<void>((*file)->append(buffer.data(), buffer.size() / 2));
        }
        QTextStream(stdout) << (file ? (*file)->path() : "no file") << Qt::endl;
        return pause();
    }
    QCoreApplication app(argc, argv);
    RecordingFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RecordingFileTest.moc"
