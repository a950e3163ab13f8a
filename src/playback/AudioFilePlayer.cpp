#include "AudioFilePlayer.h"

#include "FrameRange.h"
#include "Logging.h"
#include "MainloopTimer.h"
#include "PulseConnection.h"
#include "ReadAhead.h"
#include "RecordingReader.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

using namespace std::chrono_literals;

namespace {

// What the server keeps queued ahead of the speaker: short enough that stopping is quick,
// long enough that a busy machine doesn't starve the stream.
constexpr pa_usec_t targetLatencyUs = 80 * PA_USEC_PER_MSEC;
constexpr std::chrono::milliseconds streamStartTimeout = 2000ms;
// How far the reader may run ahead of what the server has taken.
constexpr int64_t readAheadSeconds = 1;
// How often a stream the reader fell behind on is offered what has arrived since.
constexpr std::chrono::milliseconds topUpInterval = 20ms;

// With the mainloop lock held: no callback may reach the player once the stream is gone.
struct StreamCloser {
    void operator()(pa_stream* stream) const {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};

// With the mainloop lock held.
struct OperationCanceller {
    void operator()(pa_operation* operation) const {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
};

// The server runs a client's commands in order, so nothing needs to wait for these.
void sendWithoutWaiting(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

// The texts are marked with QT_TRANSLATE_NOOP where they are written, so they reach the .ts.
QString translated(const char* text) {
    return QCoreApplication::translate("AudioFilePlayer", text);
}

} // namespace

// Everything the mainloop thread touches lives here and is read or written under the lock.
struct AudioFilePlayer::State {
    State(PulseConnection& connection, QString filePath)
        : connection(connection), filePath(std::move(filePath)) {}

    PulseConnection& connection;
    const QString filePath;
    int sampleRate = 0;
    int channels = 0;
    // The run being played; its first frame is heard at the stream's time zero.
    FrameRange frames;
    // The last position heard of a stopped playback.
    std::optional<double> stoppedAtSeconds;
    std::unique_ptr<ReadAhead> readAhead;
    std::unique_ptr<pa_stream, StreamCloser> stream;
    std::unique_ptr<pa_operation, OperationCanceller> drain;
    std::unique_ptr<MainloopTimer> topUp;
    bool playing = false;
    bool endOfRun = false;
    // The server has played out the run's last frame: the stream's clock may lag it a little.
    bool heardToEnd = false;

    size_t frameBytes() const { return sizeof(float) * static_cast<size_t>(channels); }

    double positionSeconds() const {
        if (stoppedAtSeconds)
            return *stoppedAtSeconds;
        if (heardToEnd)
            return static_cast<double>(frames.end) / sampleRate;
        pa_usec_t heardUs = 0;
        if (!stream || pa_stream_get_time(stream.get(), &heardUs) < 0)
            heardUs = 0; // no timing info yet: nothing has been heard
        const double seconds = static_cast<double>(frames.first) / sampleRate +
                               static_cast<double>(heardUs) / PA_USEC_PER_SEC;
        return std::min(seconds, static_cast<double>(frames.end) / sampleRate);
    }

    // The timer goes first: it must not reach a stream that is gone.
    void closeStream() {
        topUp.reset();
        drain.reset();
        stream.reset();
        readAhead.reset();
    }

    // What the server asks for, as far as the reader is ahead; a reader behind leaves the rest
    // of the request to the next top-up.
    void feed(size_t requestedBytes) {
        while (playing && !endOfRun && requestedBytes >= frameBytes()) {
            const int64_t waiting = readAhead->ring().readable();
            if (waiting == 0) {
                if (readAhead->isDone() && readAhead->ring().readable() == 0)
                    reachEnd();
                return;
            }
            size_t bytes = std::min(requestedBytes, static_cast<size_t>(waiting) * frameBytes());
            void* buffer = nullptr;
            if (pa_stream_begin_write(stream.get(), &buffer, &bytes) < 0 || !buffer) {
                playing = false; // the stream is broken; nothing more will be heard
                return;
            }
            const int64_t taken = readAhead->ring().pop(static_cast<float*>(buffer),
                                                        static_cast<int64_t>(bytes / frameBytes()));
            if (taken == 0) { // a buffer smaller than a frame: nothing sensible to write
                pa_stream_cancel_write(stream.get());
                return;
            }
            if (pa_stream_write(stream.get(), buffer, static_cast<size_t>(taken) * frameBytes(),
                                nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                playing = false;
                return;
            }
            requestedBytes -= static_cast<size_t>(taken) * frameBytes();
        }
    }

    // Let the server play out what it holds; playing ends when it has been heard.
    void reachEnd() {
        endOfRun = true;
        drain.reset(pa_stream_drain(stream.get(), &State::onDrained, this));
        if (!drain)
            playing = false;
    }

    static void onWrite(pa_stream*, size_t requestedBytes, void* userdata) {
        static_cast<State*>(userdata)->feed(requestedBytes);
    }

    void onTopUp() {
        if (playing && !endOfRun && stream && pa_stream_get_state(stream.get()) == PA_STREAM_READY)
            if (const size_t writable = pa_stream_writable_size(stream.get());
                writable != static_cast<size_t>(-1))
                feed(writable);
    }

    static void onDrained(pa_stream*, int, void* userdata) {
        auto* self = static_cast<State*>(userdata);
        self->playing = false;
        self->heardToEnd = true;
        self->connection.signal();
    }

    static void onStreamState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<State*>(userdata);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            self->playing = false;
        self->connection.signal();
    }
};

AudioFilePlayer::AudioFilePlayer(std::unique_ptr<State> state) : state_(std::move(state)) {}

Result<std::unique_ptr<AudioFilePlayer>> AudioFilePlayer::open(PulseConnection& connection,
                                                               const QString& filePath) {
    auto fail = [](const QString& reason) { return Failure::because(reason); };
    const Result<RecordingReader> recording = RecordingReader::open(filePath);
    if (!recording)
        return recording.failure();
    if (static_cast<uint32_t>(recording->channelCount()) > PA_CHANNELS_MAX ||
        static_cast<uint32_t>(recording->sampleRate()) > PA_RATE_MAX)
        return fail(translated(QT_TRANSLATE_NOOP(
            "AudioFilePlayer", "The sound server can't play this file's format.")));
    auto state = std::make_unique<State>(connection, filePath);
    state->sampleRate = recording->sampleRate();
    state->channels = recording->channelCount();
    return std::unique_ptr<AudioFilePlayer>(new AudioFilePlayer(std::move(state)));
}

AudioFilePlayer::~AudioFilePlayer() {
    stop();
}

std::optional<Failure> AudioFilePlayer::play(TimeRange range) {
    State& s = *state_;
    PulseConnection::Lock lock(s.connection.mainloop());
    if (s.playing)
        return std::nullopt;
    s.closeStream(); // what is left of a playback that reached the end
    auto fail = [&s](const QString& reason) {
        s.closeStream();
        s.playing = false;
        return Failure::because(reason);
    };
    if (!s.connection.isConnected())
        return fail(s.connection.lastErrorText());
    // A file of its own for each playback: the reader thread owns it, and may outlive us.
    Result<RecordingReader> recording = RecordingReader::open(s.filePath);
    if (!recording)
        return fail(recording.failure().reason);
    if (recording->channelCount() != s.channels || recording->sampleRate() != s.sampleRate)
        return fail(translated(
            QT_TRANSLATE_NOOP("AudioFilePlayer", "The recording changed while it was open.")));
    s.frames = FrameRange::of(range, s.sampleRate, recording->frameCount());
    s.stoppedAtSeconds.reset();
    s.readAhead = std::make_unique<ReadAhead>(std::move(recording).value(), s.frames,
                                              int64_t{s.sampleRate} * readAheadSeconds);

    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(s.sampleRate),
                                      static_cast<uint8_t>(s.channels)};
    pa_channel_map channelMap;
    pa_channel_map_init_extend(&channelMap, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    s.stream.reset(pa_stream_new(
        s.connection.context(),
        translated(QT_TRANSLATE_NOOP("AudioFilePlayer", "Selection playback")).toUtf8().constData(),
        &sampleFormat, &channelMap));
    if (!s.stream)
        return fail(s.connection.lastErrorText());
    pa_stream_set_state_callback(s.stream.get(), &State::onStreamState, &s);
    pa_stream_set_write_callback(s.stream.get(), &State::onWrite, &s);

    constexpr auto serverDefault = static_cast<uint32_t>(-1);
    pa_buffer_attr bufferAttributes{serverDefault, serverDefault, serverDefault, serverDefault,
                                    serverDefault};
    bufferAttributes.tlength =
        static_cast<uint32_t>(pa_usec_to_bytes(targetLatencyUs, &sampleFormat));
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    // Set before connecting: the stream may be fed, and even reach the end, while we wait.
    s.playing = true;
    s.endOfRun = false;
    s.heardToEnd = false;
    if (pa_stream_connect_playback(s.stream.get(), nullptr, &bufferAttributes, flags, nullptr,
                                   nullptr) < 0)
        return fail(s.connection.lastErrorText());
    const bool settled = s.connection.waitUntil(
        [&s] { return pa_stream_get_state(s.stream.get()) != PA_STREAM_CREATING; },
        streamStartTimeout);
    if (pa_stream_get_state(s.stream.get()) != PA_STREAM_READY)
        return fail(settled ? s.connection.lastErrorText() : s.connection.failureText());
    s.topUp = std::make_unique<MainloopTimer>(s.connection.context(),
                                              pa_threaded_mainloop_get_api(s.connection.mainloop()),
                                              topUpInterval, [&s] { s.onTopUp(); });
    if (lcPlayback().isInfoEnabled()) {
        const pa_buffer_attr* granted = pa_stream_get_buffer_attr(s.stream.get());
        char spec[PA_SAMPLE_SPEC_SNPRINT_MAX];
        pa_sample_spec_snprint(spec, sizeof spec, pa_stream_get_sample_spec(s.stream.get()));
        qCInfo(lcPlayback).noquote()
            << "Playback stream on" << pa_stream_get_device_name(s.stream.get()) << "format" << spec
            << "target length" << (granted ? granted->tlength : 0) << "bytes";
    }
    return std::nullopt;
}

void AudioFilePlayer::stop() {
    State& s = *state_;
    PulseConnection::Lock lock(s.connection.mainloop());
    if (!s.stream)
        return;
    const double heardSeconds = s.positionSeconds();
    if (pa_stream_get_state(s.stream.get()) == PA_STREAM_READY) {
        sendWithoutWaiting(pa_stream_cork(s.stream.get(), 1, nullptr, nullptr));
        sendWithoutWaiting(pa_stream_flush(s.stream.get(), nullptr, nullptr));
    }
    s.closeStream();
    s.playing = false;
    s.stoppedAtSeconds = heardSeconds;
}

double AudioFilePlayer::positionSeconds() const {
    PulseConnection::Lock lock(state_->connection.mainloop());
    return state_->positionSeconds();
}

bool AudioFilePlayer::isPlaying() const {
    PulseConnection::Lock lock(state_->connection.mainloop());
    return state_->playing;
}
