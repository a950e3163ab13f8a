#include "Waveform.h"

#include "DetailPeaksFile.h"
#include "PeakLevels.h"
#include "SavedPeaksComparison.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <sys/stat.h>

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

    // Saved detail peaks open a recording as reading it would: exactly, where the overview's bins
    // fall on the detail bins' edges, and within a detail bin of it elsewhere.
    void savedPeaksOpenARecordingAsReadingItDoes() {
        const QString path = m_dir.filePath("saved.caf");
        QVERIFY(writeAudio(path, levelChangingEveryFrame(savedFrames)));
        QVERIFY(!Waveform::fromSavedPeaks(path, 800)); // none saved yet
        QVERIFY(saveDetailOf(path));
        // 4096 frames per peak, then 1024 (a detail bin each), then 1 (a piece of one).
        for (const qint64 target : {qint64(200), qint64(800), qint64(2'000'000)}) {
            const std::optional<Waveform::Data> read =
                Waveform::extractPeaks(path, target).result();
            const std::optional<Waveform::Data> saved = Waveform::fromSavedPeaks(path, target);
            QVERIFY(read && saved);
            QVERIFY2(savedPeaksDiffer(*saved, *read).isEmpty(),
                     qPrintable(savedPeaksDiffer(*saved, *read)));
            if (target == 200)
                QCOMPARE(saved->peaks, read->peaks);
        }
        const std::optional<Waveform::Data> odd = Waveform::fromSavedPeaks(path, 333);
        const std::optional<Waveform::Data> oddRead = Waveform::extractPeaks(path, 333).result();
        QVERIFY(odd && oddRead && savedPeaksDiffer(*odd, *oddRead).isEmpty());
    }

    // Peaks that don't belong to the file as it is now are left alone, and the file is read.
    void peaksThatDontMatchTheRecordingAreIgnored_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("recording grown since") << 0;
        QTest::newRow("cut short") << 1;
        QTest::newRow("longer than its header says") << 2;
        QTest::newRow("another sample rate") << 3;
        QTest::newRow("another version") << 4;
        QTest::newRow("not a magnitude") << 5;
        QTest::newRow("frame count off by one") << 6;
        QTest::newRow("empty") << 7;
        QTest::newRow("a named pipe in its place") << 8;
    }
    void peaksThatDontMatchTheRecordingAreIgnored() {
        QFETCH(int, fault);
        const QString path = m_dir.filePath(QStringLiteral("mismatch-%1.caf").arg(fault));
        QVERIFY(writeAudio(path, levelChangingEveryFrame(savedFrames)));
        std::optional<Waveform::Data> read = extract(path);
        QVERIFY(read);
        DetailPeaksFile peaks{read->totalFrames, 48'000, read->detailPeaks};
        if (fault == 3)
            peaks.sampleRateHz = 44'100;
        if (fault == 5)
            peaks.peaks[7] = -0.5f;
        if (fault == 6)
            peaks.totalFrames -= 1;
        QVERIFY(peaks.save(path));
        QVERIFY(Waveform::fromSavedPeaks(path, 800) || fault >= 3);

        const QString peaksPath = DetailPeaksFile::pathFor(path);
        QFile file(peaksPath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (fault == 0) { // a recording killed and made anew under its name
            QVERIFY(writeAudio(path, levelChangingEveryFrame(savedFrames + 1024)));
            read = extract(path);
        }
        if (fault == 1)
            QVERIFY(file.resize(file.size() - 4));
        if (fault == 2)
            QVERIFY(file.seek(file.size()) && file.write("\0\0\0\0", 4) == 4);
        if (fault == 4) {
            QVERIFY(file.seek(8) && file.write("\x02", 1) == 1);
        }
        if (fault == 7)
            QVERIFY(file.resize(0));
        file.close();
        // Opened for reading, a pipe would wait for a writer that never comes.
        if (fault == 8)
            QVERIFY(QFile::remove(peaksPath) &&
                    ::mkfifo(QFile::encodeName(peaksPath).constData(), 0600) == 0);

        QVERIFY(!Waveform::fromSavedPeaks(path, 800));
        const std::optional<Waveform::Data> again = Waveform::extractPeaks(path, 800).result();
        QVERIFY(again && again->peaks == read->peaks && again->totalFrames == read->totalFrames);
    }

private:
    // Four overview bins of 4096 frames to each of 200, and a partial detail bin at the end.
    static constexpr qint64 savedFrames = 200 * 4096 + 37;

    static std::vector<float> levelChangingEveryFrame(qint64 frames) {
        std::vector<float> samples(std::size_t(2 * frames));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = float((i * 2654435761u) % 2001) / 1000.0f - 1.0f;
        // Quiet stretches, so that neighbouring bins differ.
        for (std::size_t i = 0; i < samples.size(); ++i)
            if ((i / 2 / 3000) % 3 == 1)
                samples[i] *= 0.01f * float(i % 7);
        return samples;
    }

    // As the recorder leaves them: the detail peaks of every frame, beside the file.
    static bool saveDetailOf(const QString& path) {
        const std::optional<Waveform::Data> read = Waveform::extractPeaks(path, 800).result();
        return read && DetailPeaksFile{read->totalFrames, 48'000, read->detailPeaks}.save(path);
    }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(WaveformTest)
#include "WaveformTest.moc"
