#include "StreamMix.h"

#include <QTest>
#include <numeric>

namespace {

constexpr int rate = 48000;
constexpr qint64 originUs = 1'000'000'000;

// Stereo frames of one value, captured at `atMs` after the origin.
PcmBuffer frames(double atMs, qint64 count, float value) {
    PcmBuffer buffer;
    buffer.sampleRateHz = rate;
    buffer.channelCount = 2;
    buffer.capturedAtUs = originUs + qint64(atMs * 1000);
    buffer.samples.assign(size_t(count * 2), value);
    return buffer;
}

qint64 usAt(double ms) {
    return originUs + qint64(ms * 1000);
}

// Everything the mix gave, one timeline, checked to be unbroken.
struct Timeline {
    std::vector<float> left;
    bool unbroken = true;
    void add(const PcmBuffer& buffer) {
        if (buffer.frames() == 0)
            return;
        const qint64 expectedUs = originUs + qint64(double(left.size()) * 1e6 / rate);
        unbroken = unbroken && std::abs(buffer.capturedAtUs - expectedUs) <= 1;
        for (qint64 i = 0; i < buffer.frames(); ++i)
            left.push_back(buffer.samples[size_t(2 * i)]);
    }
    float at(double ms) const { return left[size_t(ms * rate / 1000)]; }
    double total() const { return std::accumulate(left.begin(), left.end(), 0.0); }
};

} // namespace

class StreamMixTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Nothing playing: the timeline still runs with the clock, as silence, a little behind it.
    void withoutStreamsTheTimelineIsSilenceOfTheClocksLength() {
        StreamMix mix(rate, 2, originUs);
        Timeline timeline;
        for (int ms = 50; ms <= 3000; ms += 50)
            timeline.add(mix.take(usAt(ms)));
        QVERIFY(timeline.unbroken);
        QCOMPARE(qint64(timeline.left.size()), (3000 - StreamMix::holdBackUs / 1000) * rate / 1000);
        QCOMPARE(timeline.total(), 0.0);
        timeline.add(mix.finish(usAt(3100)));
        QCOMPARE(qint64(timeline.left.size()), qint64(3.1 * rate));
    }

    // Two streams of one program that overlap, then one that comes later: each where its capture
    // time puts it, summed where they overlap, silence between.
    void streamsLandAtTheirCaptureTimesAndAddUp() {
        StreamMix mix(rate, 2, originUs);
        Timeline timeline;
        const int first = mix.addStream();
        const int second = mix.addStream();
        mix.add(first, frames(500, rate, 0.25f)); // 0.5 s to 1.5 s
        timeline.add(mix.take(usAt(1600)));
        // The second hasn't delivered yet: nothing past what is decided for both.
        QCOMPARE(timeline.left.size(), size_t(0));
        mix.add(second, frames(1000, rate, 0.5f)); // 1 s to 2 s
        timeline.add(mix.take(usAt(2100)));
        mix.endStream(first);
        mix.endStream(second);
        QVERIFY(!mix.hasOpenStreams());
        const int third = mix.addStream();
        timeline.add(mix.take(usAt(2500)));
        mix.add(third, frames(3000, rate / 2, 1.0f)); // 3 s to 3.5 s
        mix.endStream(third);
        timeline.add(mix.finish(usAt(4000)));

        QVERIFY(timeline.unbroken);
        QCOMPARE(qint64(timeline.left.size()), qint64(4 * rate));
        QCOMPARE(timeline.at(250), 0.0f);
        QCOMPARE(timeline.at(750), 0.25f);
        QCOMPARE(timeline.at(1250), 0.75f);
        QCOMPARE(timeline.at(1750), 0.5f);
        QCOMPARE(timeline.at(2500), 0.0f);
        QCOMPARE(timeline.at(3250), 1.0f);
        QCOMPARE(timeline.at(3750), 0.0f);
        QCOMPARE(timeline.total(), 0.25 * rate + 0.5 * rate + 1.0 * rate / 2);
    }

    // A stream whose first audio is stamped before the part of the timeline already given out
    // (its capture time measured early, or it opened just as silence went out) loses nothing: it
    // starts right after, and runs on unbroken however its later capture times jitter.
    void audioFromBeforeWhatWentOutIsKeptWhole() {
        StreamMix mix(rate, 2, originUs);
        Timeline timeline;
        timeline.add(mix.take(usAt(1000)));
        const qint64 given = qint64(timeline.left.size());
        const int stream = mix.addStream();
        mix.add(stream, frames(600, 4800, 0.5f));
        mix.add(stream, frames(5000, 4800, 0.25f)); // a stray stamp: it follows on all the same
        mix.endStream(stream);
        timeline.add(mix.finish(usAt(1000)));
        QVERIFY(timeline.unbroken);
        QCOMPARE(qint64(timeline.left.size()), given + 9600);
        QCOMPARE(timeline.left[size_t(given)], 0.5f);
        QCOMPARE(timeline.left[size_t(given + 4800)], 0.25f);
        QCOMPARE(timeline.total(), 4800 * 0.75);
    }

    // An open stream that never delivers holds the timeline back until it ends; its end lets
    // the silence out.
    void anOpenStreamHoldsTheTimelineUntilItEnds() {
        StreamMix mix(rate, 2, originUs);
        const int stream = mix.addStream();
        QCOMPARE(mix.take(usAt(2000)).frames(), 0);
        QVERIFY(mix.hasOpenStreams());
        mix.endStream(stream);
        QCOMPARE(mix.take(usAt(2000)).frames(),
                 (2000 - StreamMix::holdBackUs / 1000) * rate / 1000);
    }
};

QTEST_GUILESS_MAIN(StreamMixTest)
#include "StreamMixTest.moc"
