#pragma once

#include "CaptureService.h"

#include <chrono>
#include <memory>

// Captures what the sound server's default output plays, through the output's monitor source,
// as float32 frames, and follows the default output when it changes. Blocking talks with the server
// run on Qt Concurrent's pool; sample buffers arrive on the connection's mainloop thread, which is
// the one capture thread.
class PulseCaptureService : public CaptureService {
public:
    // Small fragments keep what a stop can strand in the server to a few milliseconds.
    static constexpr std::chrono::milliseconds fragmentDuration{20};

    PulseCaptureService();
    ~PulseCaptureService() override;
    PulseCaptureService(const PulseCaptureService&) = delete;
    PulseCaptureService& operator=(const PulseCaptureService&) = delete;

    QFuture<ShareableContent> queryContent() override;
    QFuture<CaptureResult> startCapture(const CaptureOutput& output,
                                        const StreamConfiguration& configuration,
                                        Handlers handlers) override;
    QFuture<CaptureResult> stopCapture() override;

private:
    struct State;
    // Shared with jobs still queued on the pool when the service goes away.
    std::shared_ptr<State> state_;
};
