#include "CaptureFeed.h"

#include "Logging.h"
#include "MicrophoneMixer.h"
#include "RecordingSession.h"
#include "ReplayStore.h"

#include <QMetaObject>
#include <algorithm>

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

namespace {

// The frames of `buffer` captured before `us`, as far as its capture time tells.
qint64 framesBefore(const PcmBuffer& buffer, qint64 us) {
    if (buffer.capturedAtUs < 0)
        return 0;
    const qint64 frames = (us - buffer.capturedAtUs) * buffer.sampleRateHz / 1'000'000;
    return std::clamp<qint64>(frames, 0, buffer.frames());
}

PcmBuffer framesOf(const PcmBuffer& buffer, qint64 from, qint64 to) {
    PcmBuffer part{buffer.sampleRateHz, buffer.channelCount, {}, -1};
    part.samples.assign(buffer.samples.begin() + from * buffer.channelCount,
                        buffer.samples.begin() + to * buffer.channelCount);
    if (buffer.capturedAtUs >= 0)
        part.capturedAtUs = buffer.capturedAtUs + from * 1'000'000 / buffer.sampleRateHz;
    return part;
}

} // namespace

void CaptureFeed::deliver(const PcmBuffer& mix) {
    if (mix.frames() == 0)
        return;
    if (replay_)
        replay_->append(mix);
    if (!recording_)
        return;
    const qint64 from = recordingFromUs_ >= 0 ? framesBefore(mix, recordingFromUs_) : 0;
    const qint64 to = recordingUntilUs_ >= 0 ? framesBefore(mix, recordingUntilUs_) : mix.frames();
    if (from == 0 && to == mix.frames()) {
        recordingFromUs_ = -1;
        recording_->store(mix);
        return;
    }
    if (to > from)
        recording_->store(framesOf(mix, from, to));
    if (from < mix.frames())
        recordingFromUs_ = -1;
    if (to < mix.frames()) {
        recording_.reset();
        recordingUntilUs_ = -1;
        post({Notice::Kind::recordingEnded});
    }
}

void CaptureFeed::setRecording(std::shared_ptr<RecordingSession> recording, qint64 fromUs) {
    std::lock_guard guard(mixing_);
    recording_ = std::move(recording);
    recordingFromUs_ = recording_ ? fromUs : -1;
    recordingUntilUs_ = -1;
}

void CaptureFeed::endRecordingAt(qint64 untilUs) {
    std::lock_guard guard(mixing_);
    recordingUntilUs_ = untilUs;
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
