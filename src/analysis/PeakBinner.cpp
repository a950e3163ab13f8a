#include "PeakBinner.h"

#include "SampleKernels.h"

#include <algorithm>

PeakBinner::PeakBinner(qint64 framesPerPeak, int channelCount, qint64 expectedPeakCount)
    : m_framesPerPeak(std::max<qint64>(1, framesPerPeak)),
      m_channelCount(std::max(0, channelCount)) {
    m_peaks.reserve(static_cast<std::size_t>(std::max<qint64>(1, expectedPeakCount)));
}

void PeakBinner::consume(const float* interleaved, qint64 frames) {
    // A bin's frames are contiguous in the interleaved chunk, so the peak over its channels and
    // frames is one flat scan of those samples.
    while (frames > 0) {
        const qint64 take = std::min(frames, m_framesPerPeak - m_framesInBin);
        m_runningPeak =
            SampleKernels::maxMagnitude(interleaved, take * m_channelCount, m_runningPeak);
        m_framesInBin += take;
        interleaved += take * m_channelCount;
        frames -= take;
        if (m_framesInBin == m_framesPerPeak) {
            m_peaks.push_back(m_runningPeak);
            m_runningPeak = 0.0f;
            m_framesInBin = 0;
        }
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
