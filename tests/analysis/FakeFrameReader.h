#pragma once

#include "FrameReader.h"

#include <algorithm>
#include <limits>
#include <vector>

// Audio from memory, handed out in chunks of a chosen size, failing on demand: the read
// failures a real file cannot produce when asked.
class FakeFrameReader final : public FrameReader {
public:
    FakeFrameReader(std::vector<float> interleaved, int channelCount, qint64 reportedFrames)
        : m_samples(std::move(interleaved)), m_channelCount(channelCount),
          m_reportedFrames(reportedFrames) {}

    // Reads numbered from 0; read number `failingRead` and every one after it fail.
    void failFromRead(int failingRead) { m_failingRead = failingRead; }
    // Deliver at most this many frames per read, however many were asked for.
    void limitChunk(qint64 frames) { m_chunkLimit = frames; }

    int channelCount() const override { return m_channelCount; }
    double sampleRate() const override { return 48000.0; }
    qint64 lengthFrames() const override { return m_reportedFrames; }

    std::optional<qint64> read(float* interleaved, qint64 frames) override {
        if (m_reads++ >= m_failingRead)
            return std::nullopt;
        const qint64 available =
            static_cast<qint64>(m_samples.size()) / m_channelCount - m_positionFrames;
        const qint64 delivered = std::min({frames, available, m_chunkLimit});
        std::copy_n(m_samples.begin() + m_positionFrames * m_channelCount,
                    delivered * m_channelCount, interleaved);
        m_positionFrames += delivered;
        return delivered;
    }

    int reads() const { return m_reads; }

private:
    std::vector<float> m_samples;
    int m_channelCount;
    qint64 m_reportedFrames;
    qint64 m_positionFrames = 0;
    qint64 m_chunkLimit = std::numeric_limits<qint64>::max();
    int m_failingRead = std::numeric_limits<int>::max();
    int m_reads = 0;
};
