#pragma once

#include "Failure.h"
#include "PcmBuffer.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One output of the sound server whose sound can be captured: a sink, heard through its
// monitor source.
struct CaptureOutput {
    QString name;
    QString monitorSourceName;
    QString description;

    // What the user knows the output as.
    QString displayName() const { return description.isEmpty() ? name : description; }
};

// A source recorded alongside the output: the server's default input, usually a microphone.
struct CaptureInput {
    QString name;
    QString description;
    int channelCount = 1;
};

// A program playing sound, as the server describes its streams: what the user picks to record
// alone. A stream belongs to the program when both its name and its binary match, ignoring case;
// a choice made by one word alone (the command line's) takes a stream whose name or binary is
// that word.
struct CaptureProgram {
    // application.name, application.process.binary, application.icon_name; any may be empty.
    QString name;
    QString binary;
    QString iconName;
    // Made from one word that names the program or its binary.
    bool byNameOrBinary = false;

    static CaptureProgram named(const QString& nameOrBinary);
    // What the user knows the program as.
    QString displayName() const;
    // Whether a stream of `stream`'s name and binary is this program's.
    bool matches(const CaptureProgram& stream) const;
    bool operator==(const CaptureProgram& other) const;
};

// The answer to a content query: why the server can't be used, otherwise its outputs with the
// default output first, and its microphone when it has one.
struct ShareableContent {
    std::optional<Failure> error;
    QList<CaptureOutput> outputs;
    std::optional<CaptureInput> microphone = {};
    // The programs playing sound now, each once, in the order the server lists their streams.
    QList<CaptureProgram> programs = {};
    // With an error: the server was reached, and the question to it is what failed.
    bool serverReached = false;
    // With an error: the server turned us away, rather than not being there.
    bool accessRefused = false;
};

struct StreamConfiguration {
    int sampleRateHz = 48000;
    int channelCount = 2;
    // Captured too, at the same rate in its own channel count, when set.
    std::optional<CaptureInput> microphone = {};
    // The output was chosen as the server's default, and the stream goes wherever the default
    // goes, from the start: the default may have changed since it was chosen.
    bool followsDefaultOutput = true;
    // Only this program's streams are recorded, mixed, on whichever output they play, rather
    // than the output's monitor: every one open at the start and every one it opens later.
    std::optional<CaptureProgram> program = {};
};

// None when the operation succeeded, otherwise why it failed.
using CaptureResult = std::optional<Failure>;

// The capture platform the recorder stands on. One capture at a time: the output's stream and,
// when asked for, the microphone's. Every operation is
// called from the main thread; the futures finish on some other thread and the caller brings
// the result back with QFuture::then(context, ...).
class CaptureService {
public:
    // What a stream tells its recorder while it runs.
    struct Handlers {
        // One buffer at a time, in capture order, on the service's capture thread.
        std::function<void(PcmBuffer&&)> samples;
        // On any thread, when a running stream stops without being asked to.
        std::function<void(const QString& reason)> stopped;
        // On any thread, when the stream has moved to another output.
        std::function<void(const CaptureOutput& output)> outputChanged;
        // The microphone's buffers, on the capture thread, like `samples`.
        std::function<void(PcmBuffer&&)> microphoneSamples;
        // On any thread, once, when the microphone can't be opened or goes away; the output's
        // stream goes on.
        std::function<void(const QString& reason)> microphoneLost;
        // Recording a program, on any thread: whether any of its streams is open now. Told at
        // the start and at every change.
        std::function<void(bool playing)> programPlaying;
    };

    virtual ~CaptureService() = default;

    // Fails when the sound server can't be reached or refuses us.
    virtual QFuture<ShareableContent> queryContent() = 0;

    // Opens a stream of the output's monitor in the given format and starts it; the handlers
    // serve this stream only. A failed start leaves no stream behind.
    virtual QFuture<CaptureResult> startCapture(const CaptureOutput& output,
                                                const StreamConfiguration& configuration,
                                                Handlers handlers) = 0;
    // Once the future has finished, the sample handler is never called again for this stream,
    // whether or not stopping succeeded.
    virtual QFuture<CaptureResult> stopCapture() = 0;
};
