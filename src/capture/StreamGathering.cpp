#include "StreamGathering.h"

#include "Logging.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// How much of a small timing difference the timeline takes in per delivery: enough to follow
// a sound card's clock a few hundred ppm off the server's, too little to follow jitter.
constexpr double driftFollowing = 0.02;

double microseconds(std::chrono::milliseconds duration) {
    return static_cast<double>(duration.count()) * 1000.0;
}

// When the frame at the stream's read index was captured, on the server's clock. Everything
// readable now was captured before now; the server's latency says how much earlier still,
// believed up to mostSourceLatency.
qint64 captureTimeOfNextFrame(pa_stream* stream, const pa_sample_spec& format) {
    const auto now = static_cast<qint64>(pa_rtclock_now());
    const size_t readable = pa_stream_readable_size(stream);
    const pa_usec_t waiting =
        readable == static_cast<size_t>(-1) ? 0 : pa_bytes_to_usec(readable, &format);
    pa_usec_t latency = 0;
    int negative = 0;
    pa_usec_t beyond = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0 && !negative && latency > waiting)
        beyond = std::min<pa_usec_t>(latency - waiting, static_cast<pa_usec_t>(microseconds(
                                                            StreamGathering::mostSourceLatency)));
    return now - static_cast<qint64>(waiting + beyond);
}

} // namespace

void StreamGathering::start(const pa_sample_spec& format, size_t fragmentFrames, qint64 startUs) {
    format_ = format;
    fragmentFrames_ = fragmentFrames;
    pending_ = {};
    nextUs_ = static_cast<double>(startUs);
    audioFrames_ = 0;
    timed_ = false;
    lastArrivalUs_ = startUs;
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
            // A hole: nothing was captured there. The audio after it gets its own place.
            settle(deliver);
            pa_stream_drop(stream);
            continue;
        }
        lastArrivalUs_ = static_cast<qint64>(pa_rtclock_now());
        const qint64 capturedAtUs = captureTimeOfNextFrame(stream, format_);
        if (pending_.samples.empty())
            begin(capturedAtUs);
        else if (suspectedGapUs_)
            suspect(capturedAtUs);
        const size_t frames = bytes / frameBytes;
        audioFrames_ += static_cast<qint64>(frames);
        const size_t offset = pending_.samples.size();
        pending_.samples.resize(offset + frames * format_.channels);
        std::memcpy(pending_.samples.data() + offset, data, frames * frameBytes);
        // The server's memory goes back before the (slower) file write.
        pa_stream_drop(stream);
        if (suspectedGapUs_ && gapConfirmable())
            resolveGap(deliver);
        else if (!suspectedGapUs_ && static_cast<size_t>(pending_.frames()) >= fragmentFrames_)
            flush(deliver);
    }
}

void StreamGathering::begin(qint64 capturedAtUs) {
    const double late = static_cast<double>(capturedAtUs) - nextUs_;
    if (late > microseconds(gapAfter)) {
        suspectedGapUs_ = late;
        heldSinceUs_ = lastArrivalUs_;
    } else if (late >= -microseconds(gapAfter)) {
        follow(late);
    }
    // Audio from before its place (the server was late, or silence went in too early) is
    // appended all the same: moving it would mean dropping audio.
    pending_.sampleRateHz = static_cast<int>(format_.rate);
    pending_.channelCount = format_.channels;
    pending_.capturedAtUs = std::llround(nextUs_);
    pending_.samples.reserve(2 * fragmentFrames_ * format_.channels);
}

void StreamGathering::follow(double late) {
    if (audioFrames_ >= settleFrames())
        nextUs_ += driftFollowing * late;
    else if (!std::exchange(timed_, true))
        nextUs_ += late;
    else
        nextUs_ += std::min(late, 0.0);
}

void StreamGathering::suspect(qint64 capturedAtUs) {
    // Where this piece would stand with no gap before the held audio.
    const double late = static_cast<double>(capturedAtUs) - endUs();
    suspectedGapUs_ = std::min(*suspectedGapUs_, late);
}

void StreamGathering::resolveGap(const Delivery& deliver) {
    const double gap = *std::exchange(suspectedGapUs_, std::nullopt);
    if (gap > microseconds(gapAfter)) {
        qCDebug(lcCapture).nospace()
            << "Nothing captured for " << std::lround(gap / 1000) << " ms: silence in its place";
        PcmBuffer held = std::exchange(pending_, PcmBuffer{});
        silenceUntil(nextUs_ + gap, deliver);
        timed_ = true;
        held.capturedAtUs = std::llround(nextUs_);
        pending_ = std::move(held);
    }
    flush(deliver);
}

bool StreamGathering::gapConfirmable() const {
    const qint64 confirmFrames = static_cast<qint64>(format_.rate) * confirmGapFor.count() / 1000;
    return pending_.frames() >= confirmFrames &&
           lastArrivalUs_ - heldSinceUs_ >= confirmGapFor.count() * 1000;
}

qint64 StreamGathering::settleFrames() const {
    return static_cast<qint64>(format_.rate) * settleFor.count() / 1000;
}

double StreamGathering::endUs() const {
    return nextUs_ + static_cast<double>(pending_.frames()) * 1e6 / format_.rate;
}

void StreamGathering::silenceUntil(double us, const Delivery& deliver) {
    settle(deliver);
    const auto frames = static_cast<qint64>(std::floor((us - nextUs_) * format_.rate / 1e6));
    if (frames < 1 || format_.rate == 0)
        return;
    PcmBuffer silence;
    silence.sampleRateHz = static_cast<int>(format_.rate);
    silence.channelCount = format_.channels;
    silence.capturedAtUs = std::llround(nextUs_);
    silence.samples.assign(static_cast<size_t>(frames) * format_.channels, 0.0f);
    nextUs_ += static_cast<double>(frames) * 1e6 / format_.rate;
    if (deliver)
        deliver(std::move(silence));
}

void StreamGathering::settle(const Delivery& deliver) {
    if (suspectedGapUs_)
        resolveGap(deliver);
    else
        flush(deliver);
}

void StreamGathering::tick(qint64 nowUs, const Delivery& deliver) {
    // Held audio that no more audio followed: what came decides.
    if (suspectedGapUs_ && nowUs - lastArrivalUs_ > confirmGapFor.count() * 1000)
        resolveGap(deliver);
    const double quietSince = static_cast<double>(nowUs) - microseconds(silentAfter);
    if (format_.rate > 0 && static_cast<double>(lastArrivalUs_) < quietSince &&
        endUs() < quietSince)
        silenceUntil(quietSince, deliver);
}

void StreamGathering::finish(qint64 nowUs, const Delivery& deliver) {
    settle(deliver);
    if (format_.rate > 0 && static_cast<double>(nowUs - lastArrivalUs_) > microseconds(gapAfter))
        silenceUntil(static_cast<double>(nowUs), deliver);
}

void StreamGathering::flush(const Delivery& deliver) {
    PcmBuffer delivery = std::exchange(pending_, PcmBuffer{});
    const qint64 frames = delivery.frames();
    if (frames < 1)
        return;
    nextUs_ += static_cast<double>(frames) * 1e6 / format_.rate;
    if (deliver)
        deliver(std::move(delivery));
}
