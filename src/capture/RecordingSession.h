#pragma once

#include "CaptureService.h"
#include "PeakHistory.h"
#include "RecordingWriter.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFuture>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class MicrophoneMixer;
class QObject;

// Everything one recording needs, from its start to its end: the writer of its file, its live
// peaks, the microphone's mixer, the pause clock, the start date and how it ended. A recorder
// makes one at each start and drops it at the end, so nothing carries over into the next
// recording. The stream's handlers hold it too, so on the capture thread it may outlive its end;
// whatever it tells after its end is dropped.
class RecordingSession : public std::enable_shared_from_this<RecordingSession> {
public:
    // What the capture and writer threads tell the main thread.
    struct Notice {
        enum class Kind {
            streamStopped,
            outputChanged,
            microphoneLost,
            writeFailed,
            programPlaying,
            programWaiting
        };
        Kind kind;
        // The stream's reason, or the new output's name.
        QString text = {};
    };
    using NoticeHandler = std::function<void(const Notice&)>;

    // Notices reach `handler` on `context`'s thread, until end() or until `context` is gone.
    // With `microphoneChannels`, the microphone's stream is mixed into the output's. Held by a
    // shared_ptr: the stream's handlers share it.
    RecordingSession(QObject* context, NoticeHandler handler,
                     std::optional<int> microphoneChannels = std::nullopt);
    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // From any thread: the one way a notice goes to the main thread. Dropped there when the
    // session has ended by then.
    void post(Notice notice);
    // On the main thread: no notice is handled any more.
    void end() { ended_ = true; }

    // What the stream feeds: the samples go to the file, the notices to the main thread.
    CaptureService::Handlers handlers();

    // The peaks of what is recorded (the mix, with the microphone).
    const PeakHistory& peaks() const { return peaks_; }
    // With the microphone: each stream's own, for its level.
    bool mixesMicrophone() const { return mixer_ != nullptr; }
    const PeakHistory& outputPeaks() const { return outputPeaks_; }
    const PeakHistory& microphonePeaks() const { return microphonePeaks_; }

    // On the main thread, once the stream runs: the date and the clock start.
    void markStarted();
    std::optional<QDateTime> startDate() const { return startDate_; }
    // While paused nothing is written and the clock stands.
    bool isPaused() const { return pausedSince_.has_value(); }
    void setPaused(bool paused);
    // Seconds recorded, pauses left out; 0 before the start.
    double recordedSeconds() const;

    // The stream stopped without being asked to, and why; only the first reason counts.
    std::optional<QString> stoppedByItself;
    // The recording was stopped before the disk filled up.
    bool stoppedForSpace = false;
    // A buffer couldn't be kept: the recording is to end.
    bool writeFailed() const { return failureTold_.load(); }

    // The file being written, once the first buffer has created it.
    std::optional<QString> filePath() const { return writer_.filePath(); }
    // Once the stream is released: what the mixer holds is stored, then the writer finishes.
    QFuture<RecordingWriter::Outcome> finish();

private:
    // On the capture thread: writes the buffer unless paused.
    void store(const PcmBuffer& buffer);
    void tellWriteFailed();

    const QPointer<QObject> context_;
    const NoticeHandler handler_;
    bool ended_ = false;
    // Declared before the writer, whose failure handler sets it.
    std::atomic<bool> failureTold_{false};
    std::atomic<bool> paused_{false};
    PeakHistory peaks_, outputPeaks_, microphonePeaks_;
    std::unique_ptr<MicrophoneMixer> mixer_;
    // The output's and the microphone's buffers meet in the mixer one at a time.
    std::mutex mixing_;
    RecordingWriter writer_;

    std::optional<QDateTime> startDate_;
    // The running time is read from the monotonic clock: the wall clock may be set meanwhile,
    // and reading it means reading the time zone.
    QElapsedTimer sinceStart_;
    // Since when (on sinceStart_), and how long in all before, it was paused.
    std::optional<qint64> pausedSince_;
    qint64 pausedMs_ = 0;
};
