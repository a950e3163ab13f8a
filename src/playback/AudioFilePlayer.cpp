#include "AudioFilePlayer.h"

#include "Logging.h"
#include "PulseConnection.h"
#include "SoundFileHandle.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <sndfile.h>

using namespace std::chrono_literals;

namespace {

// What the server keeps queued ahead of the speaker: short enough that stopping is quick,
// long enough that a busy machine doesn't starve the stream.
constexpr pa_usec_t targetLatencyUs = 80 * PA_USEC_PER_MSEC;
constexpr std::chrono::milliseconds streamStartTimeout = 2000ms;
constexpr sf_count_t blockFrames = 1024;

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
    explicit State(PulseConnection& connection) : connection(connection) {}

    PulseConnection& connection;
    SoundFileHandle file;
    SF_INFO info{};
    // The file frame heard at the current stream's time zero; the next start when not playing.
    sf_count_t startFrame = 0;
    std::unique_ptr<pa_stream, StreamCloser> stream;
    std::unique_ptr<pa_operation, OperationCanceller> drain;
    bool playing = false;
    bool endOfFile = false;

    size_t frameBytes() const { return sizeof(float) * static_cast<size_t>(info.channels); }
    double durationSeconds() const { return static_cast<double>(info.frames) / info.samplerate; }

    double positionSeconds() const {
        pa_usec_t heardUs = 0;
        if (!stream || pa_stream_get_time(stream.get(), &heardUs) < 0)
            heardUs = 0; // no timing info yet: nothing has been heard
        const double seconds = static_cast<double>(startFrame) / info.samplerate +
                               static_cast<double>(heardUs) / PA_USEC_PER_SEC;
        return std::min(seconds, durationSeconds());
    }

    bool moveTo(double seconds) {
        if (!std::isfinite(seconds))
            return false;
        const auto frame =
            std::clamp(static_cast<sf_count_t>(std::llround(seconds * info.samplerate)),
                       sf_count_t{0}, info.frames);
        if (sf_seek(file.get(), frame, SEEK_SET) < 0)
            return false;
        startFrame = frame;
        return true;
    }

    void closeStream() {
        drain.reset();
        stream.reset();
    }

    void feed(size_t requestedBytes) {
        while (playing && !endOfFile && requestedBytes >= frameBytes()) {
            size_t bytes =
                std::min(requestedBytes, static_cast<size_t>(blockFrames) * frameBytes());
            void* buffer = nullptr;
            if (pa_stream_begin_write(stream.get(), &buffer, &bytes) < 0 || !buffer) {
                playing = false; // the stream is broken; nothing more will be heard
                return;
            }
            const auto frames = static_cast<sf_count_t>(bytes / frameBytes());
            if (frames == 0) { // a buffer smaller than a frame: nothing sensible to write
                pa_stream_cancel_write(stream.get());
                return;
            }
            // A read error ends playback the same way as the end of the file.
            const sf_count_t read = sf_readf_float(file.get(), static_cast<float*>(buffer), frames);
            if (read <= 0) {
                pa_stream_cancel_write(stream.get());
            } else if (pa_stream_write(stream.get(), buffer,
                                       static_cast<size_t>(read) * frameBytes(), nullptr, 0,
                                       PA_SEEK_RELATIVE) < 0) {
                playing = false;
                return;
            }
            if (read < frames) {
                reachEnd();
                return;
            }
            requestedBytes -= static_cast<size_t>(read) * frameBytes();
        }
    }

    // Let the server play out what it holds; playing ends when it has been heard.
    void reachEnd() {
        endOfFile = true;
        drain.reset(pa_stream_drain(stream.get(), &State::onDrained, this));
        if (!drain)
            playing = false;
    }

    static void onWrite(pa_stream*, size_t requestedBytes, void* userdata) {
        static_cast<State*>(userdata)->feed(requestedBytes);
    }

    static void onDrained(pa_stream*, int, void* userdata) {
        auto* self = static_cast<State*>(userdata);
        self->playing = false;
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

std::unique_ptr<AudioFilePlayer> AudioFilePlayer::open(PulseConnection& connection,
                                                       const QString& filePath, QString* error) {
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return nullptr;
    };
    auto state = std::make_unique<State>(connection);
    state->file.reset(sf_open(QFile::encodeName(filePath).constData(), SFM_READ, &state->info));
    if (!state->file)
        return fail(QString::fromUtf8(sf_strerror(nullptr)));
    const SF_INFO& info = state->info;
    if (info.channels < 1 || static_cast<uint32_t>(info.channels) > PA_CHANNELS_MAX ||
        info.samplerate < 1 || static_cast<uint32_t>(info.samplerate) > PA_RATE_MAX ||
        info.frames < 0)
        return fail(translated(QT_TRANSLATE_NOOP(
            "AudioFilePlayer", "The sound server can't play this file's format.")));
    return std::unique_ptr<AudioFilePlayer>(new AudioFilePlayer(std::move(state)));
}

AudioFilePlayer::~AudioFilePlayer() {
    stop();
}

bool AudioFilePlayer::seek(double seconds) {
    State& s = *state_;
    PulseConnection::Lock lock(s.connection.mainloop());
    if (s.playing)
        return false;
    s.closeStream();
    return s.moveTo(seconds);
}

bool AudioFilePlayer::play(QString* error) {
    State& s = *state_;
    PulseConnection::Lock lock(s.connection.mainloop());
    if (s.playing)
        return true;
    s.closeStream(); // what is left of a playback that reached the end
    auto fail = [&s, error](const QString& reason) {
        s.closeStream();
        s.playing = false;
        if (error)
            *error = reason;
        return false;
    };
    if (!s.connection.isConnected())
        return fail(s.connection.lastErrorText());
    // A stream that failed after reading leaves the file further on than what was heard.
    if (sf_seek(s.file.get(), s.startFrame, SEEK_SET) < 0)
        return fail(QString::fromUtf8(sf_strerror(s.file.get())));

    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(s.info.samplerate),
                                      static_cast<uint8_t>(s.info.channels)};
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
    s.endOfFile = false;
    if (pa_stream_connect_playback(s.stream.get(), nullptr, &bufferAttributes, flags, nullptr,
                                   nullptr) < 0)
        return fail(s.connection.lastErrorText());
    const bool settled = s.connection.waitUntil(
        [&s] { return pa_stream_get_state(s.stream.get()) != PA_STREAM_CREATING; },
        streamStartTimeout);
    if (pa_stream_get_state(s.stream.get()) != PA_STREAM_READY)
        return fail(settled ? s.connection.lastErrorText() : s.connection.failureText());
    if (lcPlayback().isInfoEnabled()) {
        const pa_buffer_attr* granted = pa_stream_get_buffer_attr(s.stream.get());
        char spec[PA_SAMPLE_SPEC_SNPRINT_MAX];
        pa_sample_spec_snprint(spec, sizeof spec, pa_stream_get_sample_spec(s.stream.get()));
        qCInfo(lcPlayback).noquote()
            << "Playback stream on" << pa_stream_get_device_name(s.stream.get()) << "format" << spec
            << "target length" << (granted ? granted->tlength : 0) << "bytes";
    }
    return true;
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
    s.moveTo(heardSeconds);
}

double AudioFilePlayer::positionSeconds() const {
    PulseConnection::Lock lock(state_->connection.mainloop());
    return state_->positionSeconds();
}

bool AudioFilePlayer::isPlaying() const {
    PulseConnection::Lock lock(state_->connection.mainloop());
    return state_->playing;
}
