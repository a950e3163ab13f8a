#include "Waveform.h"

#include "PeakLevels.h"

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
    return Waveform::extractPeaks(path, 800).result();
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

    void zoomedPeaksMatchTheSamples() {
        // Ten seconds of stereo whose level changes every frame, so any misplaced bin shows.
        std::vector<float> samples(2 * 480'000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = float((i * 2654435761u) % 2001) / 1000.0f - 1.0f;
        const QString path = m_dir.filePath("zoom.caf");
        QVERIFY(writeAudio(path, samples));
        const std::optional<Waveform::Data> data = extract(path);
        QVERIFY(data);
        QCOMPARE(data->detailPeaks.size(), std::size_t(480'000 / 1024 + 1));
        PeakLevels levels(path, data->detailPeaks, Waveform::Data::framesPerDetailPeak,
                          data->totalFrames);
        const auto direct = [&](qint64 from, qint64 to) {
            float peak = 0.0f;
            for (qint64 i = 2 * from; i < 2 * std::min<qint64>(to, 480'000); ++i)
                peak = std::max(peak, std::abs(samples[std::size_t(i)]));
            return peak;
        };
        // {from, to, frames per peak}: single frames, across tiles, folded from the detail
        // bins, a level that is no power of two, and past the end.
        for (auto [from, to, asked] : {std::tuple<qint64, qint64, qint64>{1'000, 1'100, 1},
                                       {3'000, 20'000, 8},
                                       {100'001, 300'000, 512},
                                       {0, 480'000, 1024},
                                       {5'000, 470'000, 16'384},
                                       {7, 479'999, 100},
                                       {470'000, 900'000, 256}}) {
            const std::optional<PeakLevels::Span> span = levels.span(from, to, asked);
            QVERIFY(span);
            const qint64 level = span->framesPerPeak;
            QVERIFY(level <= asked && level * 2 > asked);
            QCOMPARE(span->firstFrame, from / level * level);
            QCOMPARE(qint64(span->peaks.size()),
                     (std::min<qint64>(to, 480'000) + level - 1) / level - from / level);
            for (std::size_t i = 0; i < span->peaks.size(); ++i) {
                const qint64 bin = span->firstFrame + qint64(i) * level;
                QCOMPARE(span->peaks[i], direct(bin, bin + level));
            }
        }
        // Once the file is gone, what came from the analysis still zooms; the rest is missing.
        QVERIFY(QFile::remove(path));
        QVERIFY(levels.span(0, 480'000, 2048));
        QVERIFY(levels.span(1'000, 1'100, 1)); // kept from before
        QVERIFY(!levels.span(200'000, 200'100, 1));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(WaveformTest)
#include "WaveformTest.moc"
