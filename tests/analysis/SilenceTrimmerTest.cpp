#include "SilenceTrimmer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>

// Bins at 0.5 and NaN bins among quiet ones; no range is expected as -1 … -1.
struct Case {
    QList<int> loud;
    double lower, upper, padding = 0.15;
    float threshold = 0.01f;
    QList<int> nan = {};
};

namespace {
constexpr double rate = 48'000.0;
constexpr qint64 thirtyMinutes = 30 * 60 * 48'000;

// Mono float CAF of `frames` frames: noise at ±0.004 (below the threshold), and two seconds of a
// 440 Hz tone at 0.5 from frame `from` on and two seconds up to, not including, frame `to`.
bool writeToneInNoise(const QString& path, qint64 frames, qint64 from, qint64 to) {
    SF_INFO info{0, int(rate), 1, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> chunk(48'000);
    bool written = true;
    for (qint64 start = 0; start < frames && written; start += qint64(chunk.size())) {
        const qint64 count = std::min<qint64>(qint64(chunk.size()), frames - start);
        for (qint64 i = 0; i < count; ++i) {
            const qint64 frame = start + i;
            const bool tone = (frame >= from && frame < from + 2 * qint64(rate)) ||
                              (frame >= to - 2 * qint64(rate) && frame < to);
            chunk[std::size_t(i)] =
                tone ? 0.5f * float(std::cos(2 * M_PI * 440.0 * double(frame - from) / rate))
                     : 0.004f * float((frame * 7919) % 1000) / 1000.0f * (frame % 2 ? 1 : -1);
        }
        written = sf_writef_float(file, chunk.data(), count) == count;
    }
    return sf_close(file) == 0 && written;
}

// Reads from memory; every read fails once `failing` is set.
struct MemoryReader final : FrameReader {
    std::vector<float> samples;
    qint64 position = 0;
    bool failing = false;
    int channelCount() const override { return 1; }
    double sampleRate() const override { return rate; }
    qint64 lengthFrames() const override { return qint64(samples.size()); }
    std::optional<qint64> read(float* out, qint64 frames) override {
        if (failing)
            return std::nullopt;
        const qint64 n = std::min(frames, qint64(samples.size()) - position);
        std::copy_n(samples.begin() + position, n, out);
        position += n;
        return n;
    }
    bool seek(qint64 frame) override {
        position = frame;
        return frame <= qint64(samples.size());
    }
};
} // namespace

class SilenceTrimmerTest : public QObject {
    Q_OBJECT

private slots:
    void trim_data() {
        QTest::addColumn<Case>("c");
        // A bin is 12.5 ms: sound runs from the first loud bin's start to the last one's end.
        QTest::newRow("first loud bin start to last loud bin end, padded")
            << Case{{40, 300, 720}, 0.35, 9.1625};
        QTest::newRow("threshold equal to the peak") << Case{{400}, 4.85, 5.1625, 0.15, 0.5f};
        QTest::newRow("just above") << Case{{400}, -1, -1, 0.15, std::nextafter(0.5f, 1.0f)};
        QTest::newRow("one loud bin: padding, the bin, padding") << Case{{400}, 4.85, 5.1625};
        QTest::newRow("one loud bin without padding") << Case{{400}, 5.0, 5.0125, 0.0};
        QTest::newRow("sound in the last bin ends at the duration")
            << Case{{0, 799}, 0.0, 10.0, 0.0};
        QTest::newRow("no loud bin") << Case{{}, -1, -1};
        QTest::newRow("NaN is never sound")
            << Case{{200, 600}, 2.35, 7.6625, 0.15, 0.01f, {0, 100, 700, 799}};
    }

    void trim() {
        QFETCH(Case, c);
        // Ten seconds at 48 kHz in 800 bins of 600 frames (12.5 ms each).
        Waveform::Data data{std::vector<float>(800, 0.001f), 600, rate, 480'000, {}};
        for (const int bin : c.loud)
            data.peaks[std::size_t(bin)] = 0.5f;
        for (const int bin : c.nan)
            data.peaks[std::size_t(bin)] = std::nanf("");

        const TimeRange range =
            SilenceTrimmer::trim(data, c.threshold, c.padding).value_or(TimeRange{-1, -1});

        QCOMPARE(range.lower, c.lower);
        QCOMPARE(range.upper, c.upper);
        // A recording of no length leaves no room for a range, loud or not.
        data.totalFrames = 0;
        QVERIFY(!SilenceTrimmer::trim(data, c.threshold, c.padding));
    }

    void refinedEndsAreTheSoundsOwnOnALongFile() {
        // 30 minutes; sound starts 0.7 s into bin 27 and ends 0.3 s before bin 757 ends.
        const qint64 from = qint64(27 * 2.25 * rate + 0.7 * rate);
        const qint64 to = qint64(758 * 2.25 * rate - 0.3 * rate);
        const QString path = m_dir.filePath("thirty-minutes.caf");
        QVERIFY(writeToneInNoise(path, thirtyMinutes, from, to));
        const std::optional<Waveform::Data> data = Waveform::extractPeaks(path, 800).result();
        QVERIFY(data && data->framesPerPeak == qint64(2.25 * rate));

        // The bins' ends hold all of the sound; the samples' ends are within 10 ms of it.
        const TimeRange coarse = *SilenceTrimmer::trim(*data, 0.01f, 0.15);
        QVERIFY(coarse.lower <= double(from) / rate - 0.15);
        QVERIFY(coarse.upper >= double(to) / rate + 0.15);
        const std::optional<TimeRange> exact =
            SilenceTrimmer::refineFile(path, *data, 0.01f, 0.15).result();
        QVERIFY(exact);
        QVERIFY2(std::abs(exact->lower - (double(from) / rate - 0.15)) <= 0.01,
                 qPrintable(QString::number(exact->lower)));
        QVERIFY2(std::abs(exact->upper - (double(to) / rate + 0.15)) <= 0.01,
                 qPrintable(QString::number(exact->upper)));

        // A file that is gone leaves the coarse result standing.
        QVERIFY(QFile::remove(path));
        QVERIFY(!SilenceTrimmer::refineFile(path, *data, 0.01f, 0.15).result());
    }

    void refineNeverWidensPastTheRecordingNorTrustsAFailingRead() {
        // One second, 100 bins of 480 frames; sound in frames 100 … 47,899.
        MemoryReader reader;
        reader.samples.assign(48'000, 0.0f);
        for (qint64 frame = 100; frame < 47'900; ++frame)
            reader.samples[std::size_t(frame)] = frame % 2 ? 0.3f : -0.3f;
        reader.samples[200] = std::nanf(""); // never sound, never harmful
        Waveform::Data data{std::vector<float>(100, 0.3f), 480, rate, 48'000, {}};
        const TimeRange exact = *SilenceTrimmer::refine(reader, data, 0.01f, 0.15);
        QCOMPARE(exact.lower, 0.0);
        QCOMPARE(exact.upper, 1.0);
        QCOMPARE(*SilenceTrimmer::refine(reader, data, 0.01f, 0.001),
                 (TimeRange{100 / rate - 0.001, 47'900 / rate + 0.001}));
        // The last loud bin moves back; bins that claim sound the samples lack, and a failing
        // read, give no refined range.
        data.peaks[99] = 0.0f;
        std::fill(reader.samples.begin() + 47'000, reader.samples.end(), 0.0f);
        QVERIFY(SilenceTrimmer::refine(reader, data, 0.01f, 0.0)); // bin 97 and 98 still have it
        data.peaks.assign(100, 0.0f);
        data.peaks[50] = 0.3f;
        std::fill(reader.samples.begin(), reader.samples.end(), 0.0f);
        QVERIFY(!SilenceTrimmer::refine(reader, data, 0.01f, 0.0));
        reader.samples[24'000] = 0.5f;
        QVERIFY(SilenceTrimmer::refine(reader, data, 0.01f, 0.0));
        reader.failing = true;
        QVERIFY(!SilenceTrimmer::refine(reader, data, 0.01f, 0.0));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(SilenceTrimmerTest)
#include "SilenceTrimmerTest.moc"
