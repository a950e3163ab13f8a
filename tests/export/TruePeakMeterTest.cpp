#include "TruePeakMeter.h"

#include <QTest>
#include <cmath>
#include <ebur128.h>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int rate = 48000;

double dB(double linear) {
    return 20 * std::log10(linear);
}

// Stereo: a chord with a random walk in the left channel, a sine at a quarter of the rate in the
// right, whose frames fall 45 degrees off its crests: they sit 3 dB under its true peak.
std::vector<float> chordAndQuarterRateSine(double seconds) {
    std::mt19937 random(7);
    std::normal_distribution<float> step(0.0f, 0.002f);
    std::vector<float> samples;
    float walk = 0;
    for (int i = 0; i < int(seconds * rate); ++i) {
        const double t = double(i) / rate;
        walk = 0.995f * walk + step(random);
        samples.push_back(float(0.2 * std::sin(2 * std::numbers::pi * 220 * t) +
                                0.2 * std::sin(2 * std::numbers::pi * 277 * t) + walk));
        samples.push_back(float(0.5 * std::sin(std::numbers::pi / 2 * i + std::numbers::pi / 4)));
    }
    return samples;
}

float measuredInBlocks(const std::vector<float>& samples, size_t blockFrames) {
    TruePeakMeter meter(2);
    float peak = 0;
    for (size_t at = 0; at < samples.size(); at += 2 * blockFrames)
        peak = std::max(
            peak, meter.add(samples.data() + at, std::min(blockFrames, (samples.size() - at) / 2)));
    return std::max(peak, meter.finish());
}

} // namespace

class TruePeakMeterTest : public QObject {
    Q_OBJECT

private slots:
    // The peak between the frames is found (this sine's crests fall halfway between them, where
    // a point is measured), and agrees with libebur128's own true-peak meter.
    void findsThePeakBetweenTheFrames() {
        const std::vector<float> sine = [] {
            std::vector<float> samples;
            for (int i = 0; i < rate; ++i)
                samples.push_back(
                    float(0.5 * std::sin(std::numbers::pi / 2 * i + std::numbers::pi / 4)));
            return samples;
        }();
        // Led in by the sine itself: a sine that starts from silence overshoots at its start.
        TruePeakMeter mono(1);
        mono.lead(sine.data(), 100);
        const float peak = mono.add(sine.data() + 100, sine.size() - 100);
        QVERIFY2(std::abs(dB(peak) - dB(0.5)) < 0.02, qPrintable(QString::number(dB(peak))));

        const std::vector<float> samples = chordAndQuarterRateSine(3);
        const double ours = dB(measuredInBlocks(samples, 480));
        ebur128_state* state = ebur128_init(2, rate, EBUR128_MODE_TRUE_PEAK);
        ebur128_add_frames_float(state, samples.data(), samples.size() / 2);
        double left = 0, right = 0;
        ebur128_true_peak(state, 0, &left);
        ebur128_true_peak(state, 1, &right);
        ebur128_destroy(&state);
        const double theirs = dB(std::max(left, right));
        QVERIFY2(std::abs(ours - theirs) < 0.1, qPrintable(QString("%1 %2").arg(ours).arg(theirs)));
    }

    // However the audio is cut into blocks, the points across the cuts are measured alike.
    void blocksOfAnySizeMeasureAlike() {
        const std::vector<float> samples = chordAndQuarterRateSine(0.5);
        const float whole = measuredInBlocks(samples, samples.size() / 2);
        for (const size_t block : {1, 7, 31, 480, 4096})
            QCOMPARE(measuredInBlocks(samples, block), whole);
    }

    // A meter led in by the audio before its own measures the points across the seam as one
    // meter over both would: neither silence's overshoot nor a missed peak at the seam.
    void aLeadInStandsForTheAudioBefore() {
        const std::vector<float> samples = chordAndQuarterRateSine(0.2);
        const size_t seam = 4000;
        TruePeakMeter whole(2);
        whole.add(samples.data(), seam);
        const float across = whole.add(samples.data() + 2 * seam, 480);
        TruePeakMeter led(2);
        led.lead(samples.data() + 2 * (seam - 100), 100);
        QCOMPARE(led.add(samples.data() + 2 * seam, 480), across);
        TruePeakMeter cold(2);
        QVERIFY(cold.add(samples.data() + 2 * seam, 480) != across);
    }
};

QTEST_GUILESS_MAIN(TruePeakMeterTest)
#include "TruePeakMeterTest.moc"
