#include "FrameRing.h"

#include <QTest>
#include <atomic>
#include <random>
#include <thread>

namespace {

// A consumer thread that waits once and says what waitForFrames answered.
struct Waiter {
    explicit Waiter(FrameRing& ring)
        : thread([this, &ring] { answer = ring.waitForFrames() ? 1 : 0; }) {}
    ~Waiter() { thread.join(); }
    std::atomic<int> answer{-1};
    std::thread thread;
};

std::vector<float> frames(qint64 count, float value = 0.5f) {
    return std::vector<float>(size_t(2 * count), value);
}

} // namespace

class FrameRingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A writer that wants whole chunks sleeps through smaller pushes, and is woken by the push
    // that completes a chunk, by a flush, or by the end, whichever comes first.
    void theConsumerWakesForAChunkAFlushOrTheEnd() {
        {
            FrameRing ring(2, 1000, 100);
            Waiter waiter(ring);
            QVERIFY(ring.push(frames(60).data(), 60));
            QTest::qWait(150);
            QCOMPARE(waiter.answer.load(), -1);
            QVERIFY(ring.push(frames(40).data(), 40));
            QTRY_COMPARE(waiter.answer.load(), 1);
        }
        {
            FrameRing ring(2, 1000, 100);
            Waiter waiter(ring);
            QVERIFY(ring.push(frames(10).data(), 10));
            QTest::qWait(50);
            ring.flush();
            QTRY_COMPARE(waiter.answer.load(), 1);
            QCOMPARE(ring.readable(), 10);
        }
        {
            FrameRing ring(2, 1000, 100);
            {
                Waiter waiter(ring);
                QVERIFY(ring.push(frames(10).data(), 10));
                ring.close();
                QTRY_COMPARE(waiter.answer.load(), 1);
            }
            std::vector<float> out(20);
            QCOMPARE(ring.pop(out.data(), 10), 10);
            QVERIFY(!ring.waitForFrames());
        }
        {
            // A flush with nothing waiting doesn't make an empty ring look readable.
            FrameRing ring(2, 1000, 100);
            Waiter waiter(ring);
            ring.flush();
            QTest::qWait(100);
            QCOMPARE(waiter.answer.load(), -1);
            ring.close();
            QTRY_COMPARE(waiter.answer.load(), 0);
        }
    }

    // Pushes of every size against a consumer that takes chunks: every frame comes out once, in
    // order, and neither side is left asleep while the other has done its part.
    void everyFrameArrivesInOrderWhateverTheSizes() {
        for (const qint64 wakeAt : {qint64(1), qint64(64), qint64(256)}) {
            FrameRing ring(2, 256, wakeAt);
            constexpr qint64 total = 200000;
            std::thread producer([&ring] {
                std::mt19937 random(7);
                std::vector<float> piece;
                for (qint64 next = 0; next < total;) {
                    const qint64 count = std::min<qint64>(
                        total - next, std::uniform_int_distribution(1, 300)(random));
                    piece.resize(size_t(2 * count));
                    for (qint64 i = 0; i < count; ++i)
                        piece[size_t(2 * i)] = piece[size_t(2 * i + 1)] = float(next + i);
                    for (qint64 done = 0; done < count;) {
                        const qint64 part = std::min(count - done, ring.capacityFrames());
                        if (ring.push(piece.data() + 2 * done, part))
                            done += part;
                        else
                            ring.waitForRoom(part);
                    }
                    next += count;
                }
                ring.close();
            });
            std::vector<float> chunk(2 * 100);
            qint64 expected = 0;
            bool inOrder = true;
            while (ring.waitForFrames()) {
                const qint64 got = ring.pop(chunk.data(), 100);
                for (qint64 i = 0; i < got; ++i, ++expected)
                    inOrder = inOrder && chunk[size_t(2 * i)] == float(expected) &&
                              chunk[size_t(2 * i + 1)] == float(expected);
            }
            producer.join();
            QVERIFY2(inOrder, qPrintable(QString("wake at %1").arg(wakeAt)));
            QCOMPARE(expected, total);
        }
    }
};

QTEST_GUILESS_MAIN(FrameRingTest)
#include "FrameRingTest.moc"
