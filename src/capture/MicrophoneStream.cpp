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
    const std::optional<RecordStream::Format> format =
        RecordStream::floatFormat(sampleRateHz, input.channelCount, fragment);
    if (!format) {
        *error = pulseErrorText(PA_ERR_INVALID);
        return nullptr;
    }
    self->gathering_.start(format->spec, format->fragmentFrames(),
                           static_cast<qint64>(pa_rtclock_now()));
    self->stream_ = RecordStream::connect(connection, input.name,
                                          {"Sonabrix microphone", *format, false}, error);
    if (!self->stream_)
        return nullptr;
    RecordStream& stream = *self->stream_;
    stream.feed(self->gathering_, handlers.microphoneSamples);
    if (const std::optional<QString> failure = stream.waitUntilReady()) {
        *error = *failure;
        return nullptr;
    }
    // A stream that fails while opening is reported by the opening.
    stream.setHandlers({}, [self = self.get()](const QString& reason) { self->lose(reason); });
    // PipeWire 1.4 leaves a stream whose source is gone in place, silent, without a word to
    // it: the source's removal is what tells.
    self->listener_ = connection.listenForChanges(
        PA_SUBSCRIPTION_MASK_SOURCE, [self = self.get(), source = stream.deviceIndex()](
                                         pa_subscription_event_type_t type, uint32_t index) {
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE &&
                index == source)
                self->lose(pulseErrorText(PA_ERR_KILLED));
        });
    qCInfo(lcCapture).noquote().nospace()
        << "Capturing microphone " << input.name << " (" << input.description << "), format "
        << stream.formatText();
    return self;
}

MicrophoneStream::~MicrophoneStream() {
    if (listener_)
        connection_.stopListening(listener_);
    if (stream_ && !lost_)
        gathering_.settle(handlers_.microphoneSamples);
}

void MicrophoneStream::tick(qint64 nowUs) {
    if (!lost_)
        gathering_.tick(nowUs, handlers_.microphoneSamples);
}

void MicrophoneStream::finish(qint64 nowUs) {
    if (!lost_)
        gathering_.finish(nowUs, handlers_.microphoneSamples);
}

void MicrophoneStream::lose(const QString& reason) {
    if (std::exchange(lost_, true))
        return;
    qCWarning(lcCapture).noquote() << "Microphone stream ended:" << reason;
    stream_->stopFeeding();
    gathering_.settle(handlers_.microphoneSamples);
    if (handlers_.microphoneLost)
        handlers_.microphoneLost(reason);
}
