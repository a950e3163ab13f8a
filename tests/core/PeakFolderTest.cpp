#include "PeakFolder.h"

#include <QTest>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Every bin of `framesPerBin` frames with its largest |sample|, the partial last one included,
// by the plain rule: a NaN never replaces the peak.
std::vector<float> plainPeaks(const std::vector<float>& samples, int channels,
                              qint64 framesPerBin) {
    std::vector<float> peaks;
    const qint64 perBin = framesPerBin * channels;
    for (size_t begin = 0; begin < samples.size(); begin += size_t(perBin)) {
        float peak = 0;
        for (size_t i = begin; i < std::min(samples.size(), begin + size_t(perBin)); ++i)
            peak = peak <= std::fabs(samples[i]) ? std::fabs(samples[i]) : peak;
        peaks.push_back(peak);
    }
    return peaks;
}

// Noise above and below 1, with NaN of both signs.
std::vector<float> noise(size_t count) {
    std::minstd_rand random(7);
    std::vector<float> samples(count);
    for (float& sample : samples) {
        const int pick = int(random() % 1000);
        sample = pick < 100 ? float(pick % 2 ? 1 : -1) * std::nanf("") : float(pick - 550) / 300;
    }
    return samples;
}

} // namespace

class PeakFolderTest : public QObject {
    Q_OBJECT

private slots:
    // However the frames are cut into pieces, the bins are those of the whole, each the peak
    // over its frames and every channel; the partial bin comes only when asked for.
    void binsDoNotDependOnThePieces_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("framesPerBin");
        QTest::addColumn<qint64>("piece");
        QTest::newRow("stereo, pieces larger than a bin") << 2 << qint64(480) << qint64(961);
        QTest::newRow("stereo, pieces smaller than a bin") << 2 << qint64(480) << qint64(7);
        QTest::newRow("mono, one frame at a time") << 1 << qint64(3) << qint64(1);
        QTest::newRow("six channels, uneven pieces") << 6 << qint64(100) << qint64(333);
    }
    void binsDoNotDependOnThePieces() {
        QFETCH(int, channels);
        QFETCH(qint64, framesPerBin);
        QFETCH(qint64, piece);
        const std::vector<float> samples = noise(size_t(channels) * 4801);
        const qint64 frames = qint64(samples.size()) / channels;
        PeakFolder folder(framesPerBin);
        std::vector<float> peaks;
        for (qint64 done = 0; done < frames; done += piece)
            folder.fold(samples.data() + done * channels, std::min(piece, frames - done), channels,
                        [&peaks](float peak) { peaks.push_back(peak); });
        const std::vector<float> expected = plainPeaks(samples, channels, framesPerBin);
        QCOMPARE(qint64(peaks.size()), frames / framesPerBin);
        const std::optional<float> partial = folder.closePartial();
        QCOMPARE(partial.has_value(), frames % framesPerBin != 0);
        if (partial)
            peaks.push_back(*partial);
        QCOMPARE(peaks, expected);
        QVERIFY(!folder.closePartial());
        QCOMPARE(folder.room(), framesPerBin);
    }

    void aNaNNeverRaisesAPeak() {
        const std::vector<float> samples{std::nanf(""), -0.25f, -std::nanf(""), 0.125f};
        PeakFolder folder(4);
        std::vector<float> peaks;
        folder.fold(samples.data(), 4, 1, [&peaks](float peak) { peaks.push_back(peak); });
        QCOMPARE(peaks, std::vector<float>{0.25f});
    }
};

QTEST_GUILESS_MAIN(PeakFolderTest)
#include "PeakFolderTest.moc"
