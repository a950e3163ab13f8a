#include "ReadAhead.h"

#include "Logging.h"

#include <algorithm>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {
constexpr int64_t blockFrames = 4096;
} // namespace

ReadAhead::ReadAhead(SoundFileHandle file, int channelCount, FrameRange frames,
                     int64_t capacityFrames)
    : shared_(std::make_shared<Shared>(std::move(file), channelCount, capacityFrames)) {
    std::thread(read, shared_, frames).detach();
}

ReadAhead::~ReadAhead() {
    shared_->ring.abandon();
}

void ReadAhead::read(const std::shared_ptr<Shared>& shared, FrameRange frames) {
    pthread_setname_np(pthread_self(), "sonabrix-reader");
    FrameRing& ring = shared->ring;
    std::vector<float> block(static_cast<size_t>(blockFrames * ring.channelCount()));
    bool failed = sf_seek(shared->file.get(), frames.first, SEEK_SET) < 0;
    int64_t left = frames.count();
    while (!failed && left > 0) {
        const int64_t wanted = std::min<int64_t>({left, blockFrames, ring.capacityFrames()});
        if (!ring.waitForRoom(wanted))
            return; // the player is gone
        const sf_count_t got = sf_readf_float(shared->file.get(), block.data(), wanted);
        if (got > 0)
            ring.push(block.data(), got);
        failed = got < wanted;
        left -= std::max<sf_count_t>(got, 0);
    }
    if (failed)
        qCWarning(lcPlayback).noquote()
            << "Reading for playback stopped" << left << "frames before the end:"
            << (sf_error(shared->file.get()) != SF_ERR_NO_ERROR ? sf_strerror(shared->file.get())
                                                                : "the file is shorter");
    shared->failed.store(failed, std::memory_order_release);
    shared->done.store(true, std::memory_order_release);
}
