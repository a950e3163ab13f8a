#include "StreamGathering.h"

#include <cstring>
#include <utility>

namespace {

// When the frame at the stream's read index was captured, on the server's clock. The stream
// knows its latency from its timing updates; without them the data is taken as just captured.
qint64 captureTimeOfNextFrame(pa_stream* stream, size_t bytes, const pa_sample_spec& format) {
    const auto now = static_cast<qint64>(pa_rtclock_now());
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0)
        return negative ? now + static_cast<qint64>(latency) : now - static_cast<qint64>(latency);
    return now - static_cast<qint64>(pa_bytes_to_usec(bytes, &format));
}

} // namespace

void StreamGathering::start(const pa_sample_spec& format, size_t fragmentFrames) {
    format_ = format;
    fragmentFrames_ = fragmentFrames;
    pending_ = {};
}

void StreamGathering::readAvailable(pa_stream* stream, const Delivery& deliver) {
    const size_t frameBytes = pa_frame_size(&format_);
    for (;;) {
        const void* data = nullptr;
        size_t bytes = 0;
        // A failing stream reports itself through its state; nothing to add here.
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        if (!data) {
            // A hole: nothing was captured there. What follows gets a capture time of its own.
            flush(deliver);
            pa_stream_drop(stream);
            continue;
        }
        if (pending_.samples.empty()) {
            pending_.sampleRateHz = static_cast<int>(format_.rate);
            pending_.channelCount = format_.channels;
            pending_.capturedAtUs = captureTimeOfNextFrame(stream, bytes, format_);
            pending_.samples.reserve(2 * fragmentFrames_ * format_.channels);
        }
        const size_t frames = bytes / frameBytes;
        const size_t offset = pending_.samples.size();
        pending_.samples.resize(offset + frames * format_.channels);
        std::memcpy(pending_.samples.data() + offset, data, frames * frameBytes);
        // The server's memory goes back before the (slower) file write.
        pa_stream_drop(stream);
        if (static_cast<size_t>(pending_.frames()) >= fragmentFrames_)
            flush(deliver);
    }
}

void StreamGathering::flush(const Delivery& deliver) {
    PcmBuffer delivery = std::exchange(pending_, PcmBuffer{});
    if (delivery.frames() > 0 && deliver)
        deliver(std::move(delivery));
}
