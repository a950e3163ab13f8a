#include "PulseCaptureService.h"

#include "Logging.h"
#include "MainloopTimer.h"
#include "MicrophoneStream.h"
#include "OutputFollower.h"
#include "PlayingStreams.h"
#include "ProgramCapture.h"
#include "PulseConnection.h"
#include "RecordStream.h"
#include "StreamGathering.h"

#include <QtConcurrent/QtConcurrentRun>
#include <mutex>
#include <utility>

namespace {

// How often silence may come in while the server gives nothing: the live waveform's pace.
constexpr std::chrono::milliseconds tickInterval{50};

} // namespace

struct PulseCaptureService::State {
    // One blocking conversation with the server at a time, and none after the service is gone.
    std::mutex serial;
    bool closed = false;
    std::unique_ptr<PulseConnection> connection;

    // The rest is guarded by the mainloop lock: callbacks read it on the mainloop thread.
    Handlers handlers;
    bool running = false;
    std::unique_ptr<OutputFollower> follower;
    StreamGathering gathering;
    // After the handlers and the gathering they feed, so they go first.
    std::unique_ptr<RecordStream> stream;
    // The stream being opened on the new default output's monitor, until it takes over.
    std::unique_ptr<RecordStream> nextStream;
    RecordStream::Options streamOptions;
    // Recording one program: its streams, in place of the output's stream.
    std::unique_ptr<ProgramCapture> program;
    std::unique_ptr<MicrophoneStream> microphone;
    // Lets silence into the recording while the server gives nothing.
    std::unique_ptr<MainloopTimer> clock;

    void deliverPendingLocked() { gathering.settle(handlers.samples); }

    void notifyStoppedLocked(const QString& reason) {
        if (!running)
            return;
        running = false;
        qCWarning(lcCapture).noquote() << "Capture stream stopped by itself:" << reason;
        deliverPendingLocked();
        if (handlers.stopped)
            handlers.stopped(reason);
    }

    void releaseStreamLocked() {
        clock.reset();
        follower.reset();
        nextStream.reset();
        microphone.reset();
        program.reset();
        running = false;
        // Whatever arrived is kept, however the stream ends.
        deliverPendingLocked();
        stream.reset();
        handlers = {};
    }

    void closeConnection() {
        if (!connection)
            return;
        {
            PulseConnection::Lock lock(connection->mainloop());
            releaseStreamLocked();
            connection->setConnectionLostHandler(nullptr);
        }
        connection.reset();
    }

    // Outside a running capture, so no stream stands on a lost connection.
    std::optional<PulseConnection::ConnectFailure> ensureConnected() {
        if (std::optional<PulseConnection::ConnectFailure> failure =
                PulseConnection::reconnectIfLost(connection, lcCapture()))
            return failure;
        PulseConnection::Lock lock(connection->mainloop());
        connection->setConnectionLostHandler(
            [this] { notifyStoppedLocked(connection->lastErrorText()); });
        return std::nullopt;
    }

    ShareableContent queryContent() {
        std::lock_guard guard(serial);
        ShareableContent content;
        if (closed) {
            content.error = Failure::because(PulseConnection::noAnswerText());
            return content;
        }
        if (const std::optional<PulseConnection::ConnectFailure> failure = ensureConnected()) {
            content.error = *failure;
            content.accessRefused = failure->accessRefused;
            return content;
        }
        PulseConnection::Lock lock(connection->mainloop());
        // No default output is not a failure: the list decides whether there is anything.
        const Result<QString> defaultSink = connection->defaultSinkName();
        std::optional<QList<CaptureOutput>> outputs =
            connection->askList<QList<CaptureOutput>, pa_sink_info>(
                [this](pa_sink_info_cb_t callback, void* userdata) {
                    return pa_context_get_sink_info_list(connection->context(), callback, userdata);
                },
                [](QList<CaptureOutput>& list, const pa_sink_info& info) {
                    const QString name = QString::fromUtf8(info.name);
                    list.append({name,
                                 info.monitor_source_name
                                     ? QString::fromUtf8(info.monitor_source_name)
                                     : name + QStringLiteral(".monitor"),
                                 pulseString(info.description)});
                });
        if (!outputs) {
            content.error = Failure::because(connection->failureText());
            content.serverReached = connection->isConnected();
            qCWarning(lcCapture).noquote()
                << "Couldn't list the outputs:" << content.error->message();
            return content;
        }
        for (qsizetype i = 0; defaultSink && i < outputs->size(); ++i) {
            if ((*outputs)[i].name == *defaultSink) {
                outputs->move(i, 0);
                break;
            }
        }
        content.outputs = *outputs;
        if (!content.outputs.isEmpty())
            content.microphone = MicrophoneStream::defaultInput(*connection, content.outputs[0]);
        // A server that doesn't list its streams leaves nothing to pick but the whole output.
        if (const std::optional<QList<PlayingStream>> streams = listPlayingStreams(*connection))
            content.programs = programsOf(*streams);
        qCDebug(lcCapture).noquote() << "Outputs:" << content.outputs.size() << "default"
                                     << (defaultSink ? *defaultSink : QStringLiteral("none"));
        return content;
    }

    CaptureResult startCapture(const CaptureOutput& output,
                               const StreamConfiguration& configuration, Handlers streamHandlers) {
        std::lock_guard guard(serial);
        if (closed || !connection)
            return Failure::because(PulseConnection::noAnswerText());
        PulseConnection::Lock lock(connection->mainloop());
        releaseStreamLocked();
        // In place before the stream connects: it may deliver while we wait for it.
        handlers = std::move(streamHandlers);
        CaptureResult error = Failure::because(pulseErrorText(PA_ERR_INVALID));
        if (chooseFormatLocked(configuration))
            error = configuration.program ? openProgramLocked(*configuration.program)
                                          : openStreamLocked(output);
        if (error) {
            qCWarning(lcCapture).noquote() << "Couldn't start capture of"
                                           << output.monitorSourceName << ":" << error->message();
            releaseStreamLocked();
            return error;
        }
        running = true;
        if (stream)
            logStreamLocked(output);
        if (configuration.microphone)
            openMicrophoneLocked(*configuration.microphone);
        clock = std::make_unique<MainloopTimer>(
            connection->context(), pa_threaded_mainloop_get_api(connection->mainloop()),
            tickInterval, [this] { tickLocked(); });
        // A program's streams are heard on whichever output they play.
        if (configuration.followsDefaultOutput && !program)
            follower = std::make_unique<OutputFollower>(
                *connection, output,
                [this](const CaptureOutput& next) { return reopenLocked(next); },
                [this](const CaptureOutput& now) {
                    if (handlers.outputChanged)
                        handlers.outputChanged(now);
                });
        return std::nullopt;
    }

    // A record stream on `output`'s monitor in the recording's format, connecting. It can't be
    // moved: PulseAudio takes the streams of the old default input along to a new one, and
    // would carry the recording of the output over to a microphone.
    Result<std::unique_ptr<RecordStream>> connectStreamLocked(const CaptureOutput& output) {
        // PipeWire moves no stream that named its source when the default input changes (the
        // test aNewDefaultInputLeavesTheRecordingOnTheOutput holds on both servers), and there
        // the flag shifts this stream's timing against the microphone's by tens of
        // milliseconds: it is left off there. A move all the same is told in the log.
        streamOptions.movable = connection->serverDescription().contains(u"PipeWire");
        return RecordStream::connect(*connection, output.monitorSourceName, streamOptions);
    }

    // The stream that delivers into the recording: it feeds the gathering, and its end is the
    // capture's.
    void deliverFromLocked(RecordStream& recording) {
        recording.setHandlers({}, [this](const QString& reason) { notifyStoppedLocked(reason); });
        recording.feed(gathering, handlers.samples);
    }

    // Following the default output: a second stream opens on the new monitor and takes over
    // once it is ready, into the same recording. Asynchronous: on the mainloop thread.
    bool reopenLocked(const CaptureOutput& output) {
        nextStream.reset();
        if (!running || !stream)
            return false;
        // PipeWire, where the stream is movable, may have taken it there itself already.
        if (stream->deviceName() == output.monitorSourceName) {
            if (follower)
                follower->reopened(true);
            return true;
        }
        Result<std::unique_ptr<RecordStream>> opened = connectStreamLocked(output);
        if (!opened) {
            qCInfo(lcCapture).noquote()
                << "Couldn't open the capture on" << output.monitorSourceName << ":"
                << opened.failure().message();
            return false;
        }
        nextStream = std::move(opened).value();
        qCInfo(lcCapture).noquote() << "Opening the capture on" << output.monitorSourceName
                                    << "to follow the default output";
        nextStream->setHandlers(
            [this] {
                takeOverLocked();
                if (follower)
                    follower->reopened(true);
            },
            [this](const QString&) {
                // The recording stays on the output it had.
                nextStream.reset();
                if (follower)
                    follower->reopened(false);
            });
        return true;
    }

    // The old stream's last audio goes out first, then the new one's from its start: the
    // deliveries keep their capture times, so the recording's timeline runs on.
    void takeOverLocked() {
        if (stream) {
            stream->readAvailable();
            deliverPendingLocked();
            stream.reset();
        }
        stream = std::move(nextStream);
        deliverFromLocked(*stream);
        stream->readAvailable();
    }

    // The recording's format for either kind of capture; none when the server would refuse it.
    bool chooseFormatLocked(const StreamConfiguration& configuration) {
        const std::optional<RecordStream::Format> format = RecordStream::floatFormat(
            configuration.sampleRateHz, configuration.channelCount, fragmentDuration);
        if (format)
            streamOptions = {"Sonabrix recording", *format, false};
        return format.has_value();
    }

    CaptureResult openStreamLocked(const CaptureOutput& output) {
        const RecordStream::Format* format = &streamOptions.format;
        gathering.start(format->spec, format->fragmentFrames(),
                        static_cast<qint64>(pa_rtclock_now()));
        // A monitor source hears every client of the output and can't leave one out; this app
        // plays nothing while a recording runs (its player lives in the editor only), so none of
        // its own sound can end up in a recording.
        Result<std::unique_ptr<RecordStream>> opened = connectStreamLocked(output);
        if (!opened)
            return opened.failure();
        stream = std::move(opened).value();
        deliverFromLocked(*stream);
        return stream->waitUntilReady();
    }

    // The program's streams are found and opened on the mainloop thread, now and as they come.
    CaptureResult openProgramLocked(const CaptureProgram& chosen) {
        qCInfo(lcCapture).noquote()
            << "Capturing the program" << chosen.displayName() << "(" << chosen.binary << ")";
        program = std::make_unique<ProgramCapture>(*connection, chosen, streamOptions.format,
                                                   static_cast<qint64>(pa_rtclock_now()), handlers);
        program->start();
        return std::nullopt;
    }

    // A microphone that can't be opened leaves the output's recording as it is, and says so.
    void openMicrophoneLocked(const CaptureInput& input) {
        Result<std::unique_ptr<MicrophoneStream>> opened = MicrophoneStream::open(
            *connection, input, static_cast<int>(streamOptions.format.spec.rate), fragmentDuration,
            handlers);
        if (opened) {
            microphone = std::move(opened).value();
            return;
        }
        const QString reason = opened.failure().message();
        qCWarning(lcCapture).noquote()
            << "Couldn't open the microphone" << input.name << ":" << reason;
        if (handlers.microphoneLost)
            handlers.microphoneLost(reason);
    }

    void logStreamLocked(const CaptureOutput& output) const {
        if (!lcCapture().isInfoEnabled())
            return;
        const pa_buffer_attr* granted = stream->grantedAttributes();
        qCInfo(lcCapture).noquote().nospace()
            << "Capturing output " << output.name << " (" << output.description << ") through "
            << stream->deviceName() << ", format " << stream->formatText() << ", fragment "
            << (granted ? granted->fragsize : 0) << " bytes, max length "
            << (granted ? granted->maxlength : 0) << " bytes";
    }

    CaptureResult stopCapture() {
        std::lock_guard guard(serial);
        if (!connection)
            return std::nullopt;
        qCDebug(lcCapture).noquote() << "Stopping capture";
        CaptureResult result;
        bool connected = false;
        {
            PulseConnection::Lock lock(connection->mainloop());
            // From here on a failure is this stop's own, not a stream that stopped by itself.
            running = false;
            connected = connection->isConnected();
            if (connected && stream && stream->isReady()) {
                // Corking is a round trip: everything the server captured and sent before it
                // reaches the read callback first. Nothing is flushed.
                struct Cork {
                    PulseConnection* connection;
                    bool succeeded = false;
                } cork{connection.get()};
                auto onCorked = [](pa_stream*, int success, void* userdata) {
                    auto* c = static_cast<Cork*>(userdata);
                    c->succeeded = success != 0;
                    c->connection->signal();
                };
                if (!connection->waitFor(pa_stream_cork(stream->handle(), 1, onCorked, &cork)) ||
                    !cork.succeeded) {
                    // A cork that times out leaves no error code; "OK" is no reason to show.
                    const int code = pa_context_errno(connection->context());
                    result = Failure::because(code != PA_OK ? pulseErrorText(code)
                                                            : connection->failureText());
                    qCWarning(lcCapture).noquote()
                        << "Couldn't stop capture cleanly:" << result->message();
                }
                // The recording runs up to the stop, whether or not anything played at the end.
                const auto now = static_cast<qint64>(pa_rtclock_now());
                gathering.finish(now, handlers.samples);
                if (microphone)
                    microphone->finish(now);
            }
            if (connected && program) {
                program->drain();
                const auto now = static_cast<qint64>(pa_rtclock_now());
                program->finish(now);
                if (microphone)
                    microphone->finish(now);
            }
            releaseStreamLocked();
        }
        if (!connected)
            closeConnection();
        return result;
    }

    void tickLocked() {
        const auto now = static_cast<qint64>(pa_rtclock_now());
        if (program)
            program->tick(now);
        else
            gathering.tick(now, handlers.samples);
        if (microphone)
            microphone->tick(now);
    }
};

PulseCaptureService::PulseCaptureService() : state_(std::make_shared<State>()) {}

PulseCaptureService::~PulseCaptureService() {
    std::lock_guard guard(state_->serial);
    state_->closed = true;
    state_->closeConnection();
}

QFuture<ShareableContent> PulseCaptureService::queryContent() {
    return QtConcurrent::run([state = state_] { return state->queryContent(); });
}

QFuture<CaptureResult> PulseCaptureService::startCapture(const CaptureOutput& output,
                                                         const StreamConfiguration& configuration,
                                                         Handlers handlers) {
    return QtConcurrent::run(
        [state = state_, output, configuration, handlers = std::move(handlers)]() mutable {
            return state->startCapture(output, configuration, std::move(handlers));
        });
}

QFuture<CaptureResult> PulseCaptureService::stopCapture() {
    return QtConcurrent::run([state = state_] { return state->stopCapture(); });
}
