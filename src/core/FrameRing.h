#pragma once

#include <QtGlobal>
#include <atomic>
#include <vector>

// A single-producer, single-consumer ring of interleaved float frames that neither side ever
// waits on a lock for: the sound server's thread pushes and a writer thread pops, or a reader
// thread pushes and the server's thread pops. Either side can sleep until the other has done
// its part: the consumer until there are frames (or the ring is closed), the producer until
// there is room (or the consumer has abandoned the ring).
class FrameRing {
public:
    // The consumer sleeps until `wakeConsumerAt` frames wait, the ring is closed or the producer
    // flushes: a writer that writes whole chunks isn't woken for every small push.
    FrameRing(int channelCount, qint64 capacityFrames, qint64 wakeConsumerAt = 1);

    int channelCount() const { return channelCount_; }
    qint64 capacityFrames() const { return capacity_; }

    // Producer: all `frames` or nothing; false when they don't fit.
    bool push(const float* interleaved, qint64 frames);
    // Producer: sleeps until `frames` fit (the consumer made room); at most the capacity is
    // waited for. Wakes the consumer for whatever waits. False once the consumer has abandoned
    // the ring.
    bool waitForRoom(qint64 frames);
    // Producer: wakes the consumer for what waits, however little (before a pause, say).
    void flush();
    // Producer: no more frames will come.
    void close();

    // Consumer: how many frames wait to be taken.
    qint64 readable() const;
    // Consumer: up to `maxFrames` into `interleaved`; how many were taken.
    qint64 pop(float* interleaved, qint64 maxFrames);
    // Consumer: sleeps until wakeConsumerAt frames wait, or some do and the producer flushed or
    // closed the ring. False once it is closed and empty.
    bool waitForFrames();
    // Consumer: no more frames will be taken; a producer waiting for room stops waiting.
    void abandon();

private:
    const int channelCount_;
    const qint64 capacity_;
    const qint64 wakeConsumerAt_;
    std::vector<float> samples_;
    // Frames ever written and read; the difference is what waits. Each is written by one side.
    std::atomic<qint64> written_{0};
    std::atomic<qint64> read_{0};
    // Bumped by a push that leaves wakeConsumerAt waiting, a flush and a close: what the
    // consumer sleeps on.
    std::atomic<quint32> changes_{0};
    std::atomic<bool> flushed_{false};
    std::atomic<bool> closed_{false};
    // Bumped at every pop and when abandoned: what the producer sleeps on.
    std::atomic<quint32> roomChanges_{0};
    std::atomic<bool> abandoned_{false};
};
