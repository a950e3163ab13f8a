#include "PeakBinner.h"

#include "SampleKernels.h"

#include <algorithm>

PeakBinner::PeakBinner(qint64 framesPerPeak, int channelCount, qint64 expectedPeakCount)
    : m_framesPerPeak(std::max<qint64>(1, framesPerPeak)),
      m_channelCount(std::max(0, channelCount)) {
    m_peaks.reserve(static_cast<std::size_t>(std::max<qint64>(1, expectedPeakCount)));
}

void PeakBinner::add(float peak, qint64 frames) {
    m_runningPeak = std::max(m_runningPeak, peak);
    m_framesInBin += frames;
    if (m_framesInBin == m_framesPerPeak) {
        m_peaks.push_back(m_runningPeak);
        m_runningPeak = 0.0f;
        m_framesInBin = 0;
    }
}

void PeakBinner::consume(const float* interleaved, qint64 frames) {
    // A bin's frames are contiguous in the interleaved chunk, so the peak over its channels and
    // frames is one flat scan of those samples.
    while (frames > 0) {
        const qint64 take = std::min(frames, room());
        add(SampleKernels::maxMagnitude(interleaved, take * m_channelCount, 0.0f), take);
        interleaved += take * m_channelCount;
        frames -= take;
    }
}

std::vector<float> PeakBinner::finish() {
    if (m_framesInBin > 0) {
        m_peaks.push_back(m_runningPeak);
        m_runningPeak = 0.0f;
        m_framesInBin = 0;
    }
    if (m_peaks.empty())
        m_peaks.push_back(0.0f);
    return std::move(m_peaks);
}

PeakBinnerPair::PeakBinnerPair(PeakBinner first, PeakBinner second, int channelCount)
    : m_first(std::move(first)), m_second(std::move(second)),
      m_channelCount(std::max(0, channelCount)) {}

void PeakBinnerPair::consume(const float* interleaved, qint64 frames) {
    while (frames > 0) {
        const qint64 take = std::min({frames, m_first.room(), m_second.room()});
        const float peak = SampleKernels::maxMagnitude(interleaved, take * m_channelCount, 0.0f);
        m_first.add(peak, take);
        m_second.add(peak, take);
        interleaved += take * m_channelCount;
        frames -= take;
    }
}
