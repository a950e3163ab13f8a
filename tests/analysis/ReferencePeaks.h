#pragma once

#include <QtGlobal>
#include <cmath>
#include <vector>

// The binning written out frame by frame, channel by channel, in the plainest form, to hold the
// fast path against.
inline std::vector<float> referencePeaks(const std::vector<float>& interleaved, int channelCount,
                                         qint64 framesPerPeak) {
    std::vector<float> peaks;
    const qint64 frames = static_cast<qint64>(interleaved.size()) / channelCount;
    float binPeak = 0.0f;
    qint64 framesInBin = 0;
    for (qint64 frame = 0; frame < frames; ++frame) {
        float framePeak = 0.0f;
        for (int channel = 0; channel < channelCount; ++channel) {
            const float magnitude = std::fabs(interleaved[frame * channelCount + channel]);
            if (framePeak <= magnitude)
                framePeak = magnitude;
        }
        if (binPeak <= framePeak)
            binPeak = framePeak;
        if (++framesInBin == framesPerPeak) {
            peaks.push_back(binPeak);
            binPeak = 0.0f;
            framesInBin = 0;
        }
    }
    if (framesInBin > 0)
        peaks.push_back(binPeak);
    if (peaks.empty())
        peaks.push_back(0.0f);
    return peaks;
}

// Noise with every kind of sample the binning must survive: negatives, values above 1, NaN.
inline std::vector<float> awkwardSamples(qint64 count, unsigned seed) {
    std::vector<float> samples(static_cast<std::size_t>(count));
    unsigned state = seed;
    for (float& sample : samples) {
        state = state * 1664525u + 1013904223u;
        const unsigned pick = state >> 24;
        if (pick < 8)
            sample = std::nanf("");
        else if (pick < 10)
            sample = -std::nanf("");
        else if (pick < 14)
            sample = (pick % 2 ? 1.0f : -1.0f) * (1.0f + static_cast<float>(pick));
        else
            sample = static_cast<float>(static_cast<int>(state >> 8) % 20001 - 10000) / 10000.0f;
    }
    return samples;
}
