#include "CaptureFeed.h"

#include "Logging.h"
#include "MicrophoneMixer.h"
#include "RecordingSession.h"
#include "ReplayStore.h"

#include <QMetaObject>

CaptureFeed::CaptureFeed(QObject* context, NoticeHandler handler,
                         std::optional<int> microphoneChannels)
    : context_(context), handler_(std::move(handler)),
      mixer_(microphoneChannels ? std::make_unique<MicrophoneMixer>(*microphoneChannels)
                                : nullptr) {}

CaptureFeed::~CaptureFeed() = default;

void CaptureFeed::post(Notice notice) {
    if (!context_)
        return;
    QMetaObject::invokeMethod(
        context_,
        [feed = weak_from_this(), notice = std::move(notice)] {
            if (const std::shared_ptr<CaptureFeed> live = feed.lock(); live && !live->ended_)
                live->handler_(notice);
        },
        Qt::QueuedConnection);
}

CaptureService::Handlers CaptureFeed::handlers() {
    // The handlers keep the feed: a stream may call them until its stop has finished.
    const std::shared_ptr<CaptureFeed> self = shared_from_this();
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
        handlers.samples = [self](PcmBuffer&& buffer) {
            std::lock_guard guard(self->mixing_);
            self->deliver(buffer);
        };
        return handlers;
    }
    handlers.samples = [self](PcmBuffer&& buffer) {
        self->outputPeaks_.add(buffer);
        std::lock_guard guard(self->mixing_);
        self->deliver(self->mixer_->addOutput(buffer));
    };
    handlers.microphoneSamples = [self](PcmBuffer&& buffer) {
        self->microphonePeaks_.add(buffer);
        std::lock_guard guard(self->mixing_);
        self->deliver(self->mixer_->addMicrophone(buffer));
    };
    handlers.microphoneLost = [self](const QString& reason) {
        {
            std::lock_guard guard(self->mixing_);
            self->deliver(self->mixer_->endMicrophone());
        }
        self->post({Notice::Kind::microphoneLost, reason});
    };
    return handlers;
}

void CaptureFeed::deliver(const PcmBuffer& mix) {
    if (mix.frames() == 0)
        return;
    if (recording_)
        recording_->store(mix);
    if (replay_)
        replay_->append(mix);
}

void CaptureFeed::setRecording(std::shared_ptr<RecordingSession> recording) {
    std::lock_guard guard(mixing_);
    recording_ = std::move(recording);
}

void CaptureFeed::setReplay(std::shared_ptr<ReplayStore> replay) {
    std::lock_guard guard(mixing_);
    replay_ = std::move(replay);
}

void CaptureFeed::finish() {
    if (!mixer_)
        return;
    // The stream is released: what the mixer still holds is the capture's end.
    std::lock_guard guard(mixing_);
    deliver(mixer_->finish());
    qCInfo(lcCapture).noquote() << "Microphone mixed in; its last offset from its capture times"
                                << mixer_->microphoneOffsetMs() << "ms";
}
