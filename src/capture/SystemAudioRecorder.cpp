#include "SystemAudioRecorder.h"

#include "Logging.h"
#include "PulseCaptureService.h"
#include "RecordingEnding.h"
#include "RecordingWriter.h"

#include <QTimer>

namespace {

QFuture<void> finishedFuture() {
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

std::shared_ptr<QPromise<void>> startedPromise() {
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    return promise;
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

void SystemAudioRecorder::enter(Phase phase) {
    const bool wasRecording = isRecording();
    static constexpr const char* names[] = {"idle", "starting", "recording", "stopping"};
    qCDebug(lcCapture).noquote() << "Recorder:" << names[int(phase_)] << "->" << names[int(phase)];
    phase_ = phase;
    if (isRecording() != wasRecording)
        Q_EMIT isRecordingChanged(isRecording());
}

QFuture<void> SystemAudioRecorder::start() {
    switch (phase_) {
    case Phase::idle:
        break;
    case Phase::starting:
        // Two overlapping starts would feed two streams into one file.
        return transition_->future();
    case Phase::recording:
    case Phase::stopping:
        return finishedFuture();
    }
    setErrorMessage(std::nullopt);
    transition_ = startedPromise();
    // Taken first: an answer that is already there is handled at once.
    const QFuture<void> started = transition_->future();
    enter(Phase::starting);
    service_->queryContent().then(
        this, [this](const ShareableContent& content) { beginCapture(content); });
    return started;
}

void SystemAudioRecorder::beginCapture(const ShareableContent& content) {
    // Any failure of the query means the server can't be used by us.
    if (content.error)
        return failStart(description(RecorderError::permissionDenied));
    if (content.outputs.isEmpty())
        return failStart(description(RecorderError::noDisplay));

    writer_ = std::make_shared<RecordingWriter>();
    CaptureService::Handlers handlers;
    handlers.samples = [writer = writer_](PcmBuffer&& buffer) { writer->append(buffer); };
    handlers.stopped = [this, writer = writer_](const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, writer, reason] { stoppedByItself(writer, reason); },
            Qt::QueuedConnection);
    };
    service_->startCapture(content.outputs.first(), StreamConfiguration{}, std::move(handlers))
        .then(this, [this](const CaptureResult& error) { captureStarted(error); });
}

void SystemAudioRecorder::captureStarted(const CaptureResult& error) {
    if (error)
        return failStart(tr("Couldn't start capture: %1").arg(*error));
    const std::shared_ptr<QPromise<void>> started = std::exchange(transition_, nullptr);
    recordingStartDate_ = QDateTime::currentDateTime();
    setElapsedTime(0);
    enter(Phase::recording);
    ticker_->start();
    qCInfo(lcCapture).noquote() << "Recording started";
    // The stream may have died before its start reached us.
    if (stoppedByItself_)
        beginStopping();
    started->finish();
}

void SystemAudioRecorder::failStart(const QString& message) {
    qCWarning(lcCapture).noquote() << "Recording didn't start:" << message;
    writer_.reset();
    stoppedByItself_.reset();
    setErrorMessage(message);
    const std::shared_ptr<QPromise<void>> started = std::exchange(transition_, nullptr);
    enter(Phase::idle);
    started->finish();
}

QFuture<void> SystemAudioRecorder::stop() {
    switch (phase_) {
    case Phase::recording:
        return beginStopping();
    case Phase::stopping:
        return transition_->future();
    case Phase::idle:
    case Phase::starting:
        return finishedFuture();
    }
    return finishedFuture();
}

QFuture<void> SystemAudioRecorder::beginStopping() {
    ticker_->stop();
    transition_ = startedPromise();
    const QFuture<void> stopped = transition_->future();
    enter(Phase::stopping);
    service_->stopCapture().then(
        this, [this](const CaptureResult& stopError) { finishRecording(stopError); });
    return stopped;
}

void SystemAudioRecorder::stoppedByItself(const std::shared_ptr<RecordingWriter>& writer,
                                          const QString& reason) {
    // A late notice from an earlier stream, or a second one from this stream.
    if (writer != writer_ || stoppedByItself_)
        return;
    switch (phase_) {
    case Phase::idle:
        return;
    case Phase::starting:
        // The start's end stops it.
    case Phase::stopping:
        // The stop under way reports it.
        stoppedByItself_ = reason;
        return;
    case Phase::recording:
        // Releasing the dead stream before closing the file guarantees nothing writes into it.
        stoppedByItself_ = reason;
        beginStopping();
        return;
    }
}

void SystemAudioRecorder::finishRecording(const CaptureResult& stopError) {
    const RecordingEnding ending{std::exchange(stoppedByItself_, std::nullopt), stopError,
                                 writer_->finish()};
    writer_.reset();
    const std::optional<QString> message = endingMessage(ending);
    qCInfo(lcCapture).noquote().nospace()
        << "Recording ended: " << ending.file.framesWritten << " frames written to "
        << ending.file.filePath.value_or(QStringLiteral("no file"));
    if (message)
        qCWarning(lcCapture).noquote() << "Recording ended with:" << *message;

    // A listener on isRecordingChanged already finds the finished recording published.
    if (message)
        setErrorMessage(message);
    setLastRecordingURL(ending.file.filePath
                            ? std::optional(QUrl::fromLocalFile(*ending.file.filePath))
                            : std::nullopt);
    setLastRecordingDate(recordingStartDate_);
    const std::shared_ptr<QPromise<void>> stopped = std::exchange(transition_, nullptr);
    enter(Phase::idle);
    stopped->finish();
}

void SystemAudioRecorder::tick() {
    if (phase_ != Phase::recording || !recordingStartDate_) {
        ticker_->stop();
        return;
    }
    setElapsedTime(recordingStartDate_->msecsTo(QDateTime::currentDateTime()) / 1000.0);
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
