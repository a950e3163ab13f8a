#pragma once

#include "CaptureService.h"

#include <memory>

// A capture platform the test steers: it answers at once, can refuse to be reached, and
// delivers audio or dies when the test says so. The script outlives the service, which the
// recorder owns.
class ScriptedCaptureService : public CaptureService {
public:
    struct Script {
        // The sound server can't be reached.
        bool unreachable = false;
        bool streamRunning = false;
        SampleHandler sampleHandler;
        StoppedHandler stoppedHandler;

        // `seconds` of stereo 48 kHz audio at a constant level, from the capture thread.
        void deliver(double seconds, float level);
        // The stream dies, as when the sound server goes away.
        void stopByItself(const QString& reason);
    };

    explicit ScriptedCaptureService(std::shared_ptr<Script> script) : script_(std::move(script)) {}

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
