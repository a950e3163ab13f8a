#pragma once

#include "CaptureService.h"

#include <functional>
#include <pulse/pulseaudio.h>

class PulseConnection;

// Keeps the recording on the monitor of the server's default output: when the default output
// changes, it has the capture reopened on the new output's monitor (the stream keeps its format;
// the server converts) and says so. The capture stream itself can't be moved (it is made with
// PA_STREAM_DONT_MOVE, so that no change of the default input takes it to a microphone); the
// owner opens a new one into the same recording and tells reopened(). Driven by the server's
// change notices, not by polling. Lives on the mainloop thread: made and destroyed with the
// mainloop lock held.
class OutputFollower {
public:
    using MovedHandler = std::function<void(const CaptureOutput& output)>;
    // Starts opening the capture on `output`'s monitor; false when it can't even start.
    using ReopenHandler = std::function<bool(const CaptureOutput& output)>;

    OutputFollower(PulseConnection& connection, CaptureOutput current, ReopenHandler reopen,
                   MovedHandler moved);
    // No callback reaches the follower afterwards.
    ~OutputFollower();
    OutputFollower(const OutputFollower&) = delete;
    OutputFollower& operator=(const OutputFollower&) = delete;

    // The reopening asked for has ended: the capture now runs on the new monitor, or stays.
    void reopened(bool success);

private:
    // One conversation at a time: a notice that comes during one asks for another afterwards.
    void lookUpDefault();
    void track(pa_operation* operation);
    void done();

    static void onServerInfo(pa_context*, const pa_server_info* info, void* userdata);
    static void onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* userdata);

    PulseConnection& connection_;
    int listener_ = 0;
    CaptureOutput current_;
    CaptureOutput target_;
    ReopenHandler reopen_;
    MovedHandler moved_;
    pa_operation* inFlight_ = nullptr;
    // A reopening runs: the next conversation waits for it.
    bool reopening_ = false;
    bool lookAgain_ = false;
    // The default input last seen; its changes are told, and leave the capture where it is.
    QString defaultSource_;
};
