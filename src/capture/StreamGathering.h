#pragma once

#include "PcmBuffer.h"

#include <chrono>
#include <functional>
#include <optional>
#include <pulse/pulseaudio.h>

// Takes what a record stream has ready out of the server's memory and gathers it into
// deliveries of at least one fragment, each stamped with when its first frame was captured.
// The server hands over audio in whatever pieces its source renders (often 5 ms); gathering
// writes the file a few dozen times a second rather than hundreds. On the mainloop thread.
//
// The deliveries make one unbroken timeline from start() on, the wall clock's: a server that
// delivers nothing for a while (PulseAudio while nothing plays, a source that stalls) leaves
// silence of that length, given as soon as the time has surely passed (see tick()), or before
// the next audio when that comes first. Nothing the server gives is ever dropped or moved.
class StreamGathering {
public:
    // The stream flags that give capture times: the stream keeps its latency up to date.
    static constexpr auto timingFlags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    // Audio later than its place by more than this left a gap: silence goes in before it.
    // Smaller differences are the server's timing jitter, and the timeline follows them slowly.
    static constexpr std::chrono::milliseconds gapAfter{100};
    // A gap is as long as the least lateness of the audio that follows it, for this long of
    // audio and of arrival: a server (or a recorder kept waiting) that was only late catches up
    // in a burst, all of which arrives within moments; one that captured nothing stays behind.
    static constexpr std::chrono::milliseconds confirmGapFor{100};
    // Once nothing has come for this long, the time is silence. A server starved by a busy
    // machine can be hundreds of milliseconds late with audio it did capture, and silence put in
    // before that audio arrives would push it later.
    static constexpr std::chrono::milliseconds silentAfter{1000};
    // For this long from a stream's first audio the timeline takes the least lateness measured
    // so far, rather than following it slowly: a stream's first frames are captured some
    // milliseconds after it connects, and a capture time measured late (the thread was kept
    // waiting) is never earlier than the truth. The microphone is put in place against the
    // output in these first moments.
    static constexpr std::chrono::milliseconds settleFor{500};
    // The most a stream's reported latency is believed beyond the audio already waiting for us:
    // PulseAudio reports hundreds of milliseconds for a monitor whose output just woke up.
    static constexpr std::chrono::milliseconds mostSourceLatency{25};

    using Delivery = std::function<void(PcmBuffer&&)>;

    // With the stream's granted sample format; nothing is gathered before. The timeline starts
    // at `startUs` (the server's clock, pa_rtclock_now()).
    void start(const pa_sample_spec& format, size_t fragmentFrames, qint64 startUs);
    // Everything `stream` has ready; full deliveries go to `deliver`.
    void readAvailable(pa_stream* stream, const Delivery& deliver);
    // Whatever is gathered, however little, with its gap decided.
    void settle(const Delivery& deliver);
    // The clock's turn: silence for a stream that has given nothing since silentAfter before
    // `nowUs`.
    void tick(qint64 nowUs, const Delivery& deliver);
    // The end of the recording at `nowUs`: what is gathered, then silence up to it when the
    // stream had given nothing for gapAfter (a stream still delivering has given all it has).
    void finish(qint64 nowUs, const Delivery& deliver);

private:
    // Starts a delivery for audio whose first frame was captured at `capturedAtUs`: in its
    // place, or held while a gap before it is suspected.
    void begin(qint64 capturedAtUs);
    // Moves the timeline by as much of a small lateness as the stream's age says.
    void follow(double late);
    // More audio of the held delivery, captured at `capturedAtUs`.
    void suspect(qint64 capturedAtUs);
    // Silence for the gap the held audio confirmed, if any, then the held audio.
    void resolveGap(const Delivery& deliver);
    void flush(const Delivery& deliver);
    void silenceUntil(double us, const Delivery& deliver);
    double endUs() const;
    // The held audio says enough about a suspected gap: confirmGapFor of it, arrived over
    // confirmGapFor.
    bool gapConfirmable() const;
    qint64 settleFrames() const;

    pa_sample_spec format_{};
    size_t fragmentFrames_ = 0;
    PcmBuffer pending_;
    // The capture time the next frame after the pending ones stands for.
    double nextUs_ = 0;
    // When audio last came, on the server's clock.
    qint64 lastArrivalUs_ = 0;
    // Frames of audio from the server so far, and whether one of them has set the timeline.
    qint64 audioFrames_ = 0;
    bool timed_ = false;
    // While set, pending_ is held: the least lateness of its pieces so far, in microseconds.
    std::optional<double> suspectedGapUs_;
    // When the held audio began to arrive.
    qint64 heldSinceUs_ = 0;
};
