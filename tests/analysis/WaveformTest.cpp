#include "Waveform.h"

#include "ReferencePeaks.h"
#include "TestAudioFile.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

std::optional<Waveform::Data> extract(const QString& path, qint64 targetPeakCount = 800) {
    return Waveform::extractPeaks(QUrl::fromLocalFile(path), targetPeakCount).result();
}

void expectSamePeaks(const std::vector<float>& actual, const std::vector<float>& expected,
                     float tolerance = 0.0f) {
    QCOMPARE(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        QVERIFY2(
            std::fabs(actual[i] - expected[i]) <= tolerance,
            qPrintable(
                QStringLiteral("bin %1: %2, expected %3").arg(i).arg(actual[i]).arg(expected[i])));
}

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    return true;
}

} // namespace

// Real files on disk, written with libsndfile or by other tools, through the public loader.
class WaveformTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void tenSecondsOfStereo() {
        // Bin i holds (i % 100) / 100 once, in the right channel, on its last frame; the left
        // channel stays below it with negative samples.
        const qint64 frames = 480'000;
        std::vector<float> samples(frames * 2);
        for (qint64 frame = 0; frame < frames; ++frame) {
            const float level = static_cast<float>((frame / 600) % 100) / 100.0f;
            samples[frame * 2] = -level / 2;
            samples[frame * 2 + 1] = frame % 600 == 599 ? level : 0.0f;
        }
        const QString path = m_dir.filePath("ten-seconds.caf");
        QVERIFY(writeAudioFile(path, 2, 48'000, samples));

        const std::optional<Waveform::Data> data = extract(path);

        QVERIFY(data);
        QCOMPARE(data->framesPerPeak, qint64(600));
        QCOMPARE(data->peaks.size(), std::size_t(800));
        QCOMPARE(data->totalFrames, frames);
        QCOMPARE(data->sampleRate, 48'000.0);
        QCOMPARE(data->duration(), 10.0);
        for (std::size_t i = 0; i < data->peaks.size(); ++i)
            QCOMPARE(data->peaks[i], static_cast<float>(i % 100) / 100.0f);
    }

    void binCountFollowsLength_data() {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("framesPerPeak");
        QTest::addColumn<int>("bins");
        QTest::newRow("one frame") << qint64(1) << qint64(1) << 1;
        QTest::newRow("fewer frames than bins") << qint64(500) << qint64(1) << 500;
        QTest::newRow("just under two per bin") << qint64(1'599) << qint64(1) << 1'599;
        QTest::newRow("remainder of one frame") << qint64(2'401) << qint64(3) << 801;
        QTest::newRow("a bin straddling two reads") << qint64(80'000) << qint64(100) << 800;
        QTest::newRow("remainder after several reads") << qint64(200'123) << qint64(250) << 801;
    }

    void binCountFollowsLength() {
        QFETCH(qint64, frames);
        QFETCH(qint64, framesPerPeak);
        QFETCH(int, bins);
        const std::vector<float> samples = awkwardSamples(frames * 2, 11u);
        const QString path = m_dir.filePath(QStringLiteral("length-%1.caf").arg(frames));
        QVERIFY(writeAudioFile(path, 2, 44'100, samples));

        const std::optional<Waveform::Data> data = extract(path);

        QVERIFY(data);
        QCOMPARE(data->framesPerPeak, framesPerPeak);
        QCOMPARE(data->peaks.size(), std::size_t(bins));
        QCOMPARE(data->totalFrames, frames);
        QCOMPARE(data->sampleRate, 44'100.0);
        expectSamePeaks(data->peaks, referencePeaks(samples, 2, framesPerPeak));
    }

    void binStraddlingTwoReadsIsOneBin() {
        // Bin 655 holds frames 65,500…65,599; the first read ends after frame 65,535.
        std::vector<float> samples(80'000, 0.0f);
        samples[65'499] = 0.3f;
        samples[65'510] = -0.4f;
        samples[65'590] = 0.8f;
        const QString path = m_dir.filePath("straddle.caf");
        QVERIFY(writeAudioFile(path, 1, 48'000, samples));

        const std::optional<Waveform::Data> data = extract(path);

        QVERIFY(data);
        QCOMPARE(data->peaks.size(), std::size_t(800));
        QCOMPARE(data->peaks[654], 0.3f);
        QCOMPARE(data->peaks[655], 0.8f);
        QCOMPARE(data->peaks[656], 0.0f);
    }

    void loudRightChannelSilentLeft() {
        std::vector<float> samples(2 * 48'000, 0.0f);
        for (std::size_t frame = 0; frame < 48'000; ++frame)
            samples[frame * 2 + 1] = frame % 2 ? -0.25f : 0.25f;
        const QString path = m_dir.filePath("right-only.caf");
        QVERIFY(writeAudioFile(path, 2, 48'000, samples));

        const std::optional<Waveform::Data> data = extract(path);

        QVERIFY(data);
        expectSamePeaks(data->peaks, std::vector<float>(800, 0.25f));
    }

    void nanAndOversizeSamplesStayRaw() {
        // Three bins of two frames: NaN only, NaN beside a quiet sample, and a clipped burst.
        const std::vector<float> samples = {std::nanf(""), -std::nanf(""), std::nanf(""),
                                            -0.125f,       -1.5f,          2.0f};
        const QString path = m_dir.filePath("nan.caf");
        QVERIFY(writeAudioFile(path, 1, 48'000, samples));

        const std::optional<Waveform::Data> data = extract(path, 3);

        QVERIFY(data);
        expectSamePeaks(data->peaks, {0.0f, 0.125f, 2.0f});
    }

    void chunkAfterTheSamplesIsNotAudio() {
        const QString path = m_dir.filePath("commented.wav");
        QVERIFY(writeAudioFile(path, 1, 48'000, std::vector<float>(1'000, 0.25f),
                               SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                               "A comment long enough to read as a few more frames of audio."));
        QVERIFY(QFileInfo(path).size() > 4'000 + 60);

        const std::optional<Waveform::Data> data = extract(path, 10);

        QVERIFY(data);
        QCOMPARE(data->totalFrames, qint64(1'000));
        expectSamePeaks(data->peaks, std::vector<float>(10, 0.25f));
    }

    void unreadableFilesGiveNothing() {
        QVERIFY(!extract(m_dir.filePath("missing.caf")));

        const QString text = m_dir.filePath("notes.caf");
        QFile textFile(text);
        QVERIFY(textFile.open(QIODevice::WriteOnly));
        textFile.write(QByteArray("These are not the samples you are looking for.\n").repeated(40));
        textFile.close();
        QVERIFY(!extract(text));

        const QString empty = m_dir.filePath("empty.caf");
        QFile emptyFile(empty);
        QVERIFY(emptyFile.open(QIODevice::WriteOnly));
        emptyFile.close();
        QVERIFY(!extract(empty));

        const QString noFrames = m_dir.filePath("no-frames.caf");
        QVERIFY(writeAudioFile(noFrames, 2, 48'000, {}));
        QVERIFY(QFileInfo(noFrames).size() > 0);
        QVERIFY(!extract(noFrames));

        // Cut mid-data and mid-header: libsndfile refuses both rather than read past the end.
        const QString full = m_dir.filePath("full.caf");
        QVERIFY(writeAudioFile(full, 2, 48'000, std::vector<float>(200'000, 0.5f)));
        for (const qint64 size : {qint64(400'000), qint64(40)}) {
            const QString truncated = m_dir.filePath(QStringLiteral("truncated-%1.caf").arg(size));
            QVERIFY(QFile::copy(full, truncated));
            QVERIFY(QFile::resize(truncated, size));
            QVERIFY2(!extract(truncated), qPrintable(truncated));
        }

        QVERIFY(!Waveform::extractPeaks(QUrl("https://example.com/recording.caf"), 800).result());
    }

    void otherToolsFilesReadTheSame() {
        const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
        const QString sox = QStandardPaths::findExecutable("sox");
        if (ffmpeg.isEmpty() || sox.isEmpty())
            QSKIP("needs ffmpeg and sox");

        const qint64 frames = 96'017;
        std::vector<float> samples(frames * 2);
        for (qint64 frame = 0; frame < frames; ++frame) {
            const double t = static_cast<double>(frame) / 48'000.0;
            samples[frame * 2] = static_cast<float>(0.6 * std::sin(2 * M_PI * 440 * t) * t / 2);
            samples[frame * 2 + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 97 * t));
        }
        const QString ours = m_dir.filePath("ours.caf");
        QVERIFY(writeAudioFile(ours, 2, 48'000, samples));
        const std::optional<Waveform::Data> expected = extract(ours);
        QVERIFY(expected);

        // The recorder's own byte order: little-endian float CAF.
        const QString littleEndian = m_dir.filePath("little-endian.caf");
        QVERIFY(writeAudioFile(littleEndian, 2, 48'000, samples,
                               SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE));
        const std::optional<Waveform::Data> fromLittleEndian = extract(littleEndian);
        QVERIFY(fromLittleEndian);
        QCOMPARE(fromLittleEndian->totalFrames, expected->totalFrames);
        expectSamePeaks(fromLittleEndian->peaks, expected->peaks);

        // Float WAV from ffmpeg: the same samples, so the same peaks to the bit.
        const QString wav = m_dir.filePath("ffmpeg.wav");
        QVERIFY(runTool(ffmpeg, {"-v", "error", "-y", "-i", ours, "-c:a", "pcm_f32le", wav}));
        const std::optional<Waveform::Data> fromWav = extract(wav);
        QVERIFY(fromWav);
        QCOMPARE(fromWav->totalFrames, expected->totalFrames);
        QCOMPARE(fromWav->framesPerPeak, expected->framesPerPeak);
        QCOMPARE(fromWav->sampleRate, expected->sampleRate);
        expectSamePeaks(fromWav->peaks, expected->peaks);

        // 16-bit FLAC from sox, undithered: within one quantisation step. (sox misreads float
        // CAF, so it starts from ffmpeg's WAV.)
        const QString flac = m_dir.filePath("sox.flac");
        QVERIFY(runTool(sox, {"-D", wav, "-b", "16", flac}));
        const std::optional<Waveform::Data> fromFlac = extract(flac);
        QVERIFY(fromFlac);
        QCOMPARE(fromFlac->totalFrames, expected->totalFrames);
        expectSamePeaks(fromFlac->peaks, expected->peaks, 1.0f / 32768);

        // A tone sox made itself, read as libsndfile's normalised floats.
        const QString tone = m_dir.filePath("tone.aiff");
        QVERIFY(runTool(sox, {"-n", "-r", "22050", "-c", "1", "-b", "24", tone, "synth", "2",
                              "sine", "1000", "vol", "0.5"}));
        const std::optional<Waveform::Data> fromTone = extract(tone);
        QVERIFY(fromTone);
        QCOMPARE(fromTone->totalFrames, qint64(44'100));
        QCOMPARE(fromTone->sampleRate, 22'050.0);
        for (const float peak : fromTone->peaks)
            QVERIFY2(peak > 0.45f && peak <= 0.5f, qPrintable(QString::number(peak)));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(WaveformTest)
#include "WaveformTest.moc"
