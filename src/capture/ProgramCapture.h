#pragma once

#include "CaptureService.h"
#include "PlayingStreams.h"
#include "RecordStream.h"
#include "StreamGathering.h"
#include "StreamMix.h"

#include <map>
#include <memory>
#include <pulse/pulseaudio.h>

class PulseConnection;

// Records what one program plays and nothing else: each of its streams through a record stream of
// its own that hears that stream alone (pa_stream_set_monitor_stream), mixed on the recording's
// timeline; the streams open at the start and every one the program opens later, until the end.
// Where the program plays nothing the recording holds silence. No record stream may be moved: on
// pipewire-pulse a stream whose program stream ended would otherwise go on as a recording of the
// whole output. Driven by the server's change notices. Lives on the mainloop thread: made, used
// and destroyed with the mainloop lock held.
class ProgramCapture {
public:
    // The recording's timeline starts at `startUs`; the mix goes to handlers.samples, whether the
    // program plays to handlers.programPlaying. The handlers must outlive the capture.
    ProgramCapture(PulseConnection& connection, CaptureProgram program,
                   const RecordStream::Format& format, qint64 startUs,
                   const CaptureService::Handlers& handlers);
    ~ProgramCapture();
    ProgramCapture(const ProgramCapture&) = delete;
    ProgramCapture& operator=(const ProgramCapture&) = delete;

    // Streams of the program that play now are opened; the rest as they come.
    void start();
    // The clock's turn, as StreamGathering takes it.
    void tick(qint64 nowUs);
    // Everything the server captured before now reaches us first: a round trip per stream.
    void drain();
    // The recording's end at `nowUs`: every stream's audio, then silence up to it.
    void finish(qint64 nowUs);

private:
    struct Source {
        int id = 0;
        StreamGathering gathering;
        StreamGathering::Delivery deliver;
        // After the gathering and delivery it feeds, so it goes first.
        std::unique_ptr<RecordStream> stream;
    };

    // One listing at a time: a notice that comes during one asks for another afterwards.
    void lookAgain();
    void reconcile(const QList<PlayingStream>& playing);
    void open(const PlayingStream& playing);
    void close(uint32_t index, const char* why);
    void give(PcmBuffer&& mix);
    void tellPlaying();
    // PipeWire's graph cycle, as the streams' requested latencies set it.
    qint64 estimatedCycleUs() const;
    static void onSinkInput(pa_context*, const pa_sink_input_info* info, int last, void* userdata);

    PulseConnection& connection_;
    const CaptureProgram program_;
    const RecordStream::Format format_;
    const CaptureService::Handlers& handlers_;
    StreamMix mix_;
    int listener_ = 0;
    pa_operation* listing_ = nullptr;
    bool listAgain_ = false;
    QList<PlayingStream> listed_;
    // By the index of the program's stream each one hears.
    std::map<uint32_t, std::unique_ptr<Source>> sources_;
    std::optional<bool> toldPlaying_;
    // On PipeWire: how much later than a program stream's capture times its output plays it.
    qint64 outputCycleUs_ = 0;
    // The shortest latency a stream asked for in the listing under way.
    double shortestLatency_ = 0;
    // How often the server ended what heard each program stream, while that stream went on.
    static constexpr int mostEndings = 3;
    std::map<uint32_t, int> endings_;
};
