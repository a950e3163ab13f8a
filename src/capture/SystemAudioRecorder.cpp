#include "SystemAudioRecorder.h"

#include "PulseCaptureService.h"
#include "RecordingWriter.h"

#include <QTimer>

namespace {

QFuture<void> finishedFuture() {
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

} // namespace

QString SystemAudioRecorder::description(RecorderError error) {
    switch (error) {
    case RecorderError::permissionDenied:
        return tr("Sonabrix couldn't connect to the sound server to capture system audio. Make "
                  "sure PulseAudio or PipeWire is running and that Sonabrix may use it, then try "
                  "again.");
    case RecorderError::noDisplay:
        return tr("No audio output found to capture audio from.");
    }
    return {};
}

SystemAudioRecorder::SystemAudioRecorder(std::unique_ptr<CaptureService> service, QObject* parent)
    : QObject(parent),
      service_(service ? std::move(service) : std::make_unique<PulseCaptureService>()),
      ticker_(new QTimer(this)) {
    ticker_->setInterval(tickerIntervalMs);
    ticker_->setTimerType(Qt::PreciseTimer);
    connect(ticker_, &QTimer::timeout, this, &SystemAudioRecorder::tick);
}

SystemAudioRecorder::~SystemAudioRecorder() {
    // The service goes first, so that no capture callback reaches a recorder being destroyed;
    // the writer then closes whatever file is open, complete up to its last buffer.
    service_.reset();
}

QFuture<void> SystemAudioRecorder::start() {
    if (isRecording_)
        return finishedFuture();
    // Two overlapping starts would feed two streams into one file.
    if (startUnderWay_)
        return *startUnderWay_;

    setErrorMessage(std::nullopt);
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    startUnderWay_ = done->future();
    service_->queryContent().then(
        this, [this, done](const ShareableContent& content) { beginCapture(content, done); });
    return *startUnderWay_;
}

void SystemAudioRecorder::beginCapture(const ShareableContent& content,
                                       const std::shared_ptr<QPromise<void>>& done) {
    // Any failure of the query means the server can't be used by us.
    if (content.error) {
        failStart(description(RecorderError::permissionDenied));
        return finishStarting(done);
    }
    if (content.outputs.isEmpty()) {
        failStart(description(RecorderError::noDisplay));
        return finishStarting(done);
    }

    auto writer = std::make_shared<RecordingWriter>();
    service_->setSampleHandler([writer](PcmBuffer&& buffer) { writer->append(buffer); });
    const quint64 generation = ++streamGeneration_;
    service_->setStoppedHandler([this, generation](const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, generation, reason] { stoppedByItself(generation, reason); },
            Qt::QueuedConnection);
    });
    if (const CaptureResult error =
            service_->createStream(content.outputs.first(), StreamConfiguration{})) {
        failStart(tr("Couldn't start capture: %1").arg(*error));
        return finishStarting(done);
    }
    service_->startCapture().then(this, [this, done, writer](const CaptureResult& error) {
        if (error) {
            failStart(tr("Couldn't start capture: %1").arg(*error));
        } else {
            captureStarted(writer);
            // The stream may have died before its start reached us.
            if (unexpectedStopReason_)
                beginStopping();
        }
        finishStarting(done);
    });
}

void SystemAudioRecorder::captureStarted(const std::shared_ptr<RecordingWriter>& writer) {
    streamRunning_ = true;
    writer_ = writer;
    recordingStartDate_ = QDateTime::currentDateTime();
    setElapsedTime(0);
    setIsRecording(true);
    ticker_->start();
}

void SystemAudioRecorder::failStart(const QString& message) {
    unexpectedStopReason_.reset();
    setErrorMessage(message);
}

void SystemAudioRecorder::finishStarting(const std::shared_ptr<QPromise<void>>& done) {
    startUnderWay_.reset();
    done->finish();
}

QFuture<void> SystemAudioRecorder::stop() {
    if (!isRecording_ || !streamRunning_)
        return finishedFuture();
    if (stopUnderWay_)
        return *stopUnderWay_;
    return beginStopping();
}

QFuture<void> SystemAudioRecorder::beginStopping() {
    ticker_->stop();
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    stopUnderWay_ = done->future();
    service_->stopCapture().then(this, [this, done](const CaptureResult& stopResult) {
        finishRecording(stopResult);
        stopUnderWay_.reset();
        done->finish();
    });
    return *stopUnderWay_;
}

void SystemAudioRecorder::stoppedByItself(quint64 generation, const QString& reason) {
    if (generation != streamGeneration_ || unexpectedStopReason_)
        return;
    if (!streamRunning_ && !startUnderWay_)
        return;
    unexpectedStopReason_ = reason;
    // Releasing the dead stream before closing the file guarantees nothing writes into it.
    if (streamRunning_ && !stopUnderWay_)
        beginStopping();
}

void SystemAudioRecorder::finishRecording(const CaptureResult& stopResult) {
    streamRunning_ = false;
    const RecordingWriter::Outcome outcome = writer_->finish();
    writer_.reset();

    std::optional<QString> message;
    if (unexpectedStopReason_)
        message = tr("Capture stopped unexpectedly: %1").arg(*unexpectedStopReason_);
    else if (stopResult)
        message = tr("Couldn't stop capture cleanly: %1").arg(*stopResult);

    std::optional<QString> fileProblem;
    if (outcome.creationError)
        fileProblem = tr("Couldn't create the recording file: %1").arg(*outcome.creationError);
    else if (outcome.lossReason)
        fileProblem = tr("Part of the recording couldn't be saved: %1").arg(*outcome.lossReason);
    else if (!outcome.filePath && !unexpectedStopReason_)
        fileProblem = tr("No audio was captured — is anything actually playing sound?");
    if (fileProblem)
        message =
            unexpectedStopReason_ ? *message + QStringLiteral("\n\n") + *fileProblem : *fileProblem;
    unexpectedStopReason_.reset();

    // A listener on isRecordingChanged already finds the finished recording published.
    if (message)
        setErrorMessage(message);
    setLastRecordingURL(outcome.filePath ? std::optional(QUrl::fromLocalFile(*outcome.filePath))
                                         : std::nullopt);
    setLastRecordingDate(recordingStartDate_);
    setIsRecording(false);
}

void SystemAudioRecorder::tick() {
    if (!isRecording_ || !recordingStartDate_) {
        ticker_->stop();
        return;
    }
    setElapsedTime(recordingStartDate_->msecsTo(QDateTime::currentDateTime()) / 1000.0);
}

void SystemAudioRecorder::setIsRecording(bool value) {
    if (isRecording_ == value)
        return;
    isRecording_ = value;
    Q_EMIT isRecordingChanged(value);
}

void SystemAudioRecorder::setElapsedTime(double seconds) {
    if (elapsedTime_ == seconds)
        return;
    elapsedTime_ = seconds;
    Q_EMIT elapsedTimeChanged(seconds);
}

void SystemAudioRecorder::setErrorMessage(std::optional<QString> message) {
    if (errorMessage_ == message)
        return;
    errorMessage_ = std::move(message);
    Q_EMIT errorMessageChanged(errorMessage_);
}

void SystemAudioRecorder::setLastRecordingURL(std::optional<QUrl> url) {
    if (lastRecordingURL_ == url)
        return;
    lastRecordingURL_ = std::move(url);
    Q_EMIT lastRecordingURLChanged(lastRecordingURL_);
}

void SystemAudioRecorder::setLastRecordingDate(std::optional<QDateTime> date) {
    if (lastRecordingDate_ == date)
        return;
    lastRecordingDate_ = std::move(date);
    Q_EMIT lastRecordingDateChanged(lastRecordingDate_);
}
