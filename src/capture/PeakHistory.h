#pragma once

#include "PcmBuffer.h"
#include "PeakFolder.h"

#include <mutex>
#include <vector>

// How loud the last seconds of a recording were: the peak (largest absolute sample over all
// channels) of every 10 ms of captured audio, for the level meter, the live waveform and the
// silence hint. Filled on the capture thread from the buffers it already holds; read on the
// main thread.
class PeakHistory {
public:
    static constexpr int binsPerSecond = 100;
    static constexpr int capacity = 12 * binsPerSecond;

    // On the capture thread.
    void add(const PcmBuffer& buffer);

    // How many bins have been completed; grows by one per 10 ms of audio.
    qint64 binCount() const;
    // The peaks of the last `count` bins (at most `capacity`), oldest first; fewer when less
    // has been captured. `end`, when given, gets the bin count they end at.
    std::vector<float> lastBins(int count, qint64* end = nullptr) const;
    // The largest peak of the last `count` bins; 0 when none.
    float recentPeak(int count) const;

private:
    mutable std::mutex mutex_;
    std::vector<float> ring_ = std::vector<float>(capacity, 0.0f);
    qint64 completed_ = 0;
    // The bin being filled: guarded by the capture thread being the only writer.
    PeakFolder folder_{0};
};
