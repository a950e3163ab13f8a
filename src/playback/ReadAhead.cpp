#include "ReadAhead.h"

#include "Logging.h"

#include <algorithm>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {
constexpr int64_t blockFrames = 4096;
} // namespace

ReadAhead::ReadAhead(RecordingReader recording, FrameRange frames, int64_t capacityFrames)
    : shared_(std::make_shared<Shared>(std::move(recording), capacityFrames)) {
    std::thread(read, shared_, frames).detach();
}

ReadAhead::~ReadAhead() {
    shared_->ring.abandon();
}

void ReadAhead::read(const std::shared_ptr<Shared>& shared, FrameRange frames) {
    pthread_setname_np(pthread_self(), "sonabrix-reader");
    FrameRing& ring = shared->ring;
    std::vector<float> block(static_cast<size_t>(blockFrames * ring.channelCount()));
    int64_t next = frames.first;
    bool failed = false;
    while (!failed && next < frames.end) {
        const int64_t wanted =
            std::min<int64_t>({frames.end - next, blockFrames, ring.capacityFrames()});
        if (!ring.waitForRoom(wanted))
            return; // the player is gone
        const std::optional<int64_t> got = shared->recording.read({next, next + wanted}, block);
        failed = !got || *got < wanted;
        if (got) {
            ring.push(block.data(), *got);
            next += *got;
        }
    }
    if (failed)
        qCWarning(lcPlayback).noquote()
            << "Reading for playback stopped" << frames.end - next << "frames before the end:"
            << (shared->recording.errorText().isEmpty() ? QStringLiteral("the file is shorter")
                                                        : shared->recording.errorText());
    shared->failed.store(failed, std::memory_order_release);
    shared->done.store(true, std::memory_order_release);
}
