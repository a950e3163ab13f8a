#include "ReplaySnapshot.h"

#include "Logging.h"
#include "RecordingWriter.h"

ReplaySnapshot::ReplaySnapshot(std::vector<std::shared_ptr<const ReplayBlock>> blocks,
                               qint64 firstFrame, qint64 endFrame, int sampleRateHz,
                               int channelCount)
    : blocks_(std::move(blocks)), first_(firstFrame), end_(std::max(firstFrame, endFrame)),
      sampleRateHz_(sampleRateHz), channelCount_(channelCount), position_(firstFrame) {}

bool ReplaySnapshot::next(PcmBuffer& out, qint64 maxFrames) {
    while (blockIndex_ < blocks_.size() && blocks_[blockIndex_]->endFrame() <= position_) {
        ++blockIndex_;
        decodedCurrent_ = false;
    }
    if (failed_ || position_ >= end_ || maxFrames < 1 || blockIndex_ >= blocks_.size())
        return false;
    const ReplayBlock& block = *blocks_[blockIndex_];
    if (!decodedCurrent_) {
        if (!block.decodeInto(decoded_, channelCount_)) {
            qCWarning(lcCapture) << "A replay block of" << block.frames << "frames at frame"
                                 << block.firstFrame << "couldn't be decoded";
            failed_ = true;
            return false;
        }
        decodedCurrent_ = true;
    }
    const qint64 count = std::min({maxFrames, block.endFrame() - position_, end_ - position_});
    const auto from = decoded_.begin() + (position_ - block.firstFrame) * channelCount_;
    out.sampleRateHz = sampleRateHz_;
    out.channelCount = channelCount_;
    out.samples.assign(from, from + count * channelCount_);
    out.capturedAtUs = -1;
    position_ += count;
    return true;
}

bool ReplaySnapshot::writeTo(RecordingWriter& writer) {
    PcmBuffer buffer;
    while (next(buffer, sampleRateHz_ / 10))
        if (!writer.append(buffer))
            return false;
    return !failed_;
}
