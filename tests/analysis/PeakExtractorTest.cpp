#include "PeakExtractor.h"

#include "FakeFrameReader.h"
#include "PeakBinner.h"
#include "ReferencePeaks.h"
#include "SampleKernels.h"

#include <QTest>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

void expectSamePeaks(const std::vector<float>& actual, const std::vector<float>& expected) {
    QCOMPARE(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        QVERIFY2(
            actual[i] == expected[i],
            qPrintable(
                QStringLiteral("bin %1: %2, expected %3").arg(i).arg(actual[i]).arg(expected[i])));
}

} // namespace

// The binning on its own and the extraction loop over readers that misbehave on demand.
class PeakExtractorTest : public QObject {
    Q_OBJECT

private slots:
    void matchesFrameByFrameReference_data() {
        QTest::addColumn<int>("channelCount");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("chunkLimit");
        const qint64 whole = PeakExtractor::chunkFrames;
        QTest::newRow("one frame") << 1 << qint64(1) << whole;
        QTest::newRow("fewer frames than bins") << 2 << qint64(500) << whole;
        QTest::newRow("remainder, 2401 frames") << 2 << qint64(2401) << whole;
        QTest::newRow("exact multiple, full reads") << 2 << qint64(80'000) << whole;
        QTest::newRow("three reads and a tail") << 2 << qint64(200'001) << whole;
        QTest::newRow("three channels, one frame a read") << 3 << qint64(30'011) << qint64(1);
        QTest::newRow("six channels, odd reads") << 6 << qint64(70'003) << qint64(997);
        QTest::newRow("mono, reads shorter than a bin") << 1 << qint64(160'000) << qint64(7);
    }

    void matchesFrameByFrameReference() {
        QFETCH(int, channelCount);
        QFETCH(qint64, frames);
        QFETCH(qint64, chunkLimit);
        const std::vector<float> samples = awkwardSamples(frames * channelCount, 7u);
        FakeFrameReader reader(samples, channelCount, frames);
        reader.limitChunk(chunkLimit);

        const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);

        QVERIFY(data);
        const qint64 framesPerPeak = std::max<qint64>(1, frames / 800);
        QCOMPARE(data->framesPerPeak, framesPerPeak);
        QCOMPARE(data->totalFrames, frames);
        QCOMPARE(qint64(data->peaks.size()), (frames + framesPerPeak - 1) / framesPerPeak);
        expectSamePeaks(data->peaks, referencePeaks(samples, channelCount, framesPerPeak));
    }

    // Every position a vector lane can hold, and bins of nothing but NaN.
    void nanNeverRaisesAPeak() {
        constexpr qint64 framesPerPeak = 64;
        std::vector<float> samples;
        std::vector<float> expected;
        for (qint64 loudAt = 0; loudAt < framesPerPeak; ++loudAt) {
            for (qint64 i = 0; i < framesPerPeak; ++i)
                samples.push_back(i == loudAt ? -0.5f : (i % 2 ? std::nanf("") : -std::nanf("")));
            expected.push_back(0.5f);
        }
        samples.insert(samples.end(), framesPerPeak, std::nanf(""));
        expected.push_back(0.0f);
        samples.insert(samples.end(), {std::nanf(""), 0.125f, std::nanf("")});
        expected.push_back(0.125f);

        PeakBinner binner(framesPerPeak, 1, 1);
        binner.consume(samples.data(), static_cast<qint64>(samples.size()));

        expectSamePeaks(binner.finish(), expected);
    }

    // Every lane width against the plain rule, at lengths around each vector and unroll step,
    // starting from silence and from a level the samples must beat.
    void everyKernelImplementationAgrees() {
        for (const SampleKernels::Implementation implementation :
             SampleKernels::availableImplementations()) {
            const int id = static_cast<int>(implementation);
            for (const qint64 count :
                 {0, 1, 3, 4, 5, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 1'000, 2 * 65'536 + 5}) {
                const std::vector<float> samples = awkwardSamples(count, unsigned(count) + 3u);
                for (const float start : {0.0f, 0.75f}) {
                    float expected = start;
                    for (const float sample : samples)
                        if (expected <= std::fabs(sample))
                            expected = std::fabs(sample);
                    const float actual =
                        SampleKernels::maxMagnitude(implementation, samples.data(), count, start);
                    QVERIFY2(actual == expected,
                             qPrintable(QStringLiteral("implementation %1, %2 samples: %3, "
                                                       "expected %4")
                                            .arg(id)
                                            .arg(count)
                                            .arg(actual)
                                            .arg(expected)));
                }

                std::vector<float> swapped = samples;
                for (float& sample : swapped) {
                    auto* bytes = reinterpret_cast<unsigned char*>(&sample);
                    std::reverse(bytes, bytes + sizeof sample);
                }
                SampleKernels::swapByteOrder(implementation, swapped.data(), count);
                const auto sameBits = [](float a, float b) {
                    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
                };
                QVERIFY2(std::equal(swapped.begin(), swapped.end(), samples.begin(), sameBits),
                         qPrintable(QStringLiteral("implementation %1 swaps %2 samples wrongly")
                                        .arg(id)
                                        .arg(count)));
            }
        }
    }

    void samplesKeptRaw() {
        // Magnitude only: no scaling, no clipping, no floor.
        const std::vector<float> samples = {
            -0.5f, 0.25f, 1.5f, -3.0f, 0.0f, -0.0f, std::numeric_limits<float>::infinity(), 0.1f};
        PeakBinner binner(2, 1, 4);
        binner.consume(samples.data(), static_cast<qint64>(samples.size()));
        expectSamePeaks(binner.finish(),
                        {0.5f, 3.0f, 0.0f, std::numeric_limits<float>::infinity()});
    }

    void emptyBinnerGivesOneSilentBin() {
        PeakBinner binner(10, 2, 1);
        binner.consume(nullptr, 0);
        expectSamePeaks(binner.finish(), {0.0f});
    }

    void readsWholeChunksIntoOneBuffer() {
        FakeFrameReader reader(std::vector<float>(300'000, 0.25f), 1, 300'000);
        const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);
        QVERIFY(data);
        // Four full reads, one partial, one that finds the end.
        QCOMPARE(reader.reads(), 6);
        QCOMPARE(data->peaks.size(), std::size_t(800));
    }

    void failingReads() {
        constexpr qint64 chunk = PeakExtractor::chunkFrames;
        constexpr qint64 reportedFrames = 1'000'000;
        std::vector<float> samples(reportedFrames, 0.5f);
        samples[2 * chunk - 1] = -0.75f; // last frame before the failure
        std::fill(samples.begin() + 2 * chunk, samples.end(), 1.0f);

        {
            FakeFrameReader reader(samples, 1, reportedFrames);
            reader.failFromRead(0);
            const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);
            QVERIFY(data);
            expectSamePeaks(data->peaks, {0.0f});
            QCOMPARE(data->totalFrames, reportedFrames);
            QCOMPARE(data->framesPerPeak, qint64(1250));
            QCOMPARE(data->sampleRate, 48000.0);
        }
        {
            FakeFrameReader reader(samples, 1, reportedFrames);
            reader.failFromRead(2);
            const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);
            QVERIFY(data);
            // 131,072 frames read: 104 full bins of 1,250 and a partial one of 1,072.
            QCOMPARE(data->peaks.size(), std::size_t(105));
            QCOMPARE(data->peaks.front(), 0.5f);
            QCOMPARE(data->peaks.back(), 0.75f);
            QCOMPARE(data->totalFrames, reportedFrames);
            QCOMPARE(reader.reads(), 3);
        }
        // Headers that claim frames the file does not have, up to the largest count there is.
        for (const qint64 claimed : {qint64(1'000'000), std::numeric_limits<qint64>::max()}) {
            FakeFrameReader reader(std::vector<float>(1'000, -0.25f), 2, claimed);
            const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 800);
            QVERIFY(data);
            expectSamePeaks(data->peaks, {0.25f});
            QCOMPARE(data->totalFrames, claimed);
            QCOMPARE(data->framesPerPeak, claimed / 800);
        }
    }

    void noFramesReportedGivesNothing() {
        for (const qint64 reportedFrames : {qint64(0), qint64(-1)}) {
            FakeFrameReader reader(std::vector<float>(100, 0.5f), 1, reportedFrames);
            QVERIFY(!PeakExtractor::extract(reader, 800));
            QCOMPARE(reader.reads(), 0);
        }
    }

    void targetBelowOneStillGivesOneBin() {
        FakeFrameReader reader(std::vector<float>(1'000, 0.5f), 1, 1'000);
        const std::optional<Waveform::Data> data = PeakExtractor::extract(reader, 0);
        QVERIFY(data);
        QCOMPARE(data->framesPerPeak, qint64(1'000));
        expectSamePeaks(data->peaks, {0.5f});
    }
};

QTEST_GUILESS_MAIN(PeakExtractorTest)
#include "PeakExtractorTest.moc"
