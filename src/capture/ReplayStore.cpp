#include "ReplayStore.h"

#include "FlacMemory.h"
#include "Logging.h"

#include <algorithm>
#include <cmath>
#include <pthread.h>

namespace {

constexpr qint64 usPerSecond = 1'000'000;

bool allZero(const float* samples, qint64 count) {
    return std::all_of(samples, samples + count, [](float sample) { return sample == 0.0f; });
}

} // namespace

ReplayStore::ReplayStore(std::chrono::seconds length, int sampleRateHz, int channelCount,
                         ReplayTuning tuning)
    : length_(length), sampleRateHz_(sampleRateHz), channelCount_(channelCount),
      lengthFrames_(std::max<qint64>(1, length.count() * sampleRateHz)),
      blockFrames_(
          std::clamp<qint64>(tuning.blockLength.count() * sampleRateHz / 1000, 1, lengthFrames_)),
      flacLevel_(tuning.flacLevel), worker_([this] { compressBlocks(); }) {}

ReplayStore::~ReplayStore() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workWaiting_.notify_all();
    worker_.join();
}

bool ReplayStore::append(const PcmBuffer& buffer) {
    std::lock_guard lock(mutex_);
    if (buffer.sampleRateHz != sampleRateHz_ || buffer.channelCount != channelCount_) {
        if (!std::exchange(warnedFormat_, true))
            qCWarning(lcCapture) << "Replay keeps" << sampleRateHz_ << "Hz," << channelCount_
                                 << "channels; a buffer of" << buffer.sampleRateHz << "Hz,"
                                 << buffer.channelCount << "channels is left out";
        return false;
    }
    const qint64 frames = buffer.frames();
    if (frames < 1)
        return true;
    const bool timed = buffer.capturedAtUs >= 0;
    const bool newCapture = std::exchange(breakPending_, false);
    if (newCapture && timed && endUs_) {
        const qint64 gap = framesIn(buffer.capturedAtUs - *endUs_);
        qCDebug(lcCapture) << "Replay: the capture went on after a break of" << gap << "frames";
        if (gap > 0)
            appendSilence(gap, *endUs_);
    }
    std::optional<qint64> startUs = timed ? std::optional(buffer.capturedAtUs) : endUs_;
    if (startUs && (newCapture || anchors_.empty()))
        addAnchor(endFrame_, *startUs);
    appendFrames(buffer.samples.data(), frames, startUs);
    if (startUs)
        endUs_ = *startUs + usIn(frames);
    return true;
}

void ReplayStore::markBreak() {
    std::lock_guard lock(mutex_);
    breakPending_ = true;
}

void ReplayStore::clear() {
    std::lock_guard lock(mutex_);
    blocks_.clear();
    dropOpenBlock();
    if (endUs_)
        addAnchor(endFrame_, *endUs_);
    dropBeyondLength();
}

void ReplayStore::appendFrames(const float* samples, qint64 frames, std::optional<qint64> startUs) {
    for (qint64 done = 0; done < frames;) {
        if (endFrame_ == openFirst_ && startUs)
            addAnchor(endFrame_, *startUs + usIn(done));
        const qint64 count = std::min(frames - done, blockFrames_ - (endFrame_ - openFirst_));
        const float* piece = samples ? samples + done * channelCount_ : nullptr;
        if (openSilent_ && piece && !allZero(piece, count * channelCount_))
            makeOpenBlockReal();
        if (!openSilent_ && piece)
            open_.insert(open_.end(), piece, piece + count * channelCount_);
        else if (!openSilent_)
            open_.resize(open_.size() + size_t(count * channelCount_), 0.0f);
        endFrame_ += count;
        done += count;
        if (endFrame_ - openFirst_ == blockFrames_)
            finishOpenBlock();
        dropBeyondLength();
    }
}

void ReplayStore::appendSilence(qint64 frames, qint64 startUs) {
    // Silence longer than all the store keeps would push everything out: what it would leave is
    // the same as skipping to its last part.
    const qint64 pushedOut = frames - (lengthFrames_ + blockFrames_);
    if (pushedOut > 0) {
        blocks_.clear();
        dropOpenBlock();
        endFrame_ += pushedOut;
        openFirst_ = endFrame_;
        startUs += usIn(pushedOut);
        frames -= pushedOut;
    }
    appendFrames(nullptr, frames, startUs);
}

void ReplayStore::makeOpenBlockReal() {
    open_.reserve(size_t(blockFrames_ * channelCount_));
    open_.assign(size_t((endFrame_ - openFirst_) * channelCount_), 0.0f);
    openSilent_ = false;
}

void ReplayStore::finishOpenBlock() {
    auto block = std::make_shared<ReplayBlock>();
    block->firstFrame = openFirst_;
    block->frames = endFrame_ - openFirst_;
    if (!openSilent_) {
        block->form = ReplayBlock::Form::Raw;
        block->raw = std::move(open_);
        toCompress_.push_back(block);
        workWaiting_.notify_one();
    }
    blocks_.push_back(std::move(block));
    dropOpenBlock();
}

void ReplayStore::dropOpenBlock() {
    // Not `open_ = {}`: that would keep the samples' memory.
    std::vector<float>().swap(open_);
    openSilent_ = true;
    openFirst_ = endFrame_;
}

std::chrono::seconds ReplayStore::length() const {
    std::lock_guard lock(mutex_);
    return length_;
}

void ReplayStore::setLength(std::chrono::seconds length) {
    std::lock_guard lock(mutex_);
    length_ = length;
    lengthFrames_ = std::max<qint64>(blockFrames_, length.count() * sampleRateHz_);
    dropBeyondLength();
}

void ReplayStore::dropBeyondLength() {
    // The oldest block goes as soon as the rest hold the length: never more than the length and
    // one block.
    while (!blocks_.empty() && endFrame_ - blocks_.front()->endFrame() >= lengthFrames_)
        blocks_.pop_front();
    const qint64 first = firstKept();
    while (anchors_.size() > 1 && anchors_[1].frame <= first)
        anchors_.pop_front();
}

void ReplayStore::addAnchor(qint64 frame, qint64 us) {
    if (!anchors_.empty() && anchors_.back().frame == frame)
        anchors_.back().us = us;
    else
        anchors_.push_back({frame, us});
}

qint64 ReplayStore::firstKept() const {
    return blocks_.empty() ? openFirst_ : blocks_.front()->firstFrame;
}

qint64 ReplayStore::usIn(qint64 frames) const {
    return std::llround(double(frames) * usPerSecond / sampleRateHz_);
}

qint64 ReplayStore::framesIn(qint64 us) const {
    return std::llround(double(us) * sampleRateHz_ / usPerSecond);
}

qint64 ReplayStore::firstKeptFrame() const {
    std::lock_guard lock(mutex_);
    return firstKept();
}

qint64 ReplayStore::endFrame() const {
    std::lock_guard lock(mutex_);
    return endFrame_;
}

double ReplayStore::keptSeconds() const {
    std::lock_guard lock(mutex_);
    return double(endFrame_ - firstKept()) / sampleRateHz_;
}

std::optional<qint64> ReplayStore::monotonicUsAt(qint64 frame) const {
    std::lock_guard lock(mutex_);
    const Anchor* nearest = newestAnchor([frame](const Anchor& a) { return a.frame <= frame; });
    if (!nearest)
        return std::nullopt;
    return nearest->us + usIn(frame - nearest->frame);
}

std::optional<qint64> ReplayStore::frameAt(qint64 monotonicUs) const {
    std::lock_guard lock(mutex_);
    // Newest first: after an overlapping restart the later capture's times are the ones meant.
    const Anchor* nearest =
        newestAnchor([monotonicUs](const Anchor& a) { return a.us <= monotonicUs; });
    if (!nearest)
        return std::nullopt;
    return nearest->frame + framesIn(monotonicUs - nearest->us);
}

qint64 ReplayStore::memoryBytes() const {
    std::lock_guard lock(mutex_);
    qint64 bytes = sizeof(*this) + qint64(open_.capacity() * sizeof(float)) +
                   qint64(anchors_.size() * sizeof(Anchor)) +
                   qint64(toCompress_.size() * sizeof(std::weak_ptr<const ReplayBlock>)) +
                   qint64(blocks_.size() * sizeof(std::shared_ptr<const ReplayBlock>));
    for (const std::shared_ptr<const ReplayBlock>& block : blocks_)
        bytes += block->memoryBytes();
    return bytes;
}

ReplaySnapshot ReplayStore::snapshot(qint64 fromFrame, qint64 toFrame) const {
    std::lock_guard lock(mutex_);
    const qint64 first = std::max(fromFrame, firstKept());
    const qint64 end = std::max(first, std::min(toFrame, endFrame_));
    std::vector<std::shared_ptr<const ReplayBlock>> parts;
    for (const std::shared_ptr<const ReplayBlock>& block : blocks_)
        if (block->endFrame() > first && block->firstFrame < end)
            parts.push_back(block);
    if (end > openFirst_) {
        // The block being filled changes: the snapshot gets its own copy of what it needs.
        auto open = std::make_shared<ReplayBlock>();
        open->firstFrame = std::max(first, openFirst_);
        open->frames = end - open->firstFrame;
        if (!openSilent_) {
            open->form = ReplayBlock::Form::Raw;
            const auto from = open_.begin() + (open->firstFrame - openFirst_) * channelCount_;
            open->raw.assign(from, from + open->frames * channelCount_);
        }
        parts.push_back(std::move(open));
    }
    return ReplaySnapshot(std::move(parts), first, end, sampleRateHz_, channelCount_);
}

void ReplayStore::waitUntilCompressed() {
    std::unique_lock lock(mutex_);
    workDone_.wait(lock, [this] { return toCompress_.empty() && !compressing_; });
}

void ReplayStore::compressBlocks() {
    pthread_setname_np(pthread_self(), "sonabrix-replay");
    std::unique_lock lock(mutex_);
    while (true) {
        workWaiting_.wait(lock, [this] { return stopping_ || !toCompress_.empty(); });
        if (stopping_)
            return;
        const std::shared_ptr<const ReplayBlock> raw = toCompress_.front().lock();
        toCompress_.pop_front();
        if (!raw) {
            workDone_.notify_all();
            continue;
        }
        compressing_ = true;
        lock.unlock();
        auto block = std::make_shared<ReplayBlock>();
        block->firstFrame = raw->firstFrame;
        block->frames = raw->frames;
        block->form = ReplayBlock::Form::Flac;
        std::optional<std::vector<unsigned char>> flac = FlacMemory::encode(
            raw->raw.data(), raw->frames, sampleRateHz_, channelCount_, flacLevel_);
        if (flac)
            block->flac = std::move(*flac);
        lock.lock();
        compressing_ = false;
        if (!flac) {
            // It stays raw: kept, only larger.
            qCWarning(lcCapture) << "A replay block couldn't be compressed; it is kept as it is";
        } else {
            qCDebug(lcCapture) << "Replay block at frame" << raw->firstFrame << "of" << raw->frames
                               << "frames compressed to" << block->flac.size() << "bytes";
            auto kept = std::find(blocks_.begin(), blocks_.end(), raw);
            if (kept != blocks_.end())
                *kept = std::move(block);
        }
        workDone_.notify_all();
    }
}
