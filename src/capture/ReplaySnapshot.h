#pragma once

#include "PcmBuffer.h"
#include "ReplayBlock.h"

#include <memory>
#include <vector>

class RecordingWriter;

// A run of the replay's frames, [firstFrame, endFrame), held apart from the store: it shares
// the store's finished blocks and has its own copy of the part of the block still being filled,
// so that the store goes on appending and dropping while this is read on a worker thread. Reads
// decode one block at a time.
class ReplaySnapshot {
public:
    ReplaySnapshot() = default;
    ReplaySnapshot(std::vector<std::shared_ptr<const ReplayBlock>> blocks, qint64 firstFrame,
                   qint64 endFrame, int sampleRateHz, int channelCount);

    qint64 firstFrame() const { return first_; }
    qint64 endFrame() const { return end_; }
    qint64 frames() const { return end_ - first_; }
    int sampleRateHz() const { return sampleRateHz_; }
    int channelCount() const { return channelCount_; }

    // The next up to `maxFrames` frames, in order, into `out` (its time unknown: the store maps
    // frames to times). False when everything has been read, or a block couldn't be decoded.
    bool next(PcmBuffer& out, qint64 maxFrames);
    // A block couldn't be decoded: what was read stops short of endFrame.
    bool failed() const { return failed_; }

    // Feeds all that is still unread to `writer`, in tenths of a second, on the calling thread
    // (a worker: the writer may wait for its disk). False when a block couldn't be decoded or
    // the writer refused a buffer.
    bool writeTo(RecordingWriter& writer);

private:
    std::vector<std::shared_ptr<const ReplayBlock>> blocks_;
    qint64 first_ = 0;
    qint64 end_ = 0;
    int sampleRateHz_ = 0;
    int channelCount_ = 0;

    qint64 position_ = 0;
    size_t blockIndex_ = 0;
    // The current block's frames, decoded when reading first reaches it.
    std::vector<float> decoded_;
    bool decodedCurrent_ = false;
    bool failed_ = false;
};
