#include "MicrophoneStream.h"

#include "Logging.h"
#include "PulseConnection.h"

MicrophoneStream::MicrophoneStream(PulseConnection& connection,
                                   const CaptureService::Handlers& handlers)
    : connection_(connection), handlers_(handlers) {}

std::optional<CaptureInput> MicrophoneStream::defaultInput(PulseConnection& connection,
                                                           const CaptureOutput& recorded) {
    struct Query {
        PulseConnection* connection;
        QString name;
        std::optional<CaptureInput> input;
        bool isRecordedMonitor = false;
        QString monitorName;
    } query{&connection, {}, std::nullopt, false, recorded.monitorSourceName};
    auto onServer = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* q = static_cast<Query*>(userdata);
        if (info)
            q->name = pulseString(info->default_source_name);
        q->connection->signal();
    };
    auto onSource = [](pa_context*, const pa_source_info* info, int last, void* userdata) {
        auto* q = static_cast<Query*>(userdata);
        if (last != 0 || !info) {
            q->connection->signal();
            return;
        }
        // Without a microphone the server's default input is often an output's monitor:
        // recording that one's own monitor would record the output twice.
        q->isRecordedMonitor = pulseString(info->name) == q->monitorName;
        q->input = CaptureInput{pulseString(info->name), pulseString(info->description),
                                std::max<int>(1, info->sample_spec.channels)};
    };
    const bool answered =
        connection.waitFor(pa_context_get_server_info(connection.context(), onServer, &query));
    if (answered && !query.name.isEmpty())
        connection.waitFor(pa_context_get_source_info_by_name(
            connection.context(), query.name.toUtf8().constData(), onSource, &query));
    if (!query.input || query.isRecordedMonitor) {
        qCInfo(lcCapture).noquote() << "No microphone: default input"
                                    << (query.name.isEmpty() ? QStringLiteral("none") : query.name)
                                    << (query.isRecordedMonitor ? "is the output's monitor" : "");
        return std::nullopt;
    }
    qCDebug(lcCapture).noquote() << "Microphone:" << query.input->name << "("
                                 << query.input->description << ")," << query.input->channelCount
                                 << "channels";
    return query.input;
}

std::unique_ptr<MicrophoneStream>
MicrophoneStream::open(PulseConnection& connection, const CaptureInput& input, int sampleRateHz,
                       std::chrono::microseconds fragment, const CaptureService::Handlers& handlers,
                       QString* error) {
    std::unique_ptr<MicrophoneStream> self(new MicrophoneStream(connection, handlers));
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(sampleRateHz),
                                static_cast<uint8_t>(input.channelCount)};
    pa_channel_map channelMap;
    if (!pa_sample_spec_valid(&format) ||
        !pa_channel_map_init_auto(&channelMap, format.channels, PA_CHANNEL_MAP_DEFAULT)) {
        *error = pulseErrorText(PA_ERR_INVALID);
        return nullptr;
    }
    const auto fragmentUs = static_cast<pa_usec_t>(fragment.count());
    self->gathering_.start(format, pa_usec_to_bytes(fragmentUs, &format) / pa_frame_size(&format),
                           static_cast<qint64>(pa_rtclock_now()));
    self->stream_.reset(
        pa_stream_new(connection.context(), "Sonabrix microphone", &format, &channelMap));
    if (!self->stream_) {
        *error = connection.lastErrorText();
        return nullptr;
    }
    pa_stream* stream = self->stream_.get();
    pa_stream_set_state_callback(stream, &MicrophoneStream::onState, self.get());
    pa_stream_set_read_callback(stream, &MicrophoneStream::onRead, self.get());
    pa_buffer_attr attributes;
    attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq =
        static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(fragmentUs, &format));
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE | StreamGathering::timingFlags);
    if (pa_stream_connect_record(stream, input.name.toUtf8().constData(), &attributes, flags) < 0) {
        *error = connection.lastErrorText();
        return nullptr;
    }
    const bool settled =
        connection.waitUntil([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
                             PulseConnection::defaultTimeout);
    if (!settled || pa_stream_get_state(stream) != PA_STREAM_READY) {
        const int code = pa_context_errno(connection.context());
        *error = settled && code != PA_OK ? pulseErrorText(code) : connection.failureText();
        return nullptr;
    }
    char spec[PA_SAMPLE_SPEC_SNPRINT_MAX];
    pa_sample_spec_snprint(spec, sizeof spec, pa_stream_get_sample_spec(stream));
    self->ready_ = true;
    // PipeWire 1.4 leaves a stream whose source is gone in place, silent, without a word to
    // it: the source's removal is what tells.
    self->listener_ = connection.listenForChanges(
        PA_SUBSCRIPTION_MASK_SOURCE,
        [self = self.get(), source = pa_stream_get_device_index(stream)](
            pa_subscription_event_type_t type, uint32_t index) {
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE &&
                index == source)
                self->lose(pulseErrorText(PA_ERR_KILLED));
        });
    qCInfo(lcCapture).noquote().nospace() << "Capturing microphone " << input.name << " ("
                                          << input.description << "), format " << spec;
    return self;
}

MicrophoneStream::~MicrophoneStream() {
    if (listener_)
        connection_.stopListening(listener_);
    if (!stream_)
        return;
    pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
    pa_stream_set_read_callback(stream_.get(), nullptr, nullptr);
    if (!lost_)
        gathering_.settle(handlers_.microphoneSamples);
    const pa_stream_state_t state = pa_stream_get_state(stream_.get());
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING)
        pa_stream_disconnect(stream_.get());
}

void MicrophoneStream::onRead(pa_stream* stream, size_t, void* userdata) {
    auto* self = static_cast<MicrophoneStream*>(userdata);
    if (!self->lost_)
        self->gathering_.readAvailable(stream, self->handlers_.microphoneSamples);
}

void MicrophoneStream::tick(qint64 nowUs) {
    if (!lost_)
        gathering_.tick(nowUs, handlers_.microphoneSamples);
}

void MicrophoneStream::finish(qint64 nowUs) {
    if (!lost_)
        gathering_.finish(nowUs, handlers_.microphoneSamples);
}

void MicrophoneStream::onState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<MicrophoneStream*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    // A stream that fails while opening is reported by the opening.
    if (self->ready_ && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)) {
        const int code = pa_context_errno(pa_stream_get_context(stream));
        self->lose(pulseErrorText(code != PA_OK ? code : PA_ERR_KILLED));
    }
    self->connection_.signal();
}

void MicrophoneStream::lose(const QString& reason) {
    if (std::exchange(lost_, true))
        return;
    qCWarning(lcCapture).noquote() << "Microphone stream ended:" << reason;
    gathering_.settle(handlers_.microphoneSamples);
    if (handlers_.microphoneLost)
        handlers_.microphoneLost(reason);
}
