#include "ScriptedCaptureService.h"

#include <QtConcurrent>
#include <thread>

namespace {

template <typename T> QFuture<T> answeredLater(T value) {
    // Like the real platform, answers arrive from another thread.
    return QtConcurrent::run([value = std::move(value)] { return value; });
}

} // namespace

void ScriptedCaptureService::Script::deliver(double seconds, float level) {
    if (!streamRunning || !sampleHandler) {
        return;
    }
    PcmBuffer buffer;
    buffer.sampleRateHz = 48000;
    buffer.channelCount = 2;
    buffer.samples.assign(static_cast<size_t>(seconds * 48000) * 2, level);
    std::thread([this, &buffer] { sampleHandler(std::move(buffer)); }).join();
}

void ScriptedCaptureService::Script::stopByItself(const QString& reason) {
    if (stoppedHandler) {
        std::thread([this, reason] { stoppedHandler(reason); }).join();
    }
}

QFuture<ShareableContent> ScriptedCaptureService::queryContent() {
    ShareableContent content;
    if (script_->unreachable) {
        content.error = QStringLiteral("Connection refused");
    } else {
        content.outputs.append({QStringLiteral("speakers"), QStringLiteral("speakers.monitor"),
                                QStringLiteral("Speakers")});
    }
    return answeredLater(content);
}

void ScriptedCaptureService::setSampleHandler(SampleHandler handler) {
    nextSampleHandler_ = std::move(handler);
}

void ScriptedCaptureService::setStoppedHandler(StoppedHandler handler) {
    nextStoppedHandler_ = std::move(handler);
}

CaptureResult ScriptedCaptureService::createStream(const CaptureOutput&,
                                                   const StreamConfiguration&) {
    script_->sampleHandler = nextSampleHandler_;
    script_->stoppedHandler = nextStoppedHandler_;
    return std::nullopt;
}

QFuture<CaptureResult> ScriptedCaptureService::startCapture() {
    script_->streamRunning = true;
    return answeredLater(CaptureResult());
}

QFuture<CaptureResult> ScriptedCaptureService::stopCapture() {
    script_->streamRunning = false;
    return answeredLater(CaptureResult());
}
