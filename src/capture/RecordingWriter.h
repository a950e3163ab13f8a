#pragma once

#include "FrameRing.h"
#include "PcmBuffer.h"
#include "RecordingFile.h"

#include <QFuture>
#include <QPromise>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Writes one recording to disk on a thread of its own ("sonabrix-writer"), so that a disk that
// stalls (a USB stick, a network home, a disk spinning up) holds up neither the sound server's
// thread nor the window: the capture thread only copies each buffer into a ring that holds
// `bufferedAudio` of it, and waits only for a disk further behind than that. The first buffer
// creates the recording file, every buffer is appended in order. The first buffer that can't be
// written ends the file: it and every later one are dropped (the recording is to end at once,
// with no hole in the middle), and the reason is kept, so that a loss is never reported as
// success. What it writes it also folds into detail peaks, saved beside the file at the end
// (DetailPeaksFile), so that opening the recording needs no pass over its audio.
class RecordingWriter {
public:
    struct Outcome {
        std::optional<QString> filePath;
        // Why no file could be created, when none was.
        std::optional<Failure> creationError;
        // Why buffers are missing from the file, when one was created.
        std::optional<Failure> lossReason;
        qint64 framesWritten = 0;
    };

    static constexpr std::chrono::seconds bufferedAudio{10};

    // Files go to the recordings folder, looked up (and made) when the first buffer comes.
    // `beforeEachWrite`, when given, runs on the writer thread before each write to disk: a test
    // holds the disk with it.
    explicit RecordingWriter(std::function<void()> beforeEachWrite = {});
    // Writes what is still waiting and closes the file.
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Called once, on the capture or the writer thread, when the recording can't be written any
    // further. Set before the first append.
    void setFailureHandler(std::function<void()> handler) { onFailure_ = std::move(handler); }

    // On the capture thread; waits for the disk only when it is more than bufferedAudio behind.
    // False when the buffer can't be kept.
    bool append(const PcmBuffer& buffer);

    // What waits is written now rather than when a whole chunk has come: nothing more may come
    // for a while (a pause).
    void flush();

    // The file being written, once the first buffer has created it. Never waits for the disk.
    std::optional<QString> filePath() const;

    // Ends the recording: what waits is written and the file closed, on the writer thread, which
    // then gives the outcome. Buffers that still arrive are ignored, so a stream that didn't stop
    // cleanly can't write into a closed recording or start another file.
    QFuture<Outcome> finish();

private:
    void write();
    // Keeps the first reason only; every later buffer is dropped.
    void fail(std::optional<Failure>& reason, const Failure& failure);
    Outcome outcome();

    const std::function<void()> beforeEachWrite_;
    std::function<void()> onFailure_;
    // Guards starting and finishing: the capture thread starts, the main thread finishes.
    std::mutex lifecycle_;
    std::atomic<bool> finished_{false};
    std::unique_ptr<FrameRing> ring_;
    int sampleRateHz_ = 0;
    QPromise<Outcome> ended_;
    std::thread thread_;
    // The capture thread had to wait for the disk once: told in the log.
    bool waitedForDisk_ = false;

    // The writer thread's file, and what the other threads may ask of it.
    std::unique_ptr<RecordingFile> file_;
    std::atomic<bool> failed_{false};
    mutable std::mutex state_;
    std::optional<QString> path_;
    std::optional<Failure> creationError_;
    std::optional<Failure> lossReason_;
};
