#include "PeakHistory.h"

#include <QTest>

namespace {

// `frames` stereo frames at 48 kHz, all at `level` but the last frame's right channel at `last`.
PcmBuffer buffer(qint64 frames, float level, float last) {
    PcmBuffer made{48000, 2, std::vector<float>(size_t(frames) * 2, level), 0};
    made.samples.back() = last;
    return made;
}

} // namespace

class PeakHistoryTest : public QObject {
    Q_OBJECT

private slots:
    // Every 10 ms of audio is one bin, however the deliveries cut it; the newest bins come last.
    void keepsThePeakOfEveryTenMilliseconds() {
        PeakHistory history;
        history.add(buffer(960, 0.1f, -0.5f)); // 20 ms: two bins, the loud frame in the second
        QCOMPARE(history.binCount(), qint64(2));
        history.add(buffer(300, 0.2f, 0.2f));
        QCOMPARE(history.binCount(), qint64(2));
        history.add(buffer(180, 0.05f, 0.9f)); // up to the open bin's end
        qint64 end = 0;
        QCOMPARE(history.lastBins(10, &end), (std::vector<float>{0.1f, 0.5f, 0.9f}));
        QCOMPARE(end, qint64(3));
        QCOMPARE(history.recentPeak(2), 0.9f);
        QCOMPARE(history.lastBins(1), std::vector<float>{0.9f});
    }

    void holdsOnlyTheLastTwelveSeconds() {
        PeakHistory history;
        for (int bin = 0; bin < PeakHistory::capacity + 5; ++bin)
            history.add(buffer(480, float(bin) / 10000, float(bin) / 10000));
        QCOMPARE(history.binCount(), qint64(PeakHistory::capacity + 5));
        const std::vector<float> bins = history.lastBins(PeakHistory::capacity + 100);
        QCOMPARE(int(bins.size()), PeakHistory::capacity);
        QCOMPARE(bins.front(), 5.0f / 10000);
        QCOMPARE(bins.back(), float(PeakHistory::capacity + 4) / 10000);
    }

    void aBufferWithoutFramesOrRateChangesNothing() {
        PeakHistory history;
        history.add(PcmBuffer{48000, 0, std::vector<float>(960, 1.0f), 0});
        history.add(PcmBuffer{50, 2, std::vector<float>(960, 1.0f), 0});
        QCOMPARE(history.binCount(), qint64(0));
        QCOMPARE(history.recentPeak(10), 0.0f);
    }
};

QTEST_GUILESS_MAIN(PeakHistoryTest)
#include "PeakHistoryTest.moc"
