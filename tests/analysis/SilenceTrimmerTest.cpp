#include "SilenceTrimmer.h"

#include <QTest>
#include <cmath>

namespace {

constexpr float threshold = 0.01f;
constexpr double padding = 0.15;

// Ten seconds at 48 kHz in 800 bins of 600 frames (12.5 ms each), silent except `loudBins`.
Waveform::Data tenSeconds(std::initializer_list<int> loudBins, float level = 0.5f) {
    Waveform::Data data;
    data.peaks.assign(800, 0.001f);
    for (const int bin : loudBins)
        data.peaks[static_cast<std::size_t>(bin)] = level;
    data.framesPerPeak = 600;
    data.sampleRate = 48'000.0;
    data.totalFrames = 480'000;
    return data;
}

void expectRange(const std::optional<TimeRange>& range, double lower, double upper) {
    QVERIFY(range);
    QVERIFY2(std::fabs(range->lower - lower) < 1e-12,
             qPrintable(QStringLiteral("lower %1, expected %2").arg(range->lower).arg(lower)));
    QVERIFY2(std::fabs(range->upper - upper) < 1e-12,
             qPrintable(QStringLiteral("upper %1, expected %2").arg(range->upper).arg(upper)));
}

} // namespace

class SilenceTrimmerTest : public QObject {
    Q_OBJECT

private slots:
    void paddedRangeFromFirstToLastLoudBin() {
        // Both ends are bin start times: 40 → 0.5 s, 720 → 9.0 s.
        expectRange(SilenceTrimmer::trim(tenSeconds({40, 300, 720}), threshold, padding), 0.35,
                    9.15);
    }

    void thresholdEqualityCountsAsSound() {
        expectRange(SilenceTrimmer::trim(tenSeconds({400}, 0.01f), threshold, padding), 4.85, 5.15);
        const float justBelow = std::nextafter(0.01f, 0.0f);
        QVERIFY(!SilenceTrimmer::trim(tenSeconds({400}, justBelow), threshold, padding));
    }

    void rangeStaysInsideTheRecording() {
        // Sound from bin 0: the start is 0, not negative.
        expectRange(SilenceTrimmer::trim(tenSeconds({0, 100}), threshold, padding), 0.0, 1.4);
        // Sound in the last bin (starts at 9.9875 s): the end stops at the duration.
        expectRange(SilenceTrimmer::trim(tenSeconds({100, 799}), threshold, padding), 1.1, 10.0);
        // A small padding leaves the end at the last bin's start plus the padding.
        expectRange(SilenceTrimmer::trim(tenSeconds({100, 799}), threshold, 0.005), 1.245, 9.9925);
        // Loud everywhere.
        Waveform::Data loud = tenSeconds({});
        loud.peaks.assign(800, 1.0f);
        expectRange(SilenceTrimmer::trim(loud, threshold, padding), 0.0, 10.0);
    }

    void singleLoudBin() {
        const std::optional<TimeRange> padded =
            SilenceTrimmer::trim(tenSeconds({400}), threshold, padding);
        expectRange(padded, 4.85, 5.15);
        QVERIFY(std::fabs(padded->length() - 0.3) < 1e-12);
        // Without padding the range would be one instant: no range.
        QVERIFY(!SilenceTrimmer::trim(tenSeconds({400}), threshold, 0.0));
    }

    void nothingToTrimTo() {
        QVERIFY(!SilenceTrimmer::trim(tenSeconds({}), threshold, padding));

        Waveform::Data noBins = tenSeconds({});
        noBins.peaks.clear();
        QVERIFY(!SilenceTrimmer::trim(noBins, threshold, padding));

        Waveform::Data allNan = tenSeconds({});
        allNan.peaks.assign(800, std::nanf(""));
        QVERIFY(!SilenceTrimmer::trim(allNan, threshold, padding));

        // A recording of no length leaves no room for a range, loud or not.
        Waveform::Data zeroLength;
        zeroLength.peaks = {0.5f};
        zeroLength.sampleRate = 48'000.0;
        zeroLength.totalFrames = 0;
        QVERIFY(!SilenceTrimmer::trim(zeroLength, threshold, padding));
    }

    void nanPeaksAroundSoundAreSilence() {
        Waveform::Data data = tenSeconds({200, 600});
        for (const std::size_t bin :
             {std::size_t(0), std::size_t(100), std::size_t(700), std::size_t(799)})
            data.peaks[bin] = std::nanf("");
        expectRange(SilenceTrimmer::trim(data, threshold, padding), 2.35, 7.65);
    }
};

QTEST_GUILESS_MAIN(SilenceTrimmerTest)
#include "SilenceTrimmerTest.moc"
