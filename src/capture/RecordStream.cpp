#include "RecordStream.h"

#include "Logging.h"
#include "PulseConnection.h"

#include <utility>

size_t RecordStream::Format::fragmentFrames() const {
    return pa_usec_to_bytes(static_cast<pa_usec_t>(fragment.count()), &spec) / pa_frame_size(&spec);
}

std::optional<RecordStream::Format> RecordStream::floatFormat(int sampleRateHz, int channelCount,
                                                              std::chrono::microseconds fragment) {
    const Format format{{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(sampleRateHz),
                         static_cast<uint8_t>(channelCount)},
                        fragment};
    pa_channel_map channelMap;
    if (!pa_sample_spec_valid(&format.spec) ||
        !pa_channel_map_init_auto(&channelMap, format.spec.channels, PA_CHANNEL_MAP_DEFAULT))
        return std::nullopt;
    return format;
}

RecordStream::RecordStream(PulseConnection& connection, pa_stream* stream, const QString& source)
    : connection_(connection), stream_(stream), source_(source) {}

Result<std::unique_ptr<RecordStream>>
RecordStream::connect(PulseConnection& connection, const QString& source, const Options& options) {
    const pa_sample_spec& spec = options.format.spec;
    pa_channel_map channelMap;
    pa_channel_map_init_auto(&channelMap, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    pa_stream* made = pa_stream_new(connection.context(), options.name, &spec, &channelMap);
    if (!made)
        return Failure::because(connection.lastErrorText());
    std::unique_ptr<RecordStream> self(
        new RecordStream(connection, made, options.movable ? QString() : source));
    if (options.monitoredStream != PA_INVALID_INDEX &&
        pa_stream_set_monitor_stream(made, options.monitoredStream) < 0)
        return Failure::because(connection.lastErrorText());
    pa_stream_set_state_callback(made, &RecordStream::onState, self.get());
    pa_stream_set_moved_callback(made, &RecordStream::onMoved, nullptr);
    pa_buffer_attr attributes;
    attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq =
        static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(options.format.fragment.count()), &spec));
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | (options.movable ? PA_STREAM_NOFLAGS : PA_STREAM_DONT_MOVE) |
        StreamGathering::timingFlags);
    const QByteArray device = source.toUtf8();
    if (pa_stream_connect_record(made, source.isEmpty() ? nullptr : device.constData(), &attributes,
                                 flags) < 0)
        return Failure::because(connection.lastErrorText());
    if (!self->source_.isEmpty())
        self->watchSource();
    return self;
}

// PipeWire 1.4 keeps neither promise of an unmovable stream: it connects one whose source isn't
// there to the default input (which may be a microphone), and leaves one whose source went away
// in place, silent, without a word. The stream's device and the source's removal tell instead.
void RecordStream::watchSource() {
    sourceListener_ = connection_.listenForChanges(
        PA_SUBSCRIPTION_MASK_SOURCE, [this](pa_subscription_event_type_t type, uint32_t index) {
            if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE &&
                isReady() && index == deviceIndex())
                end(pulseErrorText(PA_ERR_KILLED));
        });
}

RecordStream::~RecordStream() {
    if (sourceListener_)
        connection_.stopListening(sourceListener_);
    pa_stream* stream = stream_.get();
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING)
        pa_stream_disconnect(stream);
}

std::optional<Failure> RecordStream::waitUntilReady() {
    pa_stream* stream = stream_.get();
    const bool settled = connection_.waitUntil(
        [stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
        PulseConnection::defaultTimeout);
    if (misplaced())
        return Failure::because(pulseErrorText(PA_ERR_NOENTITY));
    if (settled && pa_stream_get_state(stream) == PA_STREAM_READY)
        return std::nullopt;
    const int code = pa_context_errno(connection_.context());
    return Failure::because(settled && code != PA_OK ? pulseErrorText(code)
                                                     : connection_.failureText());
}

void RecordStream::setHandlers(std::function<void()> ready, Ended ended) {
    ready_ = std::move(ready);
    ended_ = std::move(ended);
}

void RecordStream::feed(StreamGathering& gathering, const StreamGathering::Delivery& deliver) {
    gathering_ = &gathering;
    deliver_ = &deliver;
    pa_stream_set_read_callback(stream_.get(), &RecordStream::onRead, this);
}

void RecordStream::stopFeeding() {
    pa_stream_set_read_callback(stream_.get(), nullptr, nullptr);
    gathering_ = nullptr;
    deliver_ = nullptr;
}

void RecordStream::readAvailable() {
    if (gathering_)
        gathering_->readAvailable(stream_.get(), *deliver_);
}

bool RecordStream::misplaced() const {
    return !source_.isEmpty() && isReady() && deviceName() != source_;
}

bool RecordStream::isReady() const {
    return pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
}

QString RecordStream::deviceName() const {
    return pulseString(pa_stream_get_device_name(stream_.get()));
}

uint32_t RecordStream::deviceIndex() const {
    return pa_stream_get_device_index(stream_.get());
}

QString RecordStream::formatText() const {
    char text[PA_SAMPLE_SPEC_SNPRINT_MAX];
    pa_sample_spec_snprint(text, sizeof text, pa_stream_get_sample_spec(stream_.get()));
    return QString::fromUtf8(text);
}

const pa_buffer_attr* RecordStream::grantedAttributes() const {
    return pa_stream_get_buffer_attr(stream_.get());
}

void RecordStream::onState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<RecordStream*>(userdata);
    // A handler may destroy the stream: nothing of it is touched after one ran.
    PulseConnection& connection = self->connection_;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (self->misplaced()) {
        qCWarning(lcCapture).noquote() << "The sound server put the capture of" << self->source_
                                       << "on" << self->deviceName() << "instead";
        self->end(pulseErrorText(PA_ERR_NOENTITY));
    } else if (state == PA_STREAM_READY && self->ready_) {
        const auto ready = self->ready_;
        ready();
    } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        const int code = pa_context_errno(pa_stream_get_context(stream));
        self->end(pulseErrorText(code != PA_OK ? code : PA_ERR_KILLED));
    }
    connection.signal();
}

void RecordStream::end(const QString& reason) {
    if (std::exchange(over_, true))
        return;
    stopFeeding();
    if (ended_) {
        const auto ended = ended_;
        ended(reason);
    }
}

void RecordStream::onRead(pa_stream*, size_t, void* userdata) {
    static_cast<RecordStream*>(userdata)->readAvailable();
}

void RecordStream::onMoved(pa_stream* stream, void*) {
    // Streams that must stay are made unmovable; a server that moves one all the same is worth a
    // note.
    qCWarning(lcCapture).noquote()
        << "The sound server moved the capture to" << pa_stream_get_device_name(stream);
}
