#include "PeakHistory.h"

#include <algorithm>
#include <cmath>

void PeakHistory::add(const PcmBuffer& buffer) {
    if (buffer.channelCount < 1 || buffer.sampleRateHz < binsPerSecond)
        return;
    const qint64 binFrames = buffer.sampleRateHz / binsPerSecond;
    const float* sample = buffer.samples.data();
    // A 20 ms delivery closes about two bins: gathered here, stored under one lock.
    std::vector<float> closed;
    for (qint64 left = buffer.frames(); left > 0;) {
        const qint64 take = std::min(left, binFrames - openFrames_);
        const float* end = sample + take * buffer.channelCount;
        for (; sample < end; ++sample)
            openPeak_ = std::max(openPeak_, std::fabs(*sample));
        openFrames_ += take;
        left -= take;
        if (openFrames_ == binFrames) {
            closed.push_back(openPeak_);
            openPeak_ = 0;
            openFrames_ = 0;
        }
    }
    if (closed.empty())
        return;
    std::lock_guard guard(mutex_);
    for (float peak : closed)
        ring_[static_cast<size_t>(completed_++ % capacity)] = peak;
}

qint64 PeakHistory::binCount() const {
    std::lock_guard guard(mutex_);
    return completed_;
}

std::vector<float> PeakHistory::lastBins(int count, qint64* end) const {
    std::lock_guard guard(mutex_);
    if (end)
        *end = completed_;
    const qint64 n = std::clamp<qint64>(count, 0, std::min<qint64>(completed_, capacity));
    std::vector<float> peaks;
    peaks.reserve(static_cast<size_t>(n));
    for (qint64 bin = completed_ - n; bin < completed_; ++bin)
        peaks.push_back(ring_[static_cast<size_t>(bin % capacity)]);
    return peaks;
}

float PeakHistory::recentPeak(int count) const {
    const std::vector<float> peaks = lastBins(count);
    return peaks.empty() ? 0.0f : *std::max_element(peaks.begin(), peaks.end());
}
