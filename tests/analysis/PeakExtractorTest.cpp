#include "PeakExtractor.h"

#include "SampleKernels.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

constexpr qint64 whole = PeakExtractor::chunkFrames, never = 1'000'000;
struct Case {
    int channels;
    qint64 frames, reported, chunk, failAt;
};

// `frames` of audio from memory, `reported` by the header, in reads of at most `chunk` frames;
// read number `failAt` and every one after it fail.
struct FakeReader final : FrameReader {
    FakeReader(std::vector<float> s, Case c) : samples(std::move(s)), c(c) {}
    int channelCount() const override { return c.channels; }
    double sampleRate() const override { return 48000.0; }
    qint64 lengthFrames() const override { return c.reported; }
    std::optional<qint64> read(float* out, qint64 frames) override {
        if (reads++ >= c.failAt)
            return std::nullopt;
        const qint64 n = std::min({frames, c.chunk, c.frames - position});
        std::copy_n(samples.begin() + position * c.channels, n * c.channels, out);
        position += n;
        return n;
    }
    bool seek(qint64) override { return false; }
    std::vector<float> samples;
    Case c;
    qint64 position = 0, reads = 0;
};

// Noise with negatives, values above 1 and 30 % NaN of both signs.
std::vector<float> awkwardSamples(qint64 count, unsigned seed) {
    std::minstd_rand random(seed + 1);
    std::vector<float> samples(static_cast<std::size_t>(count));
    for (float& sample : samples) {
        const int pick = int(random() % 1000);
        sample = pick < 300 ? float(pick % 2 ? 1 : -1) * std::nanf("") : float(pick - 500) / 200;
    }
    return samples;
}

// The plain rule: the candidate replaces the peak when the peak is <= it, so NaN never does.
float plainMax(const float* first, const float* last, float peak) {
    for (; first != last; ++first)
        peak = peak <= std::fabs(*first) ? std::fabs(*first) : peak;
    return peak;
}

std::vector<float> referencePeaks(const std::vector<float>& samples, qint64 span) {
    std::vector<float> peaks;
    const qint64 size = qint64(samples.size());
    for (qint64 begin = 0; begin < size; begin += span)
        peaks.push_back(
            plainMax(samples.data() + begin, samples.data() + std::min(size, begin + span), 0.0f));
    return peaks.empty() ? std::vector<float>{0.0f} : peaks;
}

class PeakExtractorTest : public QObject {
    Q_OBJECT

private slots:
    void matchesReference_data() {
        QTest::addColumn<Case>("c");
        QTest::newRow("fewer frames than bins") << Case{2, 500, 500, whole, never};
        QTest::newRow("2401 frames, 801 bins") << Case{2, 2'401, 2'401, whole, never};
        QTest::newRow("bin 655 straddles two reads") << Case{2, 80'000, 80'000, whole, never};
        QTest::newRow("3 channels, odd reads") << Case{3, 30'011, 30'011, 997, never};
        QTest::newRow("fails at the first read") << Case{2, 200'000, 200'000, whole, 0};
        QTest::newRow("fails after two reads") << Case{1, 1'000'000, 1'000'000, whole, 2};
        QTest::newRow("header claims more frames than any file has")
            << Case{2, 1'000, std::numeric_limits<qint64>::max(), whole, never};
        QTest::newRow("no frames") << Case{1, 100, 0, whole, never};
    }

    void matchesReference() {
        QFETCH(Case, c);
        std::vector<float> samples = awkwardSamples(c.frames * c.channels, 7u);
        FakeReader reader(samples, c);

        const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);

        QCOMPARE(data.has_value(), c.reported > 0);
        if (!data)
            return;
        const qint64 perPeak = std::max<qint64>(1, c.reported / 800);
        QCOMPARE(data->framesPerPeak, perPeak);
        QCOMPARE(data->totalFrames, c.reported);
        QVERIFY(reader.reads <= c.failAt + 1); // no read after a failure
        samples.resize(std::size_t(std::min(c.frames, c.failAt * c.chunk) * c.channels));
        QCOMPARE(data->peaks, referencePeaks(samples, perPeak * c.channels));
    }

    // Each lane width at lengths around its vector and unroll steps, from 0 and from a level.
    void kernelsKeepTheNanRule_data() {
        QTest::addColumn<SampleKernels::Implementation>("kernel");
        QTest::addColumn<qint64>("count");
        for (const auto kernel : SampleKernels::availableImplementations())
            for (const qint64 count : {0, 1, 3, 5, 15, 16, 17, 33, 63, 64, 65, 1'000, 131'077})
                QTest::addRow("kernel %d, %lld", int(kernel), count) << kernel << count;
    }

    void kernelsKeepTheNanRule() {
        QFETCH(SampleKernels::Implementation, kernel);
        QFETCH(qint64, count);
        const std::vector<float> samples = awkwardSamples(count, unsigned(count));
        for (const float start : {0.0f, 0.75f})
            QCOMPARE(SampleKernels::maxMagnitude(kernel, samples.data(), count, start),
                     plainMax(samples.data(), samples.data() + count, start));
        std::vector<float> swapped = samples;
        for (float& sample : swapped)
            std::reverse(reinterpret_cast<char*>(&sample), reinterpret_cast<char*>(&sample + 1));
        SampleKernels::swapByteOrder(kernel, swapped.data(), count);
        QVERIFY(count == 0 || std::memcmp(swapped.data(), samples.data(), 4 * samples.size()) == 0);
    }
};

QTEST_GUILESS_MAIN(PeakExtractorTest)
#include "PeakExtractorTest.moc"
