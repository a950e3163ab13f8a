#pragma once

#include <QtGlobal>
#include <vector>

// One delivery of captured audio, copied out of the sound server's memory so that it owns its
// samples: interleaved 32-bit float frames in the stream's format.
struct PcmBuffer {
    int sampleRateHz = 0;
    int channelCount = 0;
    std::vector<float> samples;
    // When the first frame was captured, in microseconds of the sound server's clock
    // (CLOCK_MONOTONIC); negative when unknown. Lines up streams captured side by side.
    qint64 capturedAtUs = -1;

    qint64 frames() const {
        return channelCount > 0 ? static_cast<qint64>(samples.size()) / channelCount : 0;
    }
};
