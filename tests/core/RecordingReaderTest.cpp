#include "RecordingReader.h"

#include "SoundFileHandle.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sndfile.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int64_t fileFrames = 20'000;

// Frame f holds a value of its own on the left and its negative on the right, on the 16-bit
// grid, so it is exact in 16-bit PCM and in float alike and any frame out of place shows.
short shortAt(int64_t frame) {
    return short(frame % 30'000 - 15'000);
}

float sampleAt(int64_t frame) {
    return float(shortAt(frame)) / 32768.0f; // libsndfile's scale from 16 bits to float
}

bool writeCountingFile(const QString& path, int format, int64_t frames = fileFrames) {
    SF_INFO info{0, 48000, 2, format, 0, 0};
    const SoundFileHandle file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    // Each in its own type: libsndfile scales floats to 16 bits by 32767, not 32768.
    std::vector<short> shorts;
    std::vector<float> floats;
    for (int64_t frame = 0; frame < frames; ++frame) {
        shorts.insert(shorts.end(), {shortAt(frame), short(-shortAt(frame))});
        floats.insert(floats.end(), {sampleAt(frame), -sampleAt(frame)});
    }
    return file && ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16
                        ? sf_writef_short(file.get(), shorts.data(), frames)
                        : sf_writef_float(file.get(), floats.data(), frames)) == frames;
}

// Empty when `samples` holds exactly the frames from `first` on; else what is wrong.
QString mismatch(const std::vector<float>& samples, int64_t first, int64_t frames) {
    for (int64_t i = 0; i < frames; ++i)
        if (samples[size_t(2 * i)] != sampleAt(first + i) ||
            samples[size_t(2 * i + 1)] != -sampleAt(first + i))
            return QStringLiteral("frame %1 holds %2")
                .arg(first + i)
                .arg(samples[size_t(2 * i)] * 32768);
    return {};
}

} // namespace

// Each case on real files written by libsndfile in a folder of its own.
class RecordingReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // The float path reads raw bytes (swapped for a big-endian file), the others convert.
    void readsExactFramesInEveryLayout_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("CAF little-endian float")
            << (SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE);
        QTest::newRow("CAF big-endian float") << (SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_BIG);
        QTest::newRow("WAV 16-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    }

    void readsExactFramesInEveryLayout() {
        QFETCH(int, format);
        const QString path = dir_.filePath(QStringLiteral("layout-%1").arg(format));
        QVERIFY(writeCountingFile(path, format));
        Result<RecordingReader> reader = RecordingReader::open(path);
        QVERIFY(reader);
        QCOMPARE(reader->frameCount(), fileFrames);
        QCOMPARE(reader->sampleRate(), 48000);
        QCOMPARE(reader->channelCount(), 2);
        std::vector<float> samples(2 * 5000);

        // In the middle, then the run straight after it (no seek), then back before both.
        for (const FrameRange run :
             {FrameRange{1234, 4567}, FrameRange{4567, 9000}, FrameRange{100, 600},
              FrameRange{fileFrames - 700, fileFrames}}) {
            QCOMPARE(reader->read(run, samples), run.count());
            QCOMPARE(mismatch(samples, run.first, run.count()), QString());
        }
        // Only as much as the buffer holds.
        QCOMPARE(reader->read({0, 9000}, std::span(samples).first(2 * 300)), 300);
        QCOMPARE(mismatch(samples, 0, 300), QString());
    }

    // Across the end: the frames there are, then nothing; past the end: nothing.
    void aRunAcrossOrPastTheEndGivesWhatThereIs() {
        const QString path = dir_.filePath("end.caf");
        QVERIFY(writeCountingFile(path, SF_FORMAT_CAF | SF_FORMAT_FLOAT));
        Result<RecordingReader> reader = RecordingReader::open(path);
        QVERIFY(reader);
        std::vector<float> samples(2 * 1000);
        QCOMPARE(reader->read({fileFrames - 250, fileFrames + 750}, samples), 250);
        QCOMPARE(mismatch(samples, fileFrames - 250, 250), QString());
        QCOMPARE(reader->read({fileFrames, fileFrames + 750}, samples), 0);
        QCOMPARE(reader->read({fileFrames + 10, fileFrames + 20}, samples), 0);
        // The reader is still good for a run inside the file.
        QCOMPARE(reader->read({10, 20}, samples), 10);
        QCOMPARE(mismatch(samples, 10, 10), QString());
    }

    void aFileThatCannotBeReadSaysWhy_data() {
        QTest::addColumn<QByteArray>("contents"); // empty: no file at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << "No such file or directory";
        QTest::newRow("not audio")
            << QByteArray("just some words, not a sound file\n") << "Format not recognised";
    }

    void aFileThatCannotBeReadSaysWhy() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        const QString path = dir_.filePath(QTest::currentDataTag());
        if (!contents.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        const Result<RecordingReader> reader = RecordingReader::open(path);
        QVERIFY(!reader);
        const QString error = reader.failure().message();
        QVERIFY2(error.contains(reason, Qt::CaseInsensitive), qPrintable(error));
    }

    // What stands at the path isn't a file: said at once, never waited on.
    void somethingOtherThanAFileIsRefusedAtOnce() {
        const QString pipe = dir_.filePath("pipe.caf");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const Result<RecordingReader> fromPipe = RecordingReader::open(pipe); // never blocks
        QVERIFY(!fromPipe);
        QCOMPARE(fromPipe.failure().message(),
                 QStringLiteral("Only a file on disk can be read as a recording."));
        const Result<RecordingReader> fromFolder = RecordingReader::open(dir_.path());
        QVERIFY(!fromFolder);
        QVERIFY2(fromFolder.failure().message().contains("Is a directory"),
                 qPrintable(fromFolder.failure().message()));
    }

    // Opened once: another file renamed over the path later is not what is read, and a file
    // written to since the open no longer counts as unchanged.
    void readsTheFileAsOpenedAndNoticesChanges() {
        const QString path = dir_.filePath("kept.caf");
        const QString other = dir_.filePath("other.caf");
        QVERIFY(writeCountingFile(path, SF_FORMAT_CAF | SF_FORMAT_FLOAT));
        QVERIFY(writeCountingFile(other, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100));
        Result<RecordingReader> reader = RecordingReader::open(path);
        QVERIFY(reader);
        QVERIFY(reader->isUnchanged());
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(other, path));
        std::vector<float> samples(2 * 1000);
        QCOMPARE(reader->read({5000, 6000}, samples), 1000);
        QCOMPARE(mismatch(samples, 5000, 1000), QString());
        QVERIFY(reader->isUnchanged());

        const QString written = dir_.filePath("written.caf");
        QVERIFY(writeCountingFile(written, SF_FORMAT_CAF | SF_FORMAT_FLOAT));
        Result<RecordingReader> writtenReader = RecordingReader::open(written);
        QVERIFY(writtenReader);
        QFile appended(written);
        QVERIFY(appended.open(QIODevice::Append));
        QTest::qWait(10); // a later time of change even on a coarse clock
        appended.write("x");
        appended.close();
        QVERIFY(!writtenReader->isUnchanged());
    }
};

QTEST_GUILESS_MAIN(RecordingReaderTest)
#include "RecordingReaderTest.moc"
