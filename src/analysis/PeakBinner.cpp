#include "PeakBinner.h"

#include "SampleKernels.h"

#include <algorithm>

PeakBinner::PeakBinner(qint64 framesPerPeak, int channelCount, qint64 expectedPeakCount)
    : m_folder(framesPerPeak), m_channelCount(std::max(0, channelCount)) {
    m_peaks.reserve(static_cast<std::size_t>(std::max<qint64>(1, expectedPeakCount)));
}

void PeakBinner::add(float peak, qint64 frames) {
    m_folder.add(peak, frames, [this](float closed) { m_peaks.push_back(closed); });
}

void PeakBinner::consume(const float* interleaved, qint64 frames) {
    m_folder.fold(interleaved, frames, m_channelCount,
                  [this](float closed) { m_peaks.push_back(closed); });
}

std::vector<float> PeakBinner::finish() {
    if (const std::optional<float> partial = m_folder.closePartial())
        m_peaks.push_back(*partial);
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
