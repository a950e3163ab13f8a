#include "Waveform.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>

// Float CAF in libsndfile's default big-endian order unless told otherwise.
bool writeAudio(const QString& path, const std::vector<float>& stereo,
                int format = SF_FORMAT_CAF | SF_FORMAT_FLOAT, const char* comment = nullptr) {
    SF_INFO info{0, 48'000, 2, format, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const sf_count_t frames = sf_count_t(stereo.size() / 2);
    const bool written = file && sf_writef_float(file, stereo.data(), frames) == frames &&
                         (!comment || sf_set_string(file, SF_STR_COMMENT, comment) == 0);
    return file && sf_close(file) == 0 && written;
}

std::optional<Waveform::Data> extract(const QString& path) {
    return Waveform::extractPeaks(QUrl::fromLocalFile(path), 800).result();
}

class WaveformTest : public QObject {
    Q_OBJECT

private slots:
    void sameSamplesFromEveryWriter() {
        // Bin i peaks at (i % 100) / 50 on its last right frame; left: below, negative, or NaN.
        std::vector<float> samples(2 * 480'000);
        for (std::size_t frame = 0; frame < 480'000; ++frame) {
            const float level = float((frame / 600) % 100) / 50.0f;
            samples[frame * 2] = frame % 7 ? -level / 2 : std::nanf("");
            samples[frame * 2 + 1] = frame % 600 == 599 ? level : 0.0f;
        }
        const QString ours = m_dir.filePath("ours.caf"), wav = m_dir.filePath("commented.wav"),
                      tool = m_dir.filePath("ffmpeg.wav");
        QVERIFY(writeAudio(ours, samples));
        const std::optional<Waveform::Data> expected = extract(ours);
        QVERIFY(expected);
        QCOMPARE(expected->totalFrames, qint64(480'000));
        QCOMPARE(expected->sampleRate, 48'000.0);
        QCOMPARE(expected->peaks.size(), std::size_t(800));
        for (std::size_t i = 0; i < expected->peaks.size(); ++i)
            QCOMPARE(expected->peaks[i], float(i % 100) / 50.0f);

        // Little-endian with a chunk after the samples, and float WAV from ffmpeg.
        QVERIFY(writeAudio(wav, samples, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                           "A comment long enough to read as a few more frames of audio."));
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("needs ffmpeg");
        QCOMPARE(
            QProcess::execute("ffmpeg", {"-v", "error", "-i", ours, "-c:a", "pcm_f32le", tool}), 0);
        for (const QString& path : {wav, tool}) {
            const std::optional<Waveform::Data> data = extract(path);
            QVERIFY2(data, qPrintable(path));
            QCOMPARE(data->totalFrames, expected->totalFrames);
            QCOMPARE(data->peaks, expected->peaks);
        }
    }

    void unreadableFilesGiveNothing() {
        const QString cut = m_dir.filePath("truncated.caf");
        QVERIFY(writeAudio(cut, std::vector<float>(200'000, 0.5f)) && QFile::resize(cut, 400'000));
        QVERIFY(writeAudio(m_dir.filePath("no-frames.caf"), {}));
        QVERIFY(QFile(m_dir.filePath("empty.caf")).open(QIODevice::WriteOnly));
        // Missing, cut mid-data, no frames, zero bytes, and this test program: not audio.
        for (const QString& path :
             {m_dir.filePath("missing.caf"), cut, m_dir.filePath("no-frames.caf"),
              m_dir.filePath("empty.caf"), QCoreApplication::applicationFilePath()})
            QVERIFY2(!extract(path), qPrintable(path));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(WaveformTest)
#include "WaveformTest.moc"
