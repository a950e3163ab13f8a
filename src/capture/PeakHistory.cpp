#include "PeakHistory.h"

#include <algorithm>

void PeakHistory::add(const PcmBuffer& buffer) {
    if (buffer.channelCount < 1 || buffer.sampleRateHz < binsPerSecond)
        return;
    if (const qint64 binFrames = buffer.sampleRateHz / binsPerSecond;
        folder_.framesPerBin() != binFrames)
        folder_ = PeakFolder(binFrames);
    // A 20 ms delivery closes about two bins: gathered here, stored under one lock.
    std::vector<float> closed;
    folder_.fold(buffer.samples.data(), buffer.frames(), buffer.channelCount,
                 [&closed](float peak) { closed.push_back(peak); });
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
