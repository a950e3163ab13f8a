#include "ProgramCapture.h"

#include "Logging.h"
#include "PulseConnection.h"

#include <cmath>

ProgramCapture::ProgramCapture(PulseConnection& connection, CaptureProgram program,
                               const RecordStream::Format& format, qint64 startUs,
                               const CaptureService::Handlers& handlers)
    : connection_(connection), program_(std::move(program)), format_(format), handlers_(handlers),
      mix_(int(format.spec.rate), format.spec.channels, startUs) {}

ProgramCapture::~ProgramCapture() {
    if (listener_)
        connection_.stopListening(listener_);
    if (listing_) {
        pa_operation_cancel(listing_);
        pa_operation_unref(listing_);
    }
}

void ProgramCapture::start() {
    listener_ = connection_.listenForChanges(
        PA_SUBSCRIPTION_MASK_SINK_INPUT, [this](pa_subscription_event_type_t type, uint32_t index) {
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE)
                close(index, "ended");
            else
                lookAgain();
        });
    lookAgain();
}

void ProgramCapture::lookAgain() {
    if (listing_) {
        listAgain_ = true;
        return;
    }
    listed_.clear();
    shortestLatency_ = 0;
    listing_ = pa_context_get_sink_input_info_list(connection_.context(),
                                                   &ProgramCapture::onSinkInput, this);
    if (!listing_)
        qCWarning(lcCapture).noquote()
            << "Couldn't ask the sound server for its streams:" << connection_.lastErrorText();
}

void ProgramCapture::onSinkInput(pa_context*, const pa_sink_input_info* info, int last,
                                 void* userdata) {
    auto* self = static_cast<ProgramCapture*>(userdata);
    if (last == 0 && info) {
        PlayingStream stream = PlayingStream::from(*info);
        if (stream.requestedLatency > 0 &&
            (self->shortestLatency_ == 0 || stream.requestedLatency < self->shortestLatency_))
            self->shortestLatency_ = stream.requestedLatency;
        if (self->program_.matches(stream.program))
            self->listed_.append(stream);
        return;
    }
    pa_operation_unref(std::exchange(self->listing_, nullptr));
    // A failed listing (last < 0) changes nothing: the next notice asks again.
    if (last > 0) {
        self->outputCycleUs_ = self->estimatedCycleUs();
        self->reconcile(self->listed_);
    }
    // Whether the program plays is first told once the server has said.
    self->tellPlaying();
    if (std::exchange(self->listAgain_, false))
        self->lookAgain();
}

void ProgramCapture::reconcile(const QList<PlayingStream>& playing) {
    for (const PlayingStream& stream : playing)
        if (!sources_.count(stream.index) && endings_[stream.index] <= mostEndings)
            open(stream);
}

void ProgramCapture::open(const PlayingStream& playing) {
    RecordStream::Options options{"Sonabrix recording", format_, false, playing.index};
    Result<std::unique_ptr<RecordStream>> opened = RecordStream::connect(connection_, {}, options);
    if (!opened) {
        qCWarning(lcCapture).noquote()
            << "Couldn't record stream" << playing.index << "of" << program_.displayName() << ":"
            << opened.failure().message();
        return;
    }
    auto source = std::make_unique<Source>();
    source->id = mix_.addStream();
    source->gathering.start(format_.spec, format_.fragmentFrames(),
                            static_cast<qint64>(pa_rtclock_now()));
    source->deliver = [this, id = source->id, laterUs = outputCycleUs_](PcmBuffer&& buffer) {
        buffer.capturedAtUs += laterUs;
        mix_.add(id, std::move(buffer));
        give(mix_.take(static_cast<qint64>(pa_rtclock_now())));
    };
    source->stream = std::move(opened).value();
    const uint32_t index = playing.index;
    // The server ends it with the program's stream (or refuses it): its place is silence.
    // A stream moved to another output (PulseAudio ends what hears it) is opened again there;
    // one that the server keeps ending is given up.
    source->stream->setHandlers({}, [this, index](const QString& reason) {
        qCInfo(lcCapture).noquote() << "Recording of stream" << index << "ended:" << reason;
        close(index, "stopped");
        if (++endings_[index] <= mostEndings)
            lookAgain();
    });
    source->stream->feed(source->gathering, source->deliver);
    qCInfo(lcCapture).noquote() << "Recording stream" << index << "of" << program_.displayName()
                                << "on output" << playing.sink << "placed" << outputCycleUs_
                                << "us later";
    sources_[index] = std::move(source);
    tellPlaying();
}

void ProgramCapture::close(uint32_t index, const char* why) {
    const auto found = sources_.find(index);
    if (found == sources_.end())
        return;
    // Taken out first: ending the record stream may call back into close().
    std::unique_ptr<Source> source = std::move(found->second);
    sources_.erase(found);
    qCDebug(lcCapture).noquote() << "Stream" << index << "of" << program_.displayName() << why;
    source->stream->stopFeeding();
    source->gathering.settle(source->deliver);
    mix_.endStream(source->id);
    give(mix_.take(static_cast<qint64>(pa_rtclock_now())));
    tellPlaying();
}

// PipeWire hands a program's stream over in the graph cycle the program plays it in, and the
// output plays it in the next: a stream that hears the program's stream alone has it one cycle
// before the output's monitor does (measured: 5-8 ms at a cycle of 256 frames, 23-27 ms at 1024).
// The graph runs at the shortest latency any of its streams asks for, rounded down to a power of
// two; this recorder's own streams ask for a fragment. PulseAudio gives both at the same moment.
qint64 ProgramCapture::estimatedCycleUs() const {
    if (!connection_.serverDescription().contains(u"PipeWire"))
        return 0;
    const double fragment = double(format_.fragment.count()) / 1e6;
    const double shortest = shortestLatency_ > 0 ? std::min(shortestLatency_, fragment) : fragment;
    const auto rate = double(format_.spec.rate);
    const double frames = std::exp2(std::floor(std::log2(std::max(1.0, shortest * rate))));
    return std::llround(frames / rate * 1e6);
}

void ProgramCapture::give(PcmBuffer&& mix) {
    if (mix.frames() > 0 && handlers_.samples)
        handlers_.samples(std::move(mix));
}

void ProgramCapture::tellPlaying() {
    const bool playing = !sources_.empty();
    if (toldPlaying_ == playing)
        return;
    toldPlaying_ = playing;
    qCInfo(lcCapture).noquote() << program_.displayName()
                                << (playing ? "plays" : "plays nothing: waiting for it");
    if (handlers_.programPlaying)
        handlers_.programPlaying(playing);
}

void ProgramCapture::tick(qint64 nowUs) {
    for (auto& [index, source] : sources_)
        source->gathering.tick(nowUs, source->deliver);
    give(mix_.take(nowUs));
}

void ProgramCapture::drain() {
    std::vector<uint32_t> indices;
    for (const auto& entry : sources_)
        indices.push_back(entry.first);
    // Waiting runs callbacks, which may close a source: each is looked up again.
    for (const uint32_t index : indices) {
        const auto found = sources_.find(index);
        if (found == sources_.end() || !found->second->stream->isReady())
            continue;
        // Corking is a round trip: what the server sent before it reaches the read callback.
        auto onCorked = [](pa_stream*, int, void* userdata) {
            static_cast<PulseConnection*>(userdata)->signal();
        };
        connection_.waitFor(
            pa_stream_cork(found->second->stream->handle(), 1, onCorked, &connection_));
    }
}

void ProgramCapture::finish(qint64 nowUs) {
    for (auto& [index, source] : sources_) {
        source->stream->stopFeeding();
        source->gathering.settle(source->deliver);
    }
    give(mix_.finish(nowUs));
}
