#pragma once

#include "PcmBuffer.h"
#include "ReplayBlock.h"
#include "ReplaySnapshot.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// How a replay store cuts and compresses its audio; bench/replay measured the defaults.
struct ReplayTuning {
    // Long enough that a FLAC stream's header and the worker's wake-ups don't count, short
    // enough that the block being filled stays small.
    std::chrono::milliseconds blockLength{5000};
    // FLAC's compression level, 0 to 8.
    int flacLevel = 5;
};

// The last minutes of what the computer played, kept in memory only, losslessly compressed, so
// that a key press can still save them. The capture thread appends; every few seconds of audio
// make a block, which a thread of the store's own ("sonabrix-replay") compresses to FLAC at 24
// bits (see FlacMemory), so that the capture thread never waits for an encoder. Silence costs
// nothing: a block that stays all zeros holds no samples, not even while it is being filled.
// It keeps `length` and at most one block more; older blocks are dropped as new ones finish.
//
// Frames are counted from the store's start, and never counted again: clear() keeps the count.
// Each buffer's capture time (CLOCK_MONOTONIC) ties frames to the clock. After markBreak() (the
// capture stopped and another began), the next buffer's time places it: a gap is filled with
// silence, an overlap is appended as it comes, so nothing captured is ever dropped for it.
//
// append() and markBreak() on the capture thread; the rest from any thread. Locks are held for
// copies only, never for compressing or decoding.
class ReplayStore {
public:
    ReplayStore(std::chrono::seconds length, int sampleRateHz, int channelCount,
                ReplayTuning tuning = {});
    // Stops the worker; a block it hasn't compressed yet is simply dropped with the rest.
    ~ReplayStore();
    ReplayStore(const ReplayStore&) = delete;
    ReplayStore& operator=(const ReplayStore&) = delete;

    // False, and nothing kept, for a buffer in another format than the store's.
    bool append(const PcmBuffer& buffer);
    // The next buffer begins another capture: its time says where it goes.
    void markBreak();
    // Drops everything kept; the frame count and the clock go on.
    void clear();

    std::chrono::seconds length() const;
    // A shorter length drops the oldest at once; a longer one keeps more from now on.
    void setLength(std::chrono::seconds length);
    int sampleRateHz() const { return sampleRateHz_; }
    int channelCount() const { return channelCount_; }
    qint64 blockFrames() const { return blockFrames_; }

    // Kept frames are [firstKeptFrame, endFrame).
    qint64 firstKeptFrame() const;
    qint64 endFrame() const;
    double keptSeconds() const;
    // The CLOCK_MONOTONIC time, in microseconds, of `frame` (which may lie outside what is
    // kept), and the frame at such a time; nothing before any buffer came with a time.
    std::optional<qint64> monotonicUsAt(qint64 frame) const;
    std::optional<qint64> frameAt(qint64 monotonicUs) const;

    // Everything the store holds: compressed blocks, blocks still waiting to be compressed, the
    // block being filled and the bookkeeping. Not counted: the encoder's working memory while a
    // block is being compressed (the block and its stream, for a moment).
    qint64 memoryBytes() const;

    // What is kept of [fromFrame, toFrame), to be read on any thread.
    ReplaySnapshot snapshot(qint64 fromFrame, qint64 toFrame) const;

    // Waits until every finished block is compressed; for measuring what a store holds.
    void waitUntilCompressed();

private:
    // A frame whose capture time is known: the start of each block and of each capture.
    struct Anchor {
        qint64 frame = 0;
        qint64 us = 0;
    };

    // These run with mutex_ held.
    void appendFrames(const float* samples, qint64 frames, std::optional<qint64> startUs);
    void appendSilence(qint64 frames, qint64 startUs);
    void makeOpenBlockReal();
    void finishOpenBlock();
    void dropOpenBlock();
    void dropBeyondLength();
    void addAnchor(qint64 frame, qint64 us);
    qint64 firstKept() const;
    // The newest anchor `isBefore` accepts, else the oldest (what lies before all is extrapolated
    // from it); none before any buffer came with a time.
    template <typename Predicate> const Anchor* newestAnchor(Predicate isBefore) const {
        if (anchors_.empty())
            return nullptr;
        auto found = std::find_if(anchors_.rbegin(), anchors_.rend(), isBefore);
        return found == anchors_.rend() ? &anchors_.front() : &*found;
    }
    qint64 usIn(qint64 frames) const;
    qint64 framesIn(qint64 us) const;

    void compressBlocks();

    std::chrono::seconds length_;
    const int sampleRateHz_;
    const int channelCount_;
    qint64 lengthFrames_;
    const qint64 blockFrames_;
    const int flacLevel_;

    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<const ReplayBlock>> blocks_;
    // The block being filled: [openFirst_, endFrame_). While it is all zeros it holds no samples.
    std::vector<float> open_;
    qint64 openFirst_ = 0;
    bool openSilent_ = true;
    qint64 endFrame_ = 0;
    std::deque<Anchor> anchors_;
    // The capture time of endFrame_, as the last buffer gave it.
    std::optional<qint64> endUs_;
    bool breakPending_ = false;
    bool warnedFormat_ = false;

    // Blocks for the worker, oldest first; those dropped meanwhile are skipped.
    std::deque<std::weak_ptr<const ReplayBlock>> toCompress_;
    bool compressing_ = false;
    bool stopping_ = false;
    std::condition_variable workWaiting_;
    std::condition_variable workDone_;
    std::thread worker_;
};
