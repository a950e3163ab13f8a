#include "FakeCaptureService.h"

#include <thread>

namespace {

template <typename T> QFuture<T> answered(T value) {
    QPromise<T> promise;
    promise.start();
    promise.addResult(std::move(value));
    promise.finish();
    return promise.future();
}

} // namespace

void FakeCaptureService::Script::deliver(const PcmBuffer& buffer) {
    if (!streamRunning || !sampleHandler)
        return;
    PcmBuffer copy = buffer;
    // Off the main thread, as the real platform does.
    std::thread([this, &copy] { sampleHandler(std::move(copy)); }).join();
}

void FakeCaptureService::Script::stopByItself(const QString& reason) {
    streamRunning = false;
    if (stoppedHandler)
        std::thread([this, reason] { stoppedHandler(reason); }).join();
}

void FakeCaptureService::Script::releaseStart() {
    if (!heldStart)
        return;
    if (!startResult)
        streamRunning = true;
    heldStart->addResult(startResult);
    heldStart->finish();
    heldStart.reset();
}

void FakeCaptureService::Script::releaseStop() {
    if (!heldStop)
        return;
    streamRunning = false;
    heldStop->addResult(stopResult);
    heldStop->finish();
    heldStop.reset();
}

QFuture<ShareableContent> FakeCaptureService::queryContent() {
    ++script_->queries;
    return answered(script_->content);
}

void FakeCaptureService::setSampleHandler(SampleHandler handler) {
    nextSampleHandler_ = std::move(handler);
}

void FakeCaptureService::setStoppedHandler(StoppedHandler handler) {
    nextStoppedHandler_ = std::move(handler);
}

CaptureResult FakeCaptureService::createStream(const CaptureOutput& output,
                                               const StreamConfiguration& configuration) {
    ++script_->createdStreams;
    if (script_->createResult)
        return script_->createResult;
    script_->streamOutput = output;
    script_->streamConfiguration = configuration;
    script_->sampleHandler = nextSampleHandler_;
    script_->stoppedHandler = nextStoppedHandler_;
    return std::nullopt;
}

QFuture<CaptureResult> FakeCaptureService::startCapture() {
    ++script_->starts;
    if (script_->holdStart) {
        script_->heldStart = std::make_unique<QPromise<CaptureResult>>();
        script_->heldStart->start();
        return script_->heldStart->future();
    }
    if (!script_->startResult)
        script_->streamRunning = true;
    return answered(script_->startResult);
}

QFuture<CaptureResult> FakeCaptureService::stopCapture() {
    ++script_->stops;
    if (script_->holdStop) {
        script_->heldStop = std::make_unique<QPromise<CaptureResult>>();
        script_->heldStop->start();
        return script_->heldStop->future();
    }
    script_->streamRunning = false;
    return answered(script_->stopResult);
}

PcmBuffer constantBuffer(qint64 frames, float value, int sampleRateHz, int channelCount) {
    PcmBuffer buffer;
    buffer.sampleRateHz = sampleRateHz;
    buffer.channelCount = channelCount;
    buffer.samples.assign(static_cast<size_t>(frames * channelCount), value);
    return buffer;
}
