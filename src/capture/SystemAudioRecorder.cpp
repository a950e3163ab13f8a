#include "SystemAudioRecorder.h"

#include "CaptureFeed.h"
#include "FutureDelivery.h"
#include "Logging.h"
#include "PeakHistory.h"
#include "PulseCaptureService.h"
#include "RecordingEnding.h"
#include "ReplayStore.h"

#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
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
      ticker_(new QTimer(this)), levelTimer_(new QTimer(this)), replayRetry_(new QTimer(this)),
      recordingEndWait_(new QTimer(this)) {
    replayRetry_->setSingleShot(true);
    replayRetry_->setInterval(replayRetryMs);
    connect(replayRetry_, &QTimer::timeout, this, &SystemAudioRecorder::reconcileCapture);
    recordingEndWait_->setSingleShot(true);
    recordingEndWait_->setInterval(recordingEndWaitMs);
    connect(recordingEndWait_, &QTimer::timeout, this, [this] {
        qCWarning(lcCapture).noquote() << "The recording's last moments didn't come; it ends "
                                          "with what came";
        recordingLeftFeed();
    });
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
    if (feedServes()) {
        // The replay's capture runs already: the recording takes what it captures from now on.
        attachNewSession(monotonicNowUs());
        recordingStarted();
    } else {
        reconcileCapture();
    }
    return started;
}

// --- The capture: one stream at a time, opened for a recording, for the replay or both, and
// released when neither wants it. One step (opening or closing) runs at a time; each ends by
// looking again at what is wanted.

SystemAudioRecorder::FeedChoice SystemAudioRecorder::wantedChoice() const {
    return {program_, includesMicrophone_};
}

bool SystemAudioRecorder::feedRuns() const {
    return feed_ && captureStep_ == CaptureStep::none && !feedState_.stopped;
}

bool SystemAudioRecorder::feedServes() const {
    return feedRuns() && feedState_.choice == wantedChoice();
}

void SystemAudioRecorder::reconcileCapture() {
    // A recording that runs or stops looks after its capture itself.
    if (captureStep_ != CaptureStep::none || phase_ == Phase::recording ||
        phase_ == Phase::stopping)
        return;
    const bool wanted = phase_ == Phase::starting || replayMinutes_ > 0;
    if (feed_) {
        if (!wanted || !feedServes()) {
            const bool failed = feedState_.stopped.has_value();
            closeCapture([this, failed](const CaptureResult&) {
                // A stream that ended by itself is opened again after a while, not at once.
                if (failed && phase_ == Phase::idle && replayMinutes_ > 0)
                    replayRetry_->start();
                reconcileCapture();
            });
        }
        return;
    }
    if (!wanted || (phase_ == Phase::idle && replayRetry_->isActive()))
        return;
    openCapture();
}

void SystemAudioRecorder::openCapture() {
    captureStep_ = CaptureStep::opening;
    replayRetry_->stop();
    feedState_ = FeedState{wantedChoice(), std::nullopt, std::nullopt, false};
    deliverTo(this, service_->queryContent(),
              [this](const ShareableContent& content) { contentArrived(content); });
}

std::optional<Failure> SystemAudioRecorder::contentFailure(const ShareableContent& content) {
    // Only a server that turned us away is a matter of permission; one that isn't there, or was
    // reached and failed to answer, says what failed.
    if (content.error && content.serverReached)
        return content.error->within(
            tr("Sonabrix couldn't get the list of audio outputs from the sound server"));
    if (content.error && content.accessRefused)
        return Failure{description(RecorderError::permissionDenied), {}};
    if (content.error)
        return content.error->within(
            tr("Sonabrix couldn't reach the sound server to capture system audio. Make sure "
               "PulseAudio or PipeWire is running, then try again."));
    if (content.outputs.isEmpty())
        return Failure{description(RecorderError::noDisplay), {}};
    return std::nullopt;
}

void SystemAudioRecorder::contentArrived(const ShareableContent& content) {
    if (const std::optional<Failure> failure = contentFailure(content))
        return openFailed(*failure);

    StreamConfiguration configuration;
    configuration.microphone = microphoneToMix(content);
    configuration.program = feedState_.choice.program;
    feed_ = std::make_shared<CaptureFeed>(
        this, [this](const CaptureFeed::Notice& notice) { handle(notice); },
        configuration.microphone ? std::optional(configuration.microphone->channelCount)
                                 : std::nullopt);
    // Listening before the stream connects: it may deliver while we wait for it.
    if (phase_ == Phase::starting)
        attachNewSession();
    if (replay_)
        attachReplay();
    const CaptureOutput& output = content.outputs.first();
    publish(outputName_, output.displayName(), &SystemAudioRecorder::outputNameChanged);
    deliverTo(this, service_->startCapture(output, configuration, feed_->handlers()),
              [this](const CaptureResult& error) { captureOpened(error); });
}

void SystemAudioRecorder::captureOpened(const CaptureResult& error) {
    if (error) {
        dropFeed();
        return openFailed(error->within(tr("Couldn't start capture")));
    }
    captureStep_ = CaptureStep::none;
    qCInfo(lcCapture).noquote() << "Capture open" << (replay_ ? "with the replay" : "");
    publish(replayProblem_, std::nullopt, &SystemAudioRecorder::replayProblemChanged);
    publish(isReplayListening_, replay_ != nullptr, &SystemAudioRecorder::isReplayListeningChanged);
    if (phase_ == Phase::starting && feedServes()) {
        if (!session_)
            attachNewSession();
        return recordingStarted();
    }
    // What is wanted may have changed while it opened.
    reconcileCapture();
}

void SystemAudioRecorder::openFailed(const Failure& failure) {
    captureStep_ = CaptureStep::none;
    dropFeed();
    if (phase_ == Phase::starting)
        failStart(failure);
    if (replayMinutes_ > 0) {
        qCWarning(lcCapture).noquote() << "The replay can't listen:" << failure.message();
        publish(replayProblem_, std::optional(failure.message()),
                &SystemAudioRecorder::replayProblemChanged);
        replayRetry_->start();
    }
}

void SystemAudioRecorder::closeCapture(std::function<void(const CaptureResult&)> then) {
    captureStep_ = CaptureStep::closing;
    publish(isReplayListening_, false, &SystemAudioRecorder::isReplayListeningChanged);
    deliverTo(this, service_->stopCapture(),
              [this, then = std::move(then)](const CaptureResult& stopError) {
                  // The stream is released: what the mixer holds still goes to the listeners.
                  if (feed_)
                      feed_->finish();
                  dropFeed();
                  captureStep_ = CaptureStep::none;
                  then(stopError);
              });
}

void SystemAudioRecorder::dropFeed() {
    if (!feed_)
        return;
    feed_->setRecording(nullptr);
    feed_->setReplay(nullptr);
    // What it told before it was released is still heard; whatever it tells later is about a
    // capture that is over.
    QMetaObject::invokeMethod(
        this, [feed = std::exchange(feed_, nullptr)] { feed->end(); }, Qt::QueuedConnection);
}

void SystemAudioRecorder::attachNewSession(qint64 fromUs) {
    // A failed write is told through the feed, the one hop to the main thread.
    session_ = std::make_shared<RecordingSession>([feed = std::weak_ptr(feed_)] {
        if (const std::shared_ptr<CaptureFeed> live = feed.lock())
            live->post({CaptureFeed::Notice::Kind::writeFailed});
    });
    feed_->setRecording(session_, fromUs);
}

void SystemAudioRecorder::attachReplay() {
    // The kept sound goes on from where this capture's first buffer says it was played.
    replay_->markBreak();
    feed_->setReplay(replay_);
}

void SystemAudioRecorder::handle(const CaptureFeed::Notice& notice) {
    using Kind = CaptureFeed::Notice::Kind;
    const bool recording = phase_ != Phase::idle;
    switch (notice.kind) {
    case Kind::streamStopped:
        return stoppedByItself(notice.text);
    case Kind::outputChanged:
        return publish(outputName_, notice.text, &SystemAudioRecorder::outputNameChanged);
    case Kind::microphoneLost:
        feedState_.lostMicrophone = notice.text;
        if (recording)
            microphoneLost(notice.text);
        return;
    case Kind::writeFailed:
        return fileFailed();
    case Kind::recordingEnded:
        return recordingLeftFeed();
    case Kind::programPlaying:
    case Kind::programWaiting:
        feedState_.waitingForProgram = notice.kind == Kind::programWaiting;
        if (recording)
            publish(isWaitingForProgram_, feedState_.waitingForProgram,
                    &SystemAudioRecorder::isWaitingForProgramChanged);
        return;
    }
}

// --- The microphone's part: its stream is mixed into the output's before anything is stored.

void SystemAudioRecorder::setIncludesMicrophone(bool includes) {
    publish(includesMicrophone_, includes, &SystemAudioRecorder::includesMicrophoneChanged);
    reconcileCapture();
}

void SystemAudioRecorder::setProgram(std::optional<CaptureProgram> program) {
    publish(program_, std::move(program), &SystemAudioRecorder::programChanged);
    reconcileCapture();
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
    if (!feedState_.choice.microphone)
        return std::nullopt;
    publish(noMicrophoneReason_, noMicrophoneReason(content),
            &SystemAudioRecorder::noMicrophoneReasonChanged);
    if (!content.microphone)
        feedState_.lostMicrophone = noMicrophoneReason_;
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

void SystemAudioRecorder::recordingStarted() {
    const std::shared_ptr<QPromise<void>> started = std::exchange(transition_, nullptr);
    session_->markStarted();
    publish(elapsedTime_, 0, &SystemAudioRecorder::elapsedTimeChanged);
    // The output alone is still worth recording when the microphone is missing.
    publish(microphoneProblem_,
            feedState_.choice.microphone ? feedState_.lostMicrophone : std::nullopt,
            &SystemAudioRecorder::microphoneProblemChanged);
    publish(isWaitingForProgram_, feedState_.waitingForProgram,
            &SystemAudioRecorder::isWaitingForProgramChanged);
    enter(Phase::recording);
    ticker_->start();
    levelTimer_->start();
    qCInfo(lcCapture).noquote() << "Recording started";
    // The stream may have died, or its first buffer failed to be stored, before its start
    // reached us.
    if (feedState_.stopped && !session_->stoppedByItself)
        session_->stoppedByItself = feedState_.stopped;
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
    if (replayMinutes_ > 0 && feedServes()) {
        // The replay goes on listening; the recording still takes what played up to now, on its
        // way from the server, unless it doesn't come.
        feed_->endRecordingAt(monotonicNowUs());
        recordingLeaving_ = true;
        recordingEndWait_->start();
    } else {
        closeCapture([this](const CaptureResult& stopError) { finishRecording(stopError); });
    }
    return stopped;
}

void SystemAudioRecorder::recordingLeftFeed() {
    if (!std::exchange(recordingLeaving_, false))
        return;
    recordingEndWait_->stop();
    if (feed_)
        feed_->setRecording(nullptr);
    finishRecording(std::nullopt);
}

void SystemAudioRecorder::stoppedByItself(const QString& reason) {
    // A second notice from this stream, or one from a capture released since.
    if (feedState_.stopped || !feed_) {
        if (phase_ == Phase::stopping && session_ && !session_->stoppedByItself)
            session_->stoppedByItself = reason;
        return;
    }
    feedState_.stopped = reason;
    qCWarning(lcCapture).noquote() << "Capture stopped by itself:" << reason;
    switch (phase_) {
    case Phase::idle:
        publish(replayProblem_,
                std::optional(tr("Sonabrix stopped hearing the computer's sound (%1). It tries "
                                 "again in a moment.")
                                  .arg(reason)),
                &SystemAudioRecorder::replayProblemChanged);
        reconcileCapture();
        return;
    case Phase::starting:
        // The start's end stops it.
    case Phase::stopping:
        // The stop under way reports it.
        if (session_ && !session_->stoppedByItself)
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
    reconcileCapture();
}

void SystemAudioRecorder::endSession() {
    if (feed_)
        feed_->setRecording(nullptr);
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
    const bool mixing = feed_ && feed_->mixesMicrophone();
    publish(level_,
            isPaused() ? 0.0
                       : (mixing ? feed_->outputPeaks() : peaks).recentPeak(levelWindowMs / binMs),
            &SystemAudioRecorder::levelChanged);
    publish(microphoneLevel_,
            isPaused() || !mixing || microphoneProblem_
                ? 0.0
                : feed_->microphonePeaks().recentPeak(levelWindowMs / binMs),
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

QFuture<SystemAudioRecorder::ReplaySave> SystemAudioRecorder::replaySaveAnswer(QString message) {
    QPromise<ReplaySave> promise;
    promise.start();
    promise.addResult(ReplaySave{{}, {}, 0, std::move(message)});
    promise.finish();
    return promise.future();
}

void SystemAudioRecorder::setReplayMinutes(int minutes) {
    minutes = std::max(minutes, 0);
    if (minutes == replayMinutes_)
        return;
    publish(replayMinutes_, minutes, &SystemAudioRecorder::replayMinutesChanged);
    if (minutes == 0) {
        qCInfo(lcCapture).noquote() << "Replay off; what it kept is dropped";
        if (feed_)
            feed_->setReplay(nullptr);
        replay_.reset();
        replayRetry_->stop();
        publish(isReplayListening_, false, &SystemAudioRecorder::isReplayListeningChanged);
        publish(replayProblem_, std::nullopt, &SystemAudioRecorder::replayProblemChanged);
    } else if (replay_) {
        qCInfo(lcCapture).noquote() << "Replay keeps" << minutes << "minutes now";
        replay_->setLength(std::chrono::minutes(minutes));
    } else {
        qCInfo(lcCapture).noquote() << "Replay on, keeping" << minutes << "minutes";
        const StreamConfiguration format;
        replay_ = std::make_shared<ReplayStore>(std::chrono::minutes(minutes), format.sampleRateHz,
                                                format.channelCount);
        // A recording's capture that runs already serves the replay too.
        if (feedRuns()) {
            attachReplay();
            publish(isReplayListening_, true, &SystemAudioRecorder::isReplayListeningChanged);
        }
    }
    reconcileCapture();
}

double SystemAudioRecorder::replayKeptSeconds() const {
    return replay_ ? replay_->keptSeconds() : 0.0;
}

QFuture<SystemAudioRecorder::ReplaySave>
SystemAudioRecorder::saveReplay(std::optional<double> lastSeconds, bool startAfresh) {
    if (isSavingReplay_)
        return replaySaveAnswer(tr("The kept sound is being saved already."));
    if (!replay_)
        return replaySaveAnswer(
            tr("Nothing is kept to save: switch on “Keep the last … minutes” first."));
    if (replay_->keptSeconds() <= 0)
        return replaySaveAnswer(tr("Nothing has been kept yet to save."));
    const qint64 pressedUs = monotonicNowUs();
    const QDateTime pressedAt = QDateTime::currentDateTime();
    publish(isSavingReplay_, true, &SystemAudioRecorder::isSavingReplayChanged);
    qCInfo(lcCapture).noquote() << "Saving the replay"
                                << (lastSeconds ? QString::number(*lastSeconds) + " s" : "all");
    std::shared_ptr<ReplayStore> store = replay_;
    auto promise = std::make_shared<QPromise<ReplaySave>>();
    promise->start();
    deliverTo(this, QtConcurrent::run([store, pressedUs, pressedAt, lastSeconds] {
                  return ::saveReplay(store, pressedUs, pressedAt, lastSeconds);
              }),
              [this, store, startAfresh, promise](const ReplaySave& save) {
                  // What was saved is not saved again by the next key press.
                  if (startAfresh && save.url && store == replay_)
                      store->clear();
                  publish(isSavingReplay_, false, &SystemAudioRecorder::isSavingReplayChanged);
                  promise->addResult(save);
                  promise->finish();
              });
    return promise->future();
}
