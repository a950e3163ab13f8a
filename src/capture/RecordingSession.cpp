#include "RecordingSession.h"

RecordingSession::RecordingSession(std::function<void()> writeFailed)
    : writeFailedHandler_(std::move(writeFailed)) {
    writer_.setFailureHandler([this] { tellWriteFailed(); });
}

RecordingSession::~RecordingSession() = default;

void RecordingSession::tellWriteFailed() {
    if (!failureTold_.exchange(true) && writeFailedHandler_)
        writeFailedHandler_();
}

void RecordingSession::store(const PcmBuffer& buffer) {
    if (paused_.load(std::memory_order_relaxed))
        return;
    peaks_.add(buffer);
    if (!writer_.append(buffer))
        tellWriteFailed();
}

void RecordingSession::markStarted() {
    startDate_ = QDateTime::currentDateTime();
    sinceStart_.start();
}

void RecordingSession::setPaused(bool paused) {
    if (paused == isPaused())
        return;
    paused_ = paused;
    if (paused)
        writer_.flush();
    const qint64 now = sinceStart_.isValid() ? sinceStart_.elapsed() : 0;
    if (paused)
        pausedSince_ = now;
    else
        pausedMs_ += now - *std::exchange(pausedSince_, std::nullopt);
}

double RecordingSession::recordedSeconds() const {
    if (!sinceStart_.isValid())
        return 0;
    const qint64 now = sinceStart_.elapsed();
    const qint64 paused = pausedMs_ + (pausedSince_ ? now - *pausedSince_ : 0);
    return static_cast<double>(now - paused) / 1000.0;
}

QFuture<RecordingWriter::Outcome> RecordingSession::finish() {
    // The writer empties its ring on its own thread; the window goes on meanwhile.
    return writer_.finish();
}
