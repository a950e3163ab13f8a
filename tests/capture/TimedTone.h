#pragma once

#include "ServerFixtures.h"

#include <atomic>
#include <pulse/pulseaudio.h>

// Plays a tone on the left channel of the default output through a stream of its own, as the
// program `name`, and notes on the server's clock when the server began to play it: the player's
// own start-up (connecting, an output waking up) is not the recorder's to account for.
class TimedTone {
public:
    TimedTone(double seconds, double hz, const char* name = "Sonabrix test tone")
        : frames_(tone(seconds, hz, 0.5f)) {
        for (size_t i = 1; i < frames_.size(); i += 2)
            frames_[i] = 0;
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), name);
        pa_context_set_state_callback(context_, &TimedTone::onContextState, this);
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
        pa_threaded_mainloop_start(loop_);
    }
    ~TimedTone() {
        pa_threaded_mainloop_stop(loop_);
        if (stream_)
            pa_stream_unref(stream_);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(loop_);
    }
    TimedTone(const TimedTone&) = delete;
    TimedTone& operator=(const TimedTone&) = delete;

    // When the server started playing, in microseconds of pa_rtclock_now(); -1 until then.
    qint64 startedAtUs() const { return startedAtUs_.load(); }

private:
    static void onContextState(pa_context* context, void* userdata) {
        auto* self = static_cast<TimedTone*>(userdata);
        if (pa_context_get_state(context) != PA_CONTEXT_READY)
            return;
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 2};
        self->stream_ = pa_stream_new(context, "tone", &format, nullptr);
        pa_stream_set_started_callback(self->stream_, &TimedTone::onStarted, self);
        // A short buffer: playback starts as soon as the first 50 ms are in.
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.minreq = attributes.prebuf = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(-1);
        attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(50'000, &format));
        pa_stream_connect_playback(self->stream_, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY,
                                   nullptr, nullptr);
        pa_stream_set_state_callback(self->stream_, &TimedTone::onStreamState, self);
    }
    static void onStreamState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<TimedTone*>(userdata);
        if (pa_stream_get_state(stream) == PA_STREAM_READY)
            pa_stream_write(stream, self->frames_.data(), self->frames_.size() * sizeof(float),
                            nullptr, 0, PA_SEEK_RELATIVE);
    }
    static void onStarted(pa_stream*, void* userdata) {
        auto* self = static_cast<TimedTone*>(userdata);
        qint64 none = -1;
        self->startedAtUs_.compare_exchange_strong(none, static_cast<qint64>(pa_rtclock_now()));
    }

    std::vector<float> frames_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::atomic<qint64> startedAtUs_{-1};
};
