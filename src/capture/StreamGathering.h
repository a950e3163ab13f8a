#pragma once

#include "PcmBuffer.h"

#include <functional>
#include <pulse/pulseaudio.h>

// Takes what a record stream has ready out of the server's memory and gathers it into
// deliveries of at least one fragment, each stamped with when its first frame was captured.
// The server hands over audio in whatever pieces its source renders (often 5 ms); gathering
// writes the file a few dozen times a second rather than hundreds. On the mainloop thread.
class StreamGathering {
public:
    // The stream flags that give capture times: the stream keeps its latency up to date.
    static constexpr auto timingFlags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);

    using Delivery = std::function<void(PcmBuffer&&)>;

    // With the stream's granted sample format; nothing is gathered before.
    void start(const pa_sample_spec& format, size_t fragmentFrames);
    // Everything `stream` has ready; full deliveries go to `deliver`.
    void readAvailable(pa_stream* stream, const Delivery& deliver);
    // Whatever is gathered, however little.
    void flush(const Delivery& deliver);

private:
    pa_sample_spec format_{};
    size_t fragmentFrames_ = 0;
    PcmBuffer pending_;
};
