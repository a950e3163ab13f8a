#pragma once

#include "CaptureService.h"

#include <functional>
#include <pulse/pulseaudio.h>

class PulseConnection;

// Keeps a record stream on the monitor of the server's default output: when the default output
// changes, it moves the stream to the new output's monitor (the stream keeps its format; the
// server converts) and says so. Driven by the server's change notices, not by polling. Lives
// on the mainloop thread: made and destroyed with the mainloop lock held.
class OutputFollower {
public:
    using MovedHandler = std::function<void(const CaptureOutput& output)>;

    OutputFollower(PulseConnection& connection, pa_stream* stream, CaptureOutput current,
                   MovedHandler moved);
    // No callback reaches the follower afterwards.
    ~OutputFollower();
    OutputFollower(const OutputFollower&) = delete;
    OutputFollower& operator=(const OutputFollower&) = delete;

private:
    // One conversation at a time: a notice that comes during one asks for another afterwards.
    void lookUpDefault();
    void track(pa_operation* operation);
    void done();

    static void onServerEvent(pa_context*, pa_subscription_event_type_t type, uint32_t,
                              void* userdata);
    static void onServerInfo(pa_context*, const pa_server_info* info, void* userdata);
    static void onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* userdata);
    static void onMoved(pa_context*, int success, void* userdata);

    PulseConnection& connection_;
    pa_stream* stream_;
    CaptureOutput current_;
    CaptureOutput target_;
    MovedHandler moved_;
    pa_operation* inFlight_ = nullptr;
    bool lookAgain_ = false;
};
