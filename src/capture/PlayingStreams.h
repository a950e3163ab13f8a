#pragma once

#include "CaptureService.h"

#include <QList>
#include <cstdint>
#include <optional>
#include <pulse/pulseaudio.h>

class PulseConnection;

// A stream some program plays to an output, as the server lists it (a sink input).
struct PlayingStream {
    uint32_t index = PA_INVALID_INDEX;
    // The output it plays to.
    uint32_t sink = PA_INVALID_INDEX;
    // Its program's name, binary and icon, from the stream's properties.
    CaptureProgram program;
    // The process that plays it, when the server knows.
    uint32_t ownerPid = 0;
    // The latency its program asked PipeWire for (node.latency), in seconds; 0 when none.
    double requestedLatency = 0;

    static PlayingStream from(const pa_sink_input_info& info);
    // Whether this process plays it: the app's own sound never counts as a program's.
    bool isOwn() const;
};

// Every stream playing to an output but the app's own, in the server's order; none when the
// server didn't answer. With the mainloop lock held.
std::optional<QList<PlayingStream>> listPlayingStreams(PulseConnection& connection);

// Each program of `streams` once, in order of its first stream.
QList<CaptureProgram> programsOf(const QList<PlayingStream>& streams);
