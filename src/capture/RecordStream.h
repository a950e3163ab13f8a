#pragma once

#include "Failure.h"
#include "StreamGathering.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <pulse/pulseaudio.h>

class PulseConnection;

// One float32 record stream on a source, with the timing StreamGathering needs: the one way the
// capture opens a stream, follows its state, feeds its fragments into a gathering and tears it
// down (callbacks cleared, disconnected, released). Lives on the mainloop thread: made, used and
// destroyed with the mainloop lock held; its handlers are called there.
class RecordStream {
public:
    struct Format {
        pa_sample_spec spec{};
        // The server hands audio over in pieces of about this length.
        std::chrono::microseconds fragment{};

        // The fragment in frames, as StreamGathering takes it.
        size_t fragmentFrames() const;
    };
    // Float32 frames of `channelCount` channels at `sampleRateHz`; none when the server would
    // refuse that format.
    static std::optional<Format> floatFormat(int sampleRateHz, int channelCount,
                                             std::chrono::microseconds fragment);

    struct Options {
        // The stream's name, as the server's tools show it.
        const char* name = "";
        Format format;
        // An unmovable stream stays on its source: the server doesn't carry it along to a new
        // default, a source that isn't there fails it, and a source that goes away ends it.
        bool movable = false;
        // Hears this one stream of the output (a sink input) rather than everything it plays;
        // the source is then the output's monitor, or empty for wherever that stream plays.
        uint32_t monitoredStream = PA_INVALID_INDEX;
    };

    // Starts connecting to `source` (empty only with a monitored stream); why not when the
    // server refuses at once.
    static Result<std::unique_ptr<RecordStream>>
    connect(PulseConnection& connection, const QString& source, const Options& options);
    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    // Waits, up to the connection's timeout, for the stream to connect; why when it didn't.
    std::optional<Failure> waitUntilReady();

    // `ready` when the stream has connected; `ended`, with the reason, when it fails or the server
    // ends it. Either may be empty, and either may destroy the stream.
    using Ended = std::function<void(const QString& reason)>;
    void setHandlers(std::function<void()> ready, Ended ended);

    // From now on whatever the server gives goes into `gathering`, and its deliveries to
    // `deliver`; both must outlive the feeding.
    void feed(StreamGathering& gathering, const StreamGathering::Delivery& deliver);
    // Reads nothing more: what the server gives stays with it.
    void stopFeeding();
    // What the server has ready now, into the gathering it feeds.
    void readAvailable();

    bool isReady() const;
    pa_stream* handle() const { return stream_.get(); }
    QString deviceName() const;
    uint32_t deviceIndex() const;
    // The granted sample format, as libpulse prints it.
    QString formatText() const;
    // The granted buffer sizes; null while the stream isn't connected.
    const pa_buffer_attr* grantedAttributes() const;

private:
    struct StreamDeleter {
        void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
    };
    RecordStream(PulseConnection& connection, pa_stream* stream, const QString& source);
    // Holds an unmovable stream to its source where the server itself doesn't.
    void watchSource();
    // Connected, but not to the unmovable stream's own source.
    bool misplaced() const;
    // Stops reading and tells the owner, once.
    void end(const QString& reason);
    static void onState(pa_stream* stream, void* userdata);
    static void onRead(pa_stream*, size_t, void* userdata);
    static void onMoved(pa_stream* stream, void*);

    PulseConnection& connection_;
    std::unique_ptr<pa_stream, StreamDeleter> stream_;
    const QString source_;
    int sourceListener_ = 0;
    bool over_ = false;
    std::function<void()> ready_;
    Ended ended_;
    StreamGathering* gathering_ = nullptr;
    const StreamGathering::Delivery* deliver_ = nullptr;
};
