#include "SystemAudioRecorder.h"

#include "FutureDelivery.h"
#include "Logging.h"
#include "PeakHistory.h"
#include "PulseCaptureService.h"
#include "RecordingEnding.h"

#include <QFileInfo>
#include <QTimer>
#include <sys/statvfs.h>

namespace {

QFuture<void> finishedFuture() {
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

// Seconds of recording the folder holding `path` still has room for; none when unknown.
std::optional<double> secondsOfSpaceFor(const QString& path) {
    struct statvfs status = {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &status) != 0)
        return std::nullopt;
    const StreamConfiguration format;
    const double bytesPerSecond = double(format.sampleRateHz) * format.channelCount * sizeof(float);
    return double(status.f_bavail) * double(status.f_frsize) / bytesPerSecond;
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
      ticker_(new QTimer(this)), levelTimer_(new QTimer(this)) {
    ticker_->setInterval(tickerIntervalMs);
    ticker_->setTimerType(Qt::PreciseTimer);
    connect(ticker_, &QTimer::timeout, this, &SystemAudioRecorder::tick);
    levelTimer_->setInterval(levelIntervalMs);
    levelTimer_->setTimerType(Qt::PreciseTimer);
    connect(levelTimer_, &QTimer::timeout, this, &SystemAudioRecorder::publishLevel);
}

SystemAudioRecorder::~SystemAudioRecorder() {
    // The service goes first, so that no capture callback reaches a recorder being destroyed;
    // the writer then closes whatever file is open, complete up to its last buffer.
    service_.reset();
}

std::shared_ptr<const PeakHistory> SystemAudioRecorder::peakHistory() const {
    return session_ ? std::shared_ptr<const PeakHistory>(session_, &session_->peaks()) : nullptr;
}

void SystemAudioRecorder::enter(Phase phase) {
    const bool wasRecording = isRecording();
    static constexpr const char* names[] = {"idle", "starting", "recording", "stopping"};
    qCDebug(lcCapture).noquote() << "Recorder:" << names[int(phase_)] << "->" << names[int(phase)];
    phase_ = phase;
    if (isRecording() != wasRecording)
        Q_EMIT isRecordingChanged(isRecording());
}

QFuture<void> SystemAudioRecorder::beginTransition(Phase phase) {
    transition_ = std::make_shared<QPromise<void>>();
    transition_->start();
    // Taken before entering: an answer that is already there is handled at once.
    const QFuture<void> finished = transition_->future();
    enter(phase);
    return finished;
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
    const QFuture<void> started = beginTransition(Phase::starting);
    deliverTo(this, service_->queryContent(),
              [this](const ShareableContent& content) { beginCapture(content); });
    return started;
}

void SystemAudioRecorder::beginCapture(const ShareableContent& content) {
    // Only a server that turned us away is a matter of permission; one that isn't there, or was
    // reached and failed to answer, says what failed.
    if (content.error && content.serverReached)
        return failStart(content.error->within(
            tr("Sonabrix couldn't get the list of audio outputs from the sound server")));
    if (content.error && content.accessRefused)
        return failStart(Failure{description(RecorderError::permissionDenied), {}});
    if (content.error)
        return failStart(content.error->within(
            tr("Sonabrix couldn't reach the sound server to capture system audio. Make sure "
               "PulseAudio or PipeWire is running, then try again.")));
    if (content.outputs.isEmpty())
        return failStart(Failure{description(RecorderError::noDisplay), {}});

    StreamConfiguration configuration;
    configuration.microphone = microphoneToMix(content);
    configuration.program = program_;
    session_ = std::make_shared<RecordingSession>(
        this, [this](const RecordingSession::Notice& notice) { handle(notice); },
        configuration.microphone ? std::optional(configuration.microphone->channelCount)
                                 : std::nullopt);
    const CaptureOutput& output = content.outputs.first();
    publish(outputName_, output.displayName(), &SystemAudioRecorder::outputNameChanged);
    deliverTo(this, service_->startCapture(output, configuration, session_->handlers()),
              [this](const CaptureResult& error) { captureStarted(error); });
}

void SystemAudioRecorder::handle(const RecordingSession::Notice& notice) {
    using Kind = RecordingSession::Notice::Kind;
    switch (notice.kind) {
    case Kind::streamStopped:
        return stoppedByItself(notice.text);
    case Kind::outputChanged:
        return publish(outputName_, notice.text, &SystemAudioRecorder::outputNameChanged);
    case Kind::microphoneLost:
        return microphoneLost(notice.text);
    case Kind::writeFailed:
        return fileFailed();
    case Kind::programPlaying:
    case Kind::programWaiting:
        return publish(isWaitingForProgram_, notice.kind == Kind::programWaiting,
                       &SystemAudioRecorder::isWaitingForProgramChanged);
    }
}

// --- The microphone's part: its stream is mixed into the output's before anything is stored.

void SystemAudioRecorder::setIncludesMicrophone(bool includes) {
    publish(includesMicrophone_, includes, &SystemAudioRecorder::includesMicrophoneChanged);
}

void SystemAudioRecorder::setProgram(std::optional<CaptureProgram> program) {
    publish(program_, std::move(program), &SystemAudioRecorder::programChanged);
}

void SystemAudioRecorder::checkServer() {
    deliverTo(this, service_->queryContent(), [this](const ShareableContent& content) {
        publish(playingPrograms_, content.programs, &SystemAudioRecorder::playingProgramsChanged);
        publish(noMicrophoneReason_, noMicrophoneReason(content),
                &SystemAudioRecorder::noMicrophoneReasonChanged);
        const CaptureInput* microphone = content.microphone ? &*content.microphone : nullptr;
        publish(microphoneName_,
                microphone ? (microphone->description.isEmpty() ? microphone->name
                                                                : microphone->description)
                           : QString(),
                &SystemAudioRecorder::microphoneNameChanged);
    });
}

std::optional<QString> SystemAudioRecorder::noMicrophoneReason(const ShareableContent& content) {
    if (content.microphone)
        return std::nullopt;
    return content.error
               ? content.error->within(tr("Couldn't ask the sound server for a microphone."))
                     .message()
               : tr("No microphone found.");
}

std::optional<CaptureInput> SystemAudioRecorder::microphoneToMix(const ShareableContent& content) {
    publish(microphoneProblem_, std::nullopt, &SystemAudioRecorder::microphoneProblemChanged);
    if (!includesMicrophone_)
        return std::nullopt;
    publish(noMicrophoneReason_, noMicrophoneReason(content),
            &SystemAudioRecorder::noMicrophoneReasonChanged);
    if (!content.microphone) {
        // The output alone is still worth recording.
        publish(microphoneProblem_, noMicrophoneReason_,
                &SystemAudioRecorder::microphoneProblemChanged);
    }
    return content.microphone;
}

void SystemAudioRecorder::microphoneLost(const QString& reason) {
    qCWarning(lcCapture).noquote() << "Recording goes on without the microphone:" << reason;
    publish(microphoneProblem_,
            tr("The microphone is no longer available. Recording continues with the computer's "
               "sound only."),
            &SystemAudioRecorder::microphoneProblemChanged);
    publish(microphoneLevel_, 0, &SystemAudioRecorder::microphoneLevelChanged);
}

// ---

void SystemAudioRecorder::captureStarted(const CaptureResult& error) {
    if (error)
        return failStart(error->within(tr("Couldn't start capture")));
    const std::shared_ptr<QPromise<void>> started = std::exchange(transition_, nullptr);
    session_->markStarted();
    publish(elapsedTime_, 0, &SystemAudioRecorder::elapsedTimeChanged);
    enter(Phase::recording);
    ticker_->start();
    levelTimer_->start();
    qCInfo(lcCapture).noquote() << "Recording started";
    // The stream may have died, or its first buffer failed to be stored, before its start
    // reached us.
    if (session_->stoppedByItself || session_->writeFailed())
        beginStopping();
    started->finish();
}

void SystemAudioRecorder::failStart(const Failure& failure) {
    const QString message = failure.message();
    qCWarning(lcCapture).noquote() << "Recording didn't start:" << message;
    endSession();
    setErrorMessage(message);
    const std::shared_ptr<QPromise<void>> started = std::exchange(transition_, nullptr);
    enter(Phase::idle);
    started->finish();
}

void SystemAudioRecorder::setPaused(bool paused) {
    if (phase_ != Phase::recording || paused == isPaused())
        return;
    session_->setPaused(paused);
    qCInfo(lcCapture).noquote() << (paused ? "Paused" : "Resumed") << "at" << recordedSeconds()
                                << "s";
    Q_EMIT isPausedChanged(paused);
    publishLevel();
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
    const QFuture<void> stopped = beginTransition(Phase::stopping);
    deliverTo(this, service_->stopCapture(),
              [this](const CaptureResult& stopError) { finishRecording(stopError); });
    return stopped;
}

void SystemAudioRecorder::stoppedByItself(const QString& reason) {
    // A second notice from this stream.
    if (session_->stoppedByItself)
        return;
    switch (phase_) {
    case Phase::idle:
        return;
    case Phase::starting:
        // The start's end stops it.
    case Phase::stopping:
        // The stop under way reports it.
        session_->stoppedByItself = reason;
        return;
    case Phase::recording:
        // Releasing the dead stream before closing the file guarantees nothing writes into it.
        session_->stoppedByItself = reason;
        beginStopping();
        return;
    }
}

void SystemAudioRecorder::fileFailed() {
    switch (phase_) {
    case Phase::idle:
    case Phase::stopping:
        return;
    case Phase::starting:
        // The start's end stops it.
        return;
    case Phase::recording:
        // What could be kept is kept; the writer's outcome tells the rest.
        beginStopping();
        return;
    }
}

void SystemAudioRecorder::finishRecording(const CaptureResult& stopError) {
    deliverTo(this, session_->finish(), [this, stopError](const RecordingWriter::Outcome& file) {
        concludeRecording(stopError, file);
    });
}

void SystemAudioRecorder::concludeRecording(const CaptureResult& stopError,
                                            const RecordingWriter::Outcome& file) {
    const RecordingEnding ending{session_->stoppedByItself, stopError, file,
                                 session_->stoppedForSpace};
    const std::optional<QDateTime> startDate = session_->startDate();
    const bool wasPaused = isPaused();
    endSession();
    levelTimer_->stop();
    const std::optional<QString> message = endingMessage(ending);
    qCInfo(lcCapture).noquote().nospace()
        << "Recording ended: " << ending.file.framesWritten << " frames written to "
        << ending.file.filePath.value_or(QStringLiteral("no file"));
    if (message)
        qCWarning(lcCapture).noquote() << "Recording ended with:" << *message;

    // A listener on isRecordingChanged already finds the finished recording published.
    if (message)
        setErrorMessage(message);
    publish(lastRecordingURL_,
            ending.file.filePath ? std::optional(QUrl::fromLocalFile(*ending.file.filePath))
                                 : std::nullopt,
            &SystemAudioRecorder::lastRecordingURLChanged);
    publish(lastRecordingDate_, startDate, &SystemAudioRecorder::lastRecordingDateChanged);
    publish(level_, 0, &SystemAudioRecorder::levelChanged);
    publish(microphoneLevel_, 0, &SystemAudioRecorder::microphoneLevelChanged);
    publish(isCapturingSilence_, false, &SystemAudioRecorder::isCapturingSilenceChanged);
    publish(isLowOnSpace_, false, &SystemAudioRecorder::isLowOnSpaceChanged);
    if (wasPaused)
        Q_EMIT isPausedChanged(false);
    const std::shared_ptr<QPromise<void>> stopped = std::exchange(transition_, nullptr);
    enter(Phase::idle);
    stopped->finish();
}

void SystemAudioRecorder::endSession() {
    // Whatever its threads still tell is about a recording that is over.
    if (session_)
        session_->end();
    session_.reset();
    publish(isWaitingForProgram_, false, &SystemAudioRecorder::isWaitingForProgramChanged);
}

double SystemAudioRecorder::recordedSeconds() const {
    return session_ ? session_->recordedSeconds() : 0.0;
}

void SystemAudioRecorder::tick() {
    if (phase_ != Phase::recording) {
        ticker_->stop();
        return;
    }
    publish(elapsedTime_, recordedSeconds(), &SystemAudioRecorder::elapsedTimeChanged);
    checkFreeSpace();
}

void SystemAudioRecorder::publishLevel() {
    if (phase_ != Phase::recording)
        return;
    const PeakHistory& peaks = session_->peaks();
    constexpr int binMs = 1000 / PeakHistory::binsPerSecond;
    const bool mixing = session_->mixesMicrophone();
    publish(level_,
            isPaused()
                ? 0.0
                : (mixing ? session_->outputPeaks() : peaks).recentPeak(levelWindowMs / binMs),
            &SystemAudioRecorder::levelChanged);
    publish(microphoneLevel_,
            isPaused() || !mixing || microphoneProblem_
                ? 0.0
                : session_->microphonePeaks().recentPeak(levelWindowMs / binMs),
            &SystemAudioRecorder::microphoneLevelChanged);
    publish(isCapturingSilence_,
            !isPaused() && recordedSeconds() * 1000 >= silenceMs &&
                peaks.recentPeak(silenceMs / binMs) < silenceThreshold,
            &SystemAudioRecorder::isCapturingSilenceChanged);
}

void SystemAudioRecorder::checkFreeSpace() {
    const std::optional<QString> path = session_->filePath();
    const std::optional<double> seconds = path ? secondsOfSpaceFor(*path) : std::nullopt;
    if (!seconds)
        return;
    publish(isLowOnSpace_, *seconds < lowSpaceSeconds, &SystemAudioRecorder::isLowOnSpaceChanged);
    if (*seconds < stopSpaceSeconds) {
        qCWarning(lcCapture).noquote()
            << "Stopping: room for only" << *seconds << "s of audio left in" << *path;
        session_->stoppedForSpace = true;
        beginStopping();
    }
}

void SystemAudioRecorder::setErrorMessage(std::optional<QString> message) {
    publish(errorMessage_, std::move(message), &SystemAudioRecorder::errorMessageChanged);
}

template <typename T, typename Value, typename Argument>
void SystemAudioRecorder::publish(T& field, Value&& value,
                                  void (SystemAudioRecorder::*changed)(Argument)) {
    if (field == value)
        return;
    field = std::forward<Value>(value);
    Q_EMIT(this->*changed)(field);
}

// --- The replay.

void SystemAudioRecorder::setReplayMinutes(int minutes) {
    publish(replayMinutes_, std::max(minutes, 0), &SystemAudioRecorder::replayMinutesChanged);
}

double SystemAudioRecorder::replayKeptSeconds() const {
    return 0.0;
}

QFuture<SystemAudioRecorder::ReplaySave>
SystemAudioRecorder::saveReplay(std::optional<double> lastSeconds, bool startAfresh) {
    Q_UNUSED(lastSeconds);
    Q_UNUSED(startAfresh);
    QPromise<ReplaySave> promise;
    promise.start();
    promise.addResult(ReplaySave{{}, {}, 0, tr("Nothing has been kept to save yet.")});
    promise.finish();
    return promise.future();
}
