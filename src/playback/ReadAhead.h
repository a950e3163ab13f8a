#pragma once

#include "FrameRange.h"
#include "FrameRing.h"
#include "RecordingReader.h"

#include <atomic>
#include <memory>

// Reads a run of a sound file on a thread of its own ("sonabrix-reader") into a ring that the
// playback stream takes from, so a slow disk never holds up the sound server's thread: the
// stream plays what is there, and what is late is late, not a frozen server connection.
//
// Going away abandons the ring and leaves the thread to end by itself after the read it may be
// in: a stalled disk holds up neither the window nor the server's thread then either.
class ReadAhead {
public:
    // Takes the open `recording`; reads `frames` of it into a ring of `capacityFrames`.
    ReadAhead(RecordingReader recording, FrameRange frames, int64_t capacityFrames);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Consumer side only: pop() from it.
    FrameRing& ring() { return shared_->ring; }
    // True once every frame of the run is in the ring, or reading failed and no more will come.
    bool isDone() const { return shared_->done.load(std::memory_order_acquire); }
    // True when reading failed before the end of the run.
    bool failed() const { return shared_->failed.load(std::memory_order_acquire); }

private:
    struct Shared {
        Shared(RecordingReader recording, int64_t capacityFrames)
            : recording(std::move(recording)),
              ring(this->recording.channelCount(), capacityFrames) {}
        RecordingReader recording;
        FrameRing ring;
        std::atomic<bool> done{false};
        std::atomic<bool> failed{false};
    };
    static void read(const std::shared_ptr<Shared>& shared, FrameRange frames);

    std::shared_ptr<Shared> shared_;
};
