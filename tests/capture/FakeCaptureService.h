#pragma once

#include "CaptureService.h"

#include <QPromise>
#include <memory>
#include <optional>

// A capture platform whose every answer the test decides. Operations answer at once unless the
// test holds them back, and can fail with a given text. Shared state lets the test keep
// steering it after the recorder has taken ownership.
class FakeCaptureService : public CaptureService {
public:
    struct Script {
        ShareableContent content{std::nullopt, {{"speakers", "speakers.monitor", "Speakers"}}};
        CaptureResult createResult;
        CaptureResult startResult;
        CaptureResult stopResult;
        bool holdStart = false;
        bool holdStop = false;

        int queries = 0;
        int createdStreams = 0;
        int starts = 0;
        int stops = 0;
        std::optional<CaptureOutput> streamOutput;
        std::optional<StreamConfiguration> streamConfiguration;
        SampleHandler sampleHandler;
        StoppedHandler stoppedHandler;
        bool streamRunning = false;
        std::unique_ptr<QPromise<CaptureResult>> heldStart;
        std::unique_ptr<QPromise<CaptureResult>> heldStop;

        // What the platform would do on its capture thread.
        void deliver(const PcmBuffer& buffer);
        void stopByItself(const QString& reason);
        void releaseStart();
        void releaseStop();
    };

    explicit FakeCaptureService(std::shared_ptr<Script> script) : script_(std::move(script)) {}

    QFuture<ShareableContent> queryContent() override;
    void setSampleHandler(SampleHandler handler) override;
    void setStoppedHandler(StoppedHandler handler) override;
    CaptureResult createStream(const CaptureOutput& output,
                               const StreamConfiguration& configuration) override;
    QFuture<CaptureResult> startCapture() override;
    QFuture<CaptureResult> stopCapture() override;

private:
    std::shared_ptr<Script> script_;
    SampleHandler nextSampleHandler_;
    StoppedHandler nextStoppedHandler_;
};

// A buffer of `frames` stereo 48 kHz frames, every sample equal to `value`.
PcmBuffer constantBuffer(qint64 frames, float value, int sampleRateHz = 48000,
                         int channelCount = 2);
