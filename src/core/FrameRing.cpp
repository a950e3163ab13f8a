#include "FrameRing.h"

#include <algorithm>
#include <cstring>

FrameRing::FrameRing(int channelCount, qint64 capacityFrames, qint64 wakeConsumerAt)
    : channelCount_(std::max(1, channelCount)), capacity_(std::max<qint64>(1, capacityFrames)),
      wakeConsumerAt_(std::clamp<qint64>(wakeConsumerAt, 1, capacity_)),
      samples_(static_cast<size_t>(capacity_ * channelCount_)) {}

bool FrameRing::push(const float* interleaved, qint64 frames) {
    const qint64 written = written_.load(std::memory_order_relaxed);
    if (frames > capacity_ - (written - read_.load(std::memory_order_acquire)))
        return false;
    qint64 done = 0;
    while (done < frames) {
        const qint64 at = (written + done) % capacity_;
        const qint64 run = std::min(frames - done, capacity_ - at);
        std::memcpy(samples_.data() + at * channelCount_, interleaved + done * channelCount_,
                    static_cast<size_t>(run * channelCount_) * sizeof(float));
        done += run;
    }
    written_.store(written + frames, std::memory_order_release);
    // A stale read_ only overstates what waits, so a consumer about to sleep is never missed:
    // every push from the threshold on wakes it.
    if (written + frames - read_.load(std::memory_order_acquire) >= wakeConsumerAt_) {
        changes_.fetch_add(1, std::memory_order_release);
        changes_.notify_one();
    }
    return true;
}

bool FrameRing::waitForRoom(qint64 frames) {
    for (;;) {
        // Read before looking, so that a pop in between changes it and the wait returns.
        const quint32 seen = roomChanges_.load(std::memory_order_acquire);
        if (abandoned_.load(std::memory_order_acquire))
            return false;
        const qint64 read = read_.load(std::memory_order_acquire);
        if (std::min(frames, capacity_) <=
            capacity_ - (written_.load(std::memory_order_relaxed) - read))
            return true;
        // A consumer that waits for a whole chunk takes one and waits again: without this, both
        // could wait for frames that can't come.
        flush();
        roomChanges_.wait(seen, std::memory_order_acquire);
    }
}

void FrameRing::abandon() {
    abandoned_.store(true, std::memory_order_release);
    roomChanges_.fetch_add(1, std::memory_order_release);
    roomChanges_.notify_one();
}

void FrameRing::flush() {
    flushed_.store(true, std::memory_order_release);
    changes_.fetch_add(1, std::memory_order_release);
    changes_.notify_one();
}

void FrameRing::close() {
    closed_.store(true, std::memory_order_release);
    changes_.fetch_add(1, std::memory_order_release);
    changes_.notify_one();
}

qint64 FrameRing::readable() const {
    return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
}

qint64 FrameRing::pop(float* interleaved, qint64 maxFrames) {
    const qint64 read = read_.load(std::memory_order_relaxed);
    const qint64 frames = std::min(maxFrames, readable());
    qint64 done = 0;
    while (done < frames) {
        const qint64 at = (read + done) % capacity_;
        const qint64 run = std::min(frames - done, capacity_ - at);
        std::memcpy(interleaved + done * channelCount_, samples_.data() + at * channelCount_,
                    static_cast<size_t>(run * channelCount_) * sizeof(float));
        done += run;
    }
    read_.store(read + frames, std::memory_order_release);
    if (frames > 0) {
        roomChanges_.fetch_add(1, std::memory_order_release);
        roomChanges_.notify_one();
    }
    return frames;
}

bool FrameRing::waitForFrames() {
    for (;;) {
        // Read before looking, so that a push in between changes it and the wait returns.
        const quint32 seen = changes_.load(std::memory_order_acquire);
        const qint64 waiting = readable();
        if (waiting >= wakeConsumerAt_ ||
            (waiting > 0 && flushed_.exchange(false, std::memory_order_acq_rel)))
            return true;
        if (closed_.load(std::memory_order_acquire))
            return readable() > 0;
        changes_.wait(seen, std::memory_order_acquire);
    }
}
