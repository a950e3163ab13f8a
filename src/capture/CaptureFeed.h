#pragma once

#include "CaptureService.h"
#include "PeakHistory.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class MicrophoneMixer;
class QObject;
class RecordingSession;
class ReplayStore;

// What one capture stream feeds, from its start to its release: the microphone's stream mixed
// into the output's, the peaks for the levels, and the mix handed to whoever listens now, the
// recording under way and the replay, so that both share one capture. The stream's handlers hold
// it, so on the capture thread it may outlive its release; whatever it tells after its end is
// dropped.
class CaptureFeed : public std::enable_shared_from_this<CaptureFeed> {
public:
    // What the capture and writer threads tell the main thread.
    struct Notice {
        enum class Kind {
            streamStopped,
            outputChanged,
            microphoneLost,
            writeFailed,
            programPlaying,
            programWaiting,
            // The recording has had everything captured up to the end asked for.
            recordingEnded
        };
        Kind kind;
        // The stream's reason, or the new output's name.
        QString text = {};
    };
    using NoticeHandler = std::function<void(const Notice&)>;

    // Notices reach `handler` on `context`'s thread, until end() or until `context` is gone.
    // With `microphoneChannels`, the microphone's stream is mixed into the output's.
    CaptureFeed(QObject* context, NoticeHandler handler,
                std::optional<int> microphoneChannels = std::nullopt);
    ~CaptureFeed();
    CaptureFeed(const CaptureFeed&) = delete;
    CaptureFeed& operator=(const CaptureFeed&) = delete;

    // From any thread: the one way a notice goes to the main thread. Dropped there when the
    // feed has ended by then.
    void post(Notice notice);
    // On the main thread: no notice is handled any more.
    void end() { ended_ = true; }

    // What the stream calls, on its threads.
    CaptureService::Handlers handlers();

    // With the microphone: each stream's own peaks, for its level.
    bool mixesMicrophone() const { return mixer_ != nullptr; }
    const PeakHistory& outputPeaks() const { return outputPeaks_; }
    const PeakHistory& microphonePeaks() const { return microphonePeaks_; }

    // The listeners, set from the main thread: from the next stretch of the mix on it goes to
    // them; once a call returns, a listener taken away gets nothing more. A recording that
    // joins a running capture gets what was captured from `fromUs` on (CLOCK_MONOTONIC; the
    // stretch that arrives next may have been captured a moment before it was asked for).
    void setRecording(std::shared_ptr<RecordingSession> recording, qint64 fromUs = -1);
    void setReplay(std::shared_ptr<ReplayStore> replay);
    // The recording leaves a capture that goes on: it gets what was captured up to `untilUs`,
    // still on its way from the server, and then recordingEnded is told.
    void endRecordingAt(qint64 untilUs);

    // Once the stream is released: what the mixer still holds goes to the listeners.
    void finish();

private:
    // On the capture thread, holding mixing_.
    void deliver(const PcmBuffer& mix);

    const QPointer<QObject> context_;
    const NoticeHandler handler_;
    bool ended_ = false;
    PeakHistory outputPeaks_, microphonePeaks_;
    std::unique_ptr<MicrophoneMixer> mixer_;
    // The output's and the microphone's buffers meet in the mixer one at a time, and the
    // listeners change only between two of them.
    std::mutex mixing_;
    std::shared_ptr<RecordingSession> recording_;
    qint64 recordingFromUs_ = -1;
    qint64 recordingUntilUs_ = -1;
    std::shared_ptr<ReplayStore> replay_;
};
