#pragma once

#include "CaptureService.h"
#include "RecordStream.h"
#include "StreamGathering.h"

#include <chrono>
#include <memory>
#include <pulse/pulseaudio.h>

class PulseConnection;

// The microphone's record stream, beside the output's on the same connection: float32 at the
// output's rate in the microphone's own channel count, stamped with capture times. It stays on
// the source it was opened on, so a microphone that goes away ends it (rather than the server
// moving it to some other input) and the owner is told once. Lives on the mainloop thread: made
// and destroyed with the mainloop lock held.
class MicrophoneStream {
public:
    // Why not, when the stream can't be opened. The handlers must outlive the stream.
    static Result<std::unique_ptr<MicrophoneStream>>
    open(PulseConnection& connection, const CaptureInput& input, int sampleRateHz,
         std::chrono::microseconds fragment, const CaptureService::Handlers& handlers);
    // Delivers what it gathered, then disconnects.
    ~MicrophoneStream();
    MicrophoneStream(const MicrophoneStream&) = delete;
    MicrophoneStream& operator=(const MicrophoneStream&) = delete;

    // Looks up the server's default input by name; none when there is no microphone to record
    // (no default input, or only the recorded output's own monitor). With the lock held.
    static std::optional<CaptureInput> defaultInput(PulseConnection& connection,
                                                    const CaptureOutput& recorded);

    // The clock's turn and the recording's end, as StreamGathering takes them.
    void tick(qint64 nowUs);
    void finish(qint64 nowUs);

private:
    explicit MicrophoneStream(const CaptureService::Handlers& handlers);
    void lose(const QString& reason);

    const CaptureService::Handlers& handlers_;
    StreamGathering gathering_;
    // After the gathering it feeds, so it goes first.
    std::unique_ptr<RecordStream> stream_;
    bool lost_ = false;
};
