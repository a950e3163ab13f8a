#include "MicrophoneStream.h"

#include "Logging.h"
#include "PulseConnection.h"

MicrophoneStream::MicrophoneStream(const CaptureService::Handlers& handlers)
    : handlers_(handlers) {}

std::optional<CaptureInput> MicrophoneStream::defaultInput(PulseConnection& connection,
                                                           const CaptureOutput& recorded) {
    const QString name =
        connection
            .ask<QString, pa_server_info>(
                [&connection](pa_server_info_cb_t callback, void* userdata) {
                    return pa_context_get_server_info(connection.context(), callback, userdata);
                },
                [](QString& source, const pa_server_info& info) {
                    source = pulseString(info.default_source_name);
                })
            .value_or(QString());
    struct Source {
        std::optional<CaptureInput> input;
        bool isRecordedMonitor = false;
    };
    const Source source =
        name.isEmpty()
            ? Source{}
            : connection
                  .askList<Source, pa_source_info>(
                      [&connection, &name](pa_source_info_cb_t callback, void* userdata) {
                          return pa_context_get_source_info_by_name(
                              connection.context(), name.toUtf8().constData(), callback, userdata);
                      },
                      [&recorded](Source& found, const pa_source_info& info) {
                          // Without a microphone the server's default input is often an output's
                          // monitor: recording that one's own monitor would record the output
                          // twice.
                          found.isRecordedMonitor =
                              pulseString(info.name) == recorded.monitorSourceName;
                          found.input =
                              CaptureInput{pulseString(info.name), pulseString(info.description),
                                           std::max<int>(1, info.sample_spec.channels)};
                      })
                  .value_or(Source{});
    if (!source.input || source.isRecordedMonitor) {
        qCInfo(lcCapture).noquote()
            << "No microphone: default input" << (name.isEmpty() ? QStringLiteral("none") : name)
            << (source.isRecordedMonitor ? "is the output's monitor" : "");
        return std::nullopt;
    }
    qCDebug(lcCapture).noquote() << "Microphone:" << source.input->name << "("
                                 << source.input->description << ")," << source.input->channelCount
                                 << "channels";
    return source.input;
}

Result<std::unique_ptr<MicrophoneStream>>
MicrophoneStream::open(PulseConnection& connection, const CaptureInput& input, int sampleRateHz,
                       std::chrono::microseconds fragment,
                       const CaptureService::Handlers& handlers) {
    std::unique_ptr<MicrophoneStream> self(new MicrophoneStream(handlers));
    const std::optional<RecordStream::Format> format =
        RecordStream::floatFormat(sampleRateHz, input.channelCount, fragment);
    if (!format)
        return Failure::because(pulseErrorText(PA_ERR_INVALID));
    self->gathering_.start(format->spec, format->fragmentFrames(),
                           static_cast<qint64>(pa_rtclock_now()));
    Result<std::unique_ptr<RecordStream>> connected =
        RecordStream::connect(connection, input.name, {"Sonabrix microphone", *format, false});
    if (!connected)
        return connected.failure();
    self->stream_ = std::move(connected).value();
    RecordStream& stream = *self->stream_;
    stream.feed(self->gathering_, handlers.microphoneSamples);
    if (std::optional<Failure> failure = stream.waitUntilReady())
        return *std::move(failure);
    // A stream that fails while opening is reported by the opening.
    stream.setHandlers({}, [self = self.get()](const QString& reason) { self->lose(reason); });
    qCInfo(lcCapture).noquote().nospace()
        << "Capturing microphone " << input.name << " (" << input.description << "), format "
        << stream.formatText();
    return self;
}

MicrophoneStream::~MicrophoneStream() {
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
