#include "StreamMix.h"

#include <algorithm>
#include <cmath>
#include <functional>

StreamMix::StreamMix(int sampleRateHz, int channelCount, qint64 originUs)
    : rate_(sampleRateHz), channels_(channelCount), originUs_(originUs) {}

int StreamMix::addStream() {
    streams_[++lastId_] = {};
    return lastId_;
}

void StreamMix::add(int id, PcmBuffer&& buffer) {
    const auto found = streams_.find(id);
    if (found == streams_.end() || buffer.frames() < 1)
        return;
    Stream& stream = found->second;
    if (!stream.start)
        stream.start = std::max(given_, frameAt(buffer.capturedAtUs));
    stream.queued.insert(stream.queued.end(), buffer.samples.begin(), buffer.samples.end());
}

void StreamMix::endStream(int id) {
    if (const auto found = streams_.find(id); found != streams_.end())
        found->second.open = false;
}

bool StreamMix::hasOpenStreams() const {
    return std::any_of(streams_.begin(), streams_.end(),
                       [](const auto& entry) { return entry.second.open; });
}

qint64 StreamMix::frameAt(qint64 us) const {
    return std::llround(double(us - originUs_) * rate_ / 1e6);
}

PcmBuffer StreamMix::take(qint64 nowUs) {
    qint64 limit = frameAt(nowUs - holdBackUs);
    bool anyOpen = false;
    for (const auto& [id, stream] : streams_) {
        if (!stream.open)
            continue;
        // An open stream that hasn't delivered yet may still bring audio from any moment after
        // the timeline given out.
        const qint64 reached = stream.start ? stream.end(channels_) : given_;
        limit = anyOpen ? std::min(limit, reached) : reached;
        anyOpen = true;
    }
    return mixUpTo(limit);
}

PcmBuffer StreamMix::finish(qint64 nowUs) {
    qint64 limit = frameAt(nowUs);
    for (auto& [id, stream] : streams_) {
        stream.open = false;
        if (stream.start)
            limit = std::max(limit, stream.end(channels_));
    }
    return mixUpTo(limit);
}

PcmBuffer StreamMix::mixUpTo(qint64 frame) {
    PcmBuffer mix;
    mix.sampleRateHz = rate_;
    mix.channelCount = channels_;
    if (frame <= given_)
        return mix;
    mix.capturedAtUs = originUs_ + std::llround(double(given_) * 1e6 / rate_);
    mix.samples.assign(size_t(frame - given_) * size_t(channels_), 0.0f);
    for (auto entry = streams_.begin(); entry != streams_.end();) {
        Stream& stream = entry->second;
        if (stream.start && *stream.start < frame) {
            // Its audio from its start (never before given_) up to the limit.
            const qint64 frames = std::min(stream.end(channels_), frame) - *stream.start;
            const auto values = size_t(frames * channels_);
            auto into = mix.samples.begin() + (*stream.start - given_) * channels_;
            std::transform(stream.queued.begin(), stream.queued.begin() + long(values), into, into,
                           std::plus<float>());
            stream.queued.erase(stream.queued.begin(), stream.queued.begin() + long(values));
            *stream.start += frames;
        }
        const bool drained = !stream.start || stream.queued.empty();
        entry = !stream.open && drained ? streams_.erase(entry) : std::next(entry);
    }
    given_ = frame;
    return mix;
}
