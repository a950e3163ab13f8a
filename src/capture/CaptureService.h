#pragma once

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
};

// The answer to a content query: a reason when the server can't be used, otherwise its outputs
// with the default output first.
struct ShareableContent {
    std::optional<QString> error;
    QList<CaptureOutput> outputs;
};

struct StreamConfiguration {
    int sampleRateHz = 48000;
    int channelCount = 2;
};

// None when the operation succeeded, otherwise why it failed as readable text.
using CaptureResult = std::optional<QString>;

// The capture platform the recorder stands on. One stream at a time. Every operation is
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
