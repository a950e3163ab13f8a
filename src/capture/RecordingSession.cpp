#include "RecordingSession.h"

#include "Logging.h"
#include "MicrophoneMixer.h"

#include <QMetaObject>

RecordingSession::RecordingSession(QObject* context, NoticeHandler handler,
                                   std::optional<int> microphoneChannels)
    : context_(context), handler_(std::move(handler)),
      mixer_(microphoneChannels ? std::make_unique<MicrophoneMixer>(*microphoneChannels)
                                : nullptr) {
    writer_.setFailureHandler([this] { tellWriteFailed(); });
}

RecordingSession::~RecordingSession() = default;

void RecordingSession::post(Notice notice) {
    if (!context_)
        return;
    QMetaObject::invokeMethod(
        context_,
        [session = weak_from_this(), notice = std::move(notice)] {
            if (const std::shared_ptr<RecordingSession> live = session.lock();
                live && !live->ended_)
                live->handler_(notice);
        },
        Qt::QueuedConnection);
}

void RecordingSession::tellWriteFailed() {
    if (!failureTold_.exchange(true))
        post({Notice::Kind::writeFailed, {}});
}

CaptureService::Handlers RecordingSession::handlers() {
    // The handlers keep the session: a stream may call them until its stop has finished.
    const std::shared_ptr<RecordingSession> self = shared_from_this();
    CaptureService::Handlers handlers;
    handlers.stopped = [self](const QString& reason) {
        self->post({Notice::Kind::streamStopped, reason});
    };
    handlers.outputChanged = [self](const CaptureOutput& output) {
        self->post({Notice::Kind::outputChanged, output.displayName()});
    };
    handlers.programPlaying = [self](bool playing) {
        self->post({playing ? Notice::Kind::programPlaying : Notice::Kind::programWaiting});
    };
    if (!mixer_) {
        handlers.samples = [self](PcmBuffer&& buffer) { self->store(buffer); };
        return handlers;
    }
    handlers.samples = [self](PcmBuffer&& buffer) {
        if (!self->paused_.load(std::memory_order_relaxed))
            self->outputPeaks_.add(buffer);
        std::lock_guard guard(self->mixing_);
        self->store(self->mixer_->addOutput(buffer));
    };
    handlers.microphoneSamples = [self](PcmBuffer&& buffer) {
        if (!self->paused_.load(std::memory_order_relaxed))
            self->microphonePeaks_.add(buffer);
        std::lock_guard guard(self->mixing_);
        self->store(self->mixer_->addMicrophone(buffer));
    };
    handlers.microphoneLost = [self](const QString& reason) {
        {
            std::lock_guard guard(self->mixing_);
            self->store(self->mixer_->endMicrophone());
        }
        self->post({Notice::Kind::microphoneLost, reason});
    };
    return handlers;
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
    if (mixer_) {
        // The stream is released: what the mixer still holds is the recording's end.
        std::lock_guard guard(mixing_);
        store(mixer_->finish());
        qCInfo(lcCapture).noquote() << "Microphone mixed in; its last offset from its capture times"
                                    << mixer_->microphoneOffsetMs() << "ms";
    }
    // The writer empties its ring on its own thread; the window goes on meanwhile.
    return writer_.finish();
}
