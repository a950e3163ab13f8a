#pragma once

#include "PcmBuffer.h"
#include "PeakHistory.h"
#include "RecordingWriter.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFuture>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>

// Everything one recording needs, from its start to its end: the writer of its file, its live
// peaks, the pause clock, the start date and how it ended. A recorder makes one at each start and
// drops it at the end, so nothing carries over into the next recording. It listens to a capture
// feed (CaptureFeed), which may have run before it and may go on after it; the feed's stream may
// hold it on the capture thread a moment past its end.
class RecordingSession {
public:
    // `writeFailed` is called once, on the capture or the writer thread, when a buffer can't be
    // kept.
    explicit RecordingSession(std::function<void()> writeFailed = {});
    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // On the capture thread: the feed's mix, written unless paused.
    void store(const PcmBuffer& buffer);

    // The peaks of what is recorded.
    const PeakHistory& peaks() const { return peaks_; }

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
    // Once the feed no longer reaches it: the writer finishes.
    QFuture<RecordingWriter::Outcome> finish();

private:
    void tellWriteFailed();

    const std::function<void()> writeFailedHandler_;
    // Declared before the writer, whose failure handler sets it.
    std::atomic<bool> failureTold_{false};
    std::atomic<bool> paused_{false};
    PeakHistory peaks_;
    RecordingWriter writer_;

    std::optional<QDateTime> startDate_;
    // The running time is read from the monotonic clock: the wall clock may be set meanwhile,
    // and reading it means reading the time zone.
    QElapsedTimer sinceStart_;
    // Since when (on sinceStart_), and how long in all before, it was paused.
    std::optional<qint64> pausedSince_;
    qint64 pausedMs_ = 0;
};
