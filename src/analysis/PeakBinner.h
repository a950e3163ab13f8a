#pragma once

#include "PeakFolder.h"

#include <QtGlobal>
#include <vector>

// The peaks of a whole file: bins of `framesPerPeak` frames folded by PeakFolder, kept in order.
class PeakBinner {
public:
    PeakBinner(qint64 framesPerPeak, int channelCount, qint64 expectedPeakCount);

    void consume(const float* interleaved, qint64 frames);
    // The bins so far, the partial last one included; [0] when no frame was consumed.
    std::vector<float> finish();

    // Frames the current bin still takes.
    qint64 room() const { return m_folder.room(); }
    // `frames` frames (at most room()) whose largest absolute sample is `peak`, a number.
    void add(float peak, qint64 frames);

private:
    PeakFolder m_folder;
    int m_channelCount;
    std::vector<float> m_peaks;
};

// Two binnings of the same frames at once, each sample read once: the stretch up to the nearer
// of the two bins' ends is scanned, and its peak goes to both.
class PeakBinnerPair {
public:
    PeakBinnerPair(PeakBinner first, PeakBinner second, int channelCount);

    void consume(const float* interleaved, qint64 frames);
    PeakBinner& first() { return m_first; }
    PeakBinner& second() { return m_second; }

private:
    PeakBinner m_first;
    PeakBinner m_second;
    qint64 m_channelCount;
};
